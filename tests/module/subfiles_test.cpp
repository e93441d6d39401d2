// The subfile table: which notes become subfiles and which are mail, attachments behind their note,
// failures that skip a note, and every real sample database opened through the module.
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
