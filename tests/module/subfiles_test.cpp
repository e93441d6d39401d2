// The subfile table: which notes become subfiles and which are mail, the root folder, ascending note
// IDs with attachments behind their note, the options that widen the search, table growth, failures
// that skip a note, and every real sample database opened through the module.
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "catalogue/subfiles.h"
#include "module/catalogue_db.h"

using namespace nsfrex_test;

namespace {

struct SubfilesTest : ModuleDbTest {
    std::vector<std::uint8_t> bytes{'d', 'a', 't', 'a'};
};

} // namespace

TEST_F(SubfilesTest, MailHeaderTableHasItsSeventeenRowsAndTheEnd)
{
    int c = 0;
    while (MailHeaderTable[c].pszItemName != nullptr)
        c++;
    EXPECT_EQ(c, 17);
    EXPECT_EQ(MailHeaderTable[17].pszLabel, nullptr);
    EXPECT_STREQ(MailHeaderTable[1].pszItemName, "PostedDate");
    EXPECT_STREQ(MailHeaderTable[1].pszLabel, "Sent");
    EXPECT_STREQ(MailHeaderTable[3].pszItemName, "");
    EXPECT_STREQ(MailHeaderTable[4].pszItemName, "");
    EXPECT_STREQ(MailHeaderTable[9].pszLabel, "Priority");
    EXPECT_STREQ(MailHeaderTable[16].pszItemName, "$FILE");
    EXPECT_STREQ(MailHeaderTable[16].pszLabel, "Attachments");
}

TEST_F(SubfilesTest, DocumentsWithHeaderAreMailBodyOnlyIsNotAndOthersAreSkipped)
{
    auto &body = builder.noteWithId(0x1000, 0x0001).text("Body", "text");
    auto &mail = builder.noteWithId(0x0F00, 0x0001).text("Subject", "Hello").text("Body", "text");
    auto &empty = builder.noteWithId(0x0F04, 0x0001).text("Other", "x");
    auto &att = builder.noteWithId(0x0F08, 0x0001).text("Attendees", "a");   // a header item alone
    builder.noteWithId(0x0F0C, 0x0008).text("Subject", "a view");
    builder.noteWithId(0x0F10, 0x0004).text("Subject", "a form");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(nStatus, 0);
    ASSERT_EQ(pContext->cSubFiles, 3);
    EXPECT_EQ(Sub(0)->dwNoteID, mail.id());
    EXPECT_EQ(Sub(0)->bNoteIsMail, 1);
    EXPECT_EQ(Sub(1)->dwNoteID, att.id());
    EXPECT_EQ(Sub(1)->bNoteIsMail, 1);
    EXPECT_EQ(Sub(2)->dwNoteID, body.id());
    EXPECT_EQ(Sub(2)->bNoteIsMail, 0);
    for (int32_t i = 0; i < 3; i++) {
        EXPECT_EQ(Sub(i)->nSubFile, i);
        EXPECT_EQ(Sub(i)->nSubFileType, 0);
        EXPECT_EQ(Sub(i)->nMailLogoImage, 0);
        EXPECT_EQ(Seconds(Sub(i)->fileTime), 0);
    }
    EXPECT_EQ(pContext->hIDTable, 0u);
    EXPECT_EQ(pContext->dwIDEntries, 4);
    EXPECT_EQ(pContext->cSubFilesMax, 16);
    (void)empty;
    Close();
    auto lines = Lines();
    EXPECT_EQ(CountContaining(lines, "DIAG nsfSearchCB(): Skipping non-document note, dwNoteID 3852"), 1);
    EXPECT_EQ(CountContaining(lines, "DIAG nsfSearchCB(): Inserted note, dwNoteID"), 4);
    EXPECT_TRUE(HasLine(lines, "[0/1] INFO nsfGetNoteSubfile(): Added note as subfile, dwNoteID 3840, bNoteIsMail 1, cSubFiles 1"));
    EXPECT_EQ(CountContaining(lines, "DIAG nsfGetNoteSubfile(): Note is not subfile"), 1);
    EXPECT_EQ(CountContaining(lines, "DIAG nsfGetNoteSubfile(): Hello"), 1);
}

TEST_F(SubfilesTest, RootFolderComesFirstAlsoInAnEmptyDatabase)
{
    ASSERT_NE(Open(CNVO_CREATEROOTDIR), nullptr);
    ASSERT_EQ(nStatus, 0);
    ASSERT_EQ(pContext->cSubFiles, 1);
    EXPECT_EQ(Sub(0)->nSubFileType, 3);
    EXPECT_EQ(Sub(0)->dwNoteID, 0u);
    EXPECT_GE(pContext->cSubFilesMax, 1);
    Close();

    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(pContext->cSubFiles, 0);
    Close();

    builder.document().text("Body", "b");
    ASSERT_NE(Open(CNVO_CREATEROOTDIR), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 2);
    EXPECT_EQ(Sub(0)->nSubFileType, 3);
    EXPECT_EQ(Sub(1)->nSubFileType, 0);
    EXPECT_EQ(Sub(1)->nSubFile, 1);
}

TEST_F(SubfilesTest, ExtractAllNotesAndAllFieldsWidenTheTable)
{
    builder.noteWithId(0x0F00, 0x0001).text("Other", "x");
    builder.noteWithId(0x0F04, 0x0004).text("Subject", "form with header");
    builder.noteWithId(0x0F08, 0x0008).text("Other", "view");
    builder.noteWithId(0x0F0C, 0x0001).text("Subject", "mail");

    host.SetOption("nsfrex", "ExtractAllNotes", "1");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 2);
    EXPECT_EQ(Sub(0)->dwNoteID, 0x0F04u);
    EXPECT_EQ(Sub(0)->bNoteIsMail, 0);   // not a document: never mail
    EXPECT_EQ(Sub(1)->bNoteIsMail, 1);
    Close();

    host.SetOption("nsfrex", "ExtractAllFields", "1");
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(pContext->cSubFiles, 4);
    Close();

    host.SetOption("nsfrex", "ExtractAllNotes", "0");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 2);
    EXPECT_EQ(Sub(0)->dwNoteID, 0x0F00u);
    EXPECT_EQ(Sub(1)->dwNoteID, 0x0F0Cu);
}

TEST_F(SubfilesTest, AttachmentsFollowTheirNoteAndTheTableGrows)
{
    auto &one = builder.document().text("Subject", "many");
    for (int i = 0; i < 6; i++)
        one.attachFile("f" + std::to_string(i) + ".txt", bytes);
    auto &two = builder.document().text("Body", "b");
    two.attachFile("last.bin", bytes);
    ASSERT_NE(Open(CNVO_CREATEROOTDIR), nullptr);
    ASSERT_EQ(nStatus, 0);
    ASSERT_EQ(pContext->cSubFiles, 10);
    EXPECT_EQ(pContext->cSubFilesMax, 10);   // 4 x 2 notes, then one step of 2
    EXPECT_EQ(Sub(1)->dwNoteID, one.id());
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(Sub(2 + i)->nSubFileType, 1);
        EXPECT_EQ(Sub(2 + i)->dwNoteID, one.id());
        EXPECT_EQ(Sub(2 + i)->nAttachment, i + 1);
        EXPECT_EQ(FileName(2 + i), "f" + std::to_string(i) + ".txt");
    }
    EXPECT_EQ(Sub(8)->dwNoteID, two.id());
    EXPECT_EQ(Sub(8)->nSubFileType, 0);
    EXPECT_EQ(FileName(9), "last.bin");
    for (int32_t i = 0; i < pContext->cSubFiles; i++)
        EXPECT_EQ(Sub(i)->nSubFile, i);
    Close();
    EXPECT_TRUE(Logged("DIAG nsfNewSubFile(): cSubFilesMax 8"));
    EXPECT_TRUE(Logged("DIAG nsfNewSubFile(): cSubFilesMax 10"));
}

TEST_F(SubfilesTest, ExportDxlGivesNoAttachmentRecords)
{
    builder.document().text("Subject", "s").attachFile("a.txt", bytes);
    host.SetOption("nsfrex", "ExportDXL", "1");
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(pContext->cSubFiles, 1);
    Close();
    EXPECT_FALSE(Logged("NSFNoteDecrypt"));
}

TEST_F(SubfilesTest, NoteThatFailsIsSkippedAndTheOthersStay)
{
    builder.document().text("Body", "1");
    builder.document().text("Body", "2");
    builder.document().text("Body", "3");
    NotesTestInjectFault("NSFNoteOpenExt", 2, 0, 0);
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(pContext->cSubFiles, 2);
    Close();
    EXPECT_EQ(CountLogged("WARNING nsfInitSubfiles(): nsfGetNoteSubfiles() failed"), 1);

    // A note whose class cannot be judged because its items throw is still closed.
    NotesTestInjectFault("NSFNoteDecrypt", 1, 0, 1);
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(pContext->cSubFiles, 3);
    Close();
    // Every note opened is closed (one open failed).
    EXPECT_EQ(CountLogged("Calling Notes API NSFNoteOpenExt()"), CountLogged("Calling Notes API NSFNoteClose()") + 1);
}

TEST_F(SubfilesTest, FailedSearchLeavesAnEmptyTableAndAFailedDestroyIsReported)
{
    builder.document().text("Body", "1");
    NotesTestInjectFault("NSFSearch", 2, 0, 0);   // the first search is the image search
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(pContext->cSubFiles, 0);
    EXPECT_EQ(pContext->hIDTable, 0u);
    Close();

    NotesTestInjectFault("IDDestroyTable", 1, 0, 0);
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(nStatus, 6);
    EXPECT_EQ(pContext->cSubFiles, 1);
    EXPECT_NE(pContext->hIDTable, 0u);
    Close();
    EXPECT_TRUE(Logged("WARNING nsfInit(): nsfInitSubfiles() failed"));
    EXPECT_TRUE(Logged("WARNING nsfShutdown(): ID table is not destroyed"));

    NotesTestInjectFault("IDCreateTable", 1, 0, 0);
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(nStatus, 2);
    EXPECT_EQ(pContext->rgSubFiles, nullptr);
}

TEST_F(SubfilesTest, AllocationFailuresOfTheTableGiveStatus2)
{
    builder.document().text("Body", "1");
    NsfContext *p = BareContext();
    p->dwIDEntries = 1;
    host.FailAllocation(1);
    EXPECT_EQ(nsfNewSubFile(p), 2);
    EXPECT_EQ(p->rgSubFiles, nullptr);
    EXPECT_EQ(nsfNewSubFile(p), 0);
    EXPECT_EQ(p->cSubFilesMax, 4);
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(nsfNewSubFile(p), 0);
    host.FailAllocation(1);
    EXPECT_EQ(nsfNewSubFile(p), 2);
    EXPECT_EQ(p->cSubFiles, 4);
    host.FailAllocation(2);
    EXPECT_EQ(nsfNewSubFile(p), 2);   // the array grew, the record failed
    EXPECT_EQ(p->cSubFilesMax, 5);
    EXPECT_EQ(p->rgSubFiles[4], nullptr);
    EXPECT_EQ(nsfNewSubFile(p), 0);
    EXPECT_EQ(p->rgSubFiles[4]->nSubFile, 4);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfNewSubFile(): Error allocating subfile array, cSubFilesMax 4"));
    EXPECT_TRUE(Logged("ERROR nsfNewSubFile(): Error re-allocating subfile array, cSubFilesMax 5"));
    EXPECT_TRUE(Logged("ERROR nsfNewSubFile(): Error allocating subfile, cSubFiles 4"));
}

TEST_F(SubfilesTest, MailLogoLooksUpTheDefaultNameWhenTheItemIsEmpty)
{
    builder.document().text("Subject", "mail").text("Logo", "");
    builder.document().text("Subject", "mail 2").text("CompanyLogo", "Corp");
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(pContext->cSubFiles, 2);
    Close();
    EXPECT_TRUE(Logged("DIAG nsfGetNoteSubfile(): Logo: StdNotesLtr0"));
    EXPECT_EQ(CountLogged("WARNING nsfFindImage(): No images"), 1);

    host.SetOption("nsfrex", "MailLogoFieldName", "CompanyLogo");
    host.SetOption("nsfrex", "MailLogoFieldDefaultValue", "Fallback");
    ASSERT_NE(Open(), nullptr);
    Close();
    EXPECT_TRUE(Logged("DIAG nsfGetNoteSubfile(): CompanyLogo: Corp"));
}

// Every real sample opens through the module with a plausible table.
TEST(SubfilesSamples, EverySampleOpensThroughTheModule)
{
    std::filesystem::path samples = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf";
    ASSERT_TRUE(std::filesystem::is_directory(samples)) << "missing sample databases in " << samples;
    std::set<std::filesystem::path> paths;
    for (const auto &entry : std::filesystem::directory_iterator(samples))
        paths.insert(std::filesystem::canonical(entry.path()));
    ASSERT_FALSE(paths.empty());
    ScratchDir dir;
    EnvVar tmpdir("TMPDIR", dir.path().c_str());
    EnvVar noIni("NOTES_INI", nullptr);
    // The module's log stays off unless NSFREX_TEST_SAMPLE_LOG asks for it (it names the log level).
    const char *pszSampleLog = getenv("NSFREX_TEST_SAMPLE_LOG");
    EnvVar logLevel("TAMSEL_NSFREX_LOG_LEVEL", pszSampleLog);
    int cTotalAttachments = 0;
    for (const auto &path : paths) {
        TestHost host;
        host.zapi()->fpTimeToFileTime = StoreSeconds;
        host.SetOption("nsfrex", "TempDir", dir.path());
        std::string pathText = path.string();
        TestStream stream(pathText);
        int32_t nStatus = -1;
        NsfContext *p = static_cast<NsfContext *>(nsfInit(&stream.io, host.zapi(), 0, 0, nullptr, &nStatus));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(nStatus, 0) << pathText;
        int cNotes = 0, cMails = 0, cAttachments = 0, cOle = 0, cDated = 0;
        for (int32_t i = 0; i < p->cSubFiles; i++) {
            SubFile *s = p->rgSubFiles[i];
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->nSubFile, i);
            if (s->nSubFileType == 0) {
                cNotes++;
                cMails += s->bNoteIsMail;
            } else if (s->nSubFileType == 1) {
                cAttachments++;
                EXPECT_NE(s->pbFileName, nullptr) << pathText << " subfile " << i;
            } else if (s->nSubFileType == 2) {
                cOle++;
            }
            cDated += Seconds(s->fileTime) != 0;
        }
        EXPECT_GE(p->cSubFiles, 0);
        EXPECT_LE(cNotes, p->dwIDEntries) << pathText;
        printf("[ sample   ] %-45s subfiles %4d notes %4d mails %4d attachments %3d ole %2d dated %4d images %2d\n",
               path.filename().string().c_str(), p->cSubFiles, cNotes, cMails, cAttachments, cOle, cDated, p->cImages);
        cTotalAttachments += cAttachments;
        nsfShutdown(p);
        EXPECT_EQ(host.liveBlocks(), 0u);
    }
    EXPECT_GT(cTotalAttachments, 0);
}
