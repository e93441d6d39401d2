// Attachments as subfiles: names in UTF-8 and as stored, times from the file object, host types that
// give attachments, OLE objects or nothing, object types that are not files, and items that are not
// objects.
#include <gtest/gtest.h>

#include "module/catalogue_db.h"

using namespace nsfrex_test;

namespace {

struct AttachmentsTest : ModuleDbTest {
    std::vector<std::uint8_t> bytes{'x', 'y', 'z'};

    nsf::FileObjectSpec MakeFileObject(const std::string &name, uint16_t wHostType = 0)
    {
        nsf::FileObjectSpec fileSpec;
        fileSpec.fileName = name;
        fileSpec.hostType = wHostType;
        fileSpec.fileSize = static_cast<uint32_t>(bytes.size());
        return fileSpec;
    }
};

const int32_t lJan1st2000 = 2451545;
const int64_t tJan1st2000 = 946684800;

} // namespace

TEST_F(AttachmentsTest, FileAttachmentGetsItsNamesTimeAndPosition)
{
    auto fileSpec = MakeFileObject("report.pdf");
    fileSpec.created = MakeTime(lJan1st2000, 100 * 60);
    fileSpec.modified = MakeTime(lJan1st2000 + 1, 4320000);
    auto &note = builder.document().text("Subject", "s");
    note.attachStored(fileSpec, bytes);
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(nStatus, 0);
    ASSERT_EQ(pContext->cSubFiles, 2);
    SubFile *a = Sub(1);
    EXPECT_EQ(a->nSubFile, 1);
    EXPECT_EQ(a->nSubFileType, 1);
    EXPECT_EQ(a->dwNoteID, note.id());
    EXPECT_EQ(a->nAttachment, 1);
    EXPECT_EQ(a->cbOrigFileName, 10);
    EXPECT_STREQ(reinterpret_cast<char *>(a->rgbOrigFileName), "report.pdf");
    EXPECT_EQ(a->cbFileName, 10);
    EXPECT_STREQ(reinterpret_cast<char *>(a->pbFileName), "report.pdf");
    EXPECT_EQ(Seconds(a->fileTime), tJan1st2000 + 86400 + 12 * 3600);
    Close();
    EXPECT_TRUE(Logged("INFO nsfGetAttachSubfile(): Added attachment as subfile, dwNoteID " +
                       std::to_string(note.id()) + ", cSubFiles 2"));
    EXPECT_TRUE(Logged("DIAG nsfGetAttachSubfile(): FileObj wHostType 0x0 (HOST_MSDOS)"));
}

TEST_F(AttachmentsTest, ZeroModifiedTimeFallsBackToCreatedAndABadTimeStaysZero)
{
    auto fileSpec = MakeFileObject("a.txt");
    fileSpec.created = MakeTime(lJan1st2000, 0);
    auto spec2 = MakeFileObject("b.txt");
    spec2.modified = MakeTime(2488070, 0);   // 2100-01-01: outside the calendar
    builder.document().text("Body", "b").attachStored(fileSpec, bytes).attachStored(spec2, bytes);
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 3);
    EXPECT_EQ(Seconds(Sub(1)->fileTime), tJan1st2000);
    EXPECT_EQ(Seconds(Sub(2)->fileTime), 0);
    EXPECT_EQ(FileName(2), "b.txt");
    Close();
    EXPECT_TRUE(Logged("ERROR nsfGetDateTime(): nsfJulianDay() failed"));
    EXPECT_TRUE(Logged("WARNING nsfGetAttachSubfile(): nsfGetDateTime() failed"));
}

TEST_F(AttachmentsTest, HostTypesDecideBetweenAttachmentOleAndNothing)
{
    auto &note = builder.document().text("Body", "b");
    const uint16_t rgHosts[] = {0x0000, 0x0100, 0x0200, 0x0300, 0x0400, 0x0500, 0x0600,
                                0x0700, 0x0800, 0x0900, 0x0A00, 0x0B00, 0x0F00, 0x1600};
    for (uint16_t wHost : rgHosts)
        note.attachStored(MakeFileObject("h" + std::to_string(wHost) + ".bin", wHost), bytes);
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(nStatus, 0);
    // MS-DOS, Mac, unknown and HPFS files are attachments; byte arrays (also with flag bits) are OLE.
    std::vector<std::pair<std::string, int32_t>> got;
    for (int32_t i = 1; i < pContext->cSubFiles; i++)
        got.emplace_back(FileName(i), Sub(i)->nSubFileType);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, int32_t>>{
                       {"h0.bin", 1}, {"h512.bin", 1}, {"h768.bin", 1}, {"h1024.bin", 1}, {"h1536.bin", 2}, {"h5632.bin", 2}}));
    EXPECT_EQ(Sub(5)->nAttachment, 7);
    Close();
    EXPECT_TRUE(Logged("DIAG nsfGetAttachSubfile(): Unknown wHostType 0xb00 (HOST_UNKNOWN)"));
    EXPECT_TRUE(Logged("DIAG nsfGetAttachSubfile(): Unknown wHostType 0xf00 (HOST_UNKNOWN)"));
    EXPECT_EQ(CountLogged("Unknown wHostType"), 2);
}

TEST_F(AttachmentsTest, NonObjectItemsCountInThePositionAndOtherObjectsGiveNothing)
{
    auto &note = builder.document().text("Body", "b");
    note.text("$FILE", "not an object");
    note.attachFile("second.txt", bytes);
    note.objectRef("$FILE", 3, 0x2000);
    note.objectRef("$FILE", 8, 0x2004);
    note.objectRef("$FILE", 5, 0x2008);
    note.attachFile("sixth.txt", bytes);
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(nStatus, 0);
    ASSERT_EQ(pContext->cSubFiles, 3);
    EXPECT_EQ(Sub(1)->nAttachment, 2);
    EXPECT_EQ(Sub(2)->nAttachment, 6);
    Close();
    EXPECT_EQ(CountLogged("WARNING nsfGetAttachSubfile(): Unknown ObjDesc.ObjectType"), 1);
    EXPECT_TRUE(Logged("WARNING nsfGetAttachSubfile(): Unknown ObjDesc.ObjectType 0x5"));
    EXPECT_TRUE(Logged("ObjDesc.ObjectType 0x3 (OBJECT_FILTER_LEFTTODO)"));
    EXPECT_TRUE(Logged("ObjDesc.ObjectType 0x8 (OBJECT_ASSIST_RUNDATA)"));
    EXPECT_TRUE(Logged("DIAG nsfGetNoteSubfiles(): wValueDataType 0x500 (CLASS_TEXT, TYPE_TEXT)"));
    EXPECT_EQ(CountLogged("Calling Notes API OSLockBlock()"), CountLogged("Calling Notes API OSUnlockBlock()"));
}

TEST_F(AttachmentsTest, NamesAreTranslatedToUtf8AndAnEmptyNameGivesNoNames)
{
    auto &note = builder.document().text("Body", "b");
    note.attachFile("Café Über.txt", bytes);
    note.attachStored(MakeFileObject(""), bytes);
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 3);
    EXPECT_EQ(FileName(1), "Café Über.txt");
    EXPECT_EQ(Sub(1)->cbFileName, 15);
    EXPECT_LT(Sub(1)->cbOrigFileName, Sub(1)->cbFileName);
    EXPECT_EQ(Sub(1)->rgbOrigFileName[Sub(1)->cbOrigFileName], 0);
    EXPECT_EQ(Sub(2)->nSubFileType, 1);
    EXPECT_EQ(Sub(2)->pbFileName, nullptr);
    EXPECT_EQ(Sub(2)->rgbOrigFileName, nullptr);
    EXPECT_EQ(Sub(2)->cbFileName, 0);
}

TEST_F(AttachmentsTest, FailuresKeepTheRecordAndStopTheNote)
{
    auto &note = builder.document().text("Body", "b");
    note.attachFile("one.txt", bytes).attachFile("two.txt", bytes);
    NotesTestInjectFault("OSTranslate", 1, 0, 0);   // OSTranslate has no status: it gives 0 bytes
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(nStatus, 0);
    ASSERT_EQ(pContext->cSubFiles, 2);   // the first record stays without UTF-8 name; the second never came
    EXPECT_NE(Sub(1)->rgbOrigFileName, nullptr);
    EXPECT_EQ(Sub(1)->pbFileName, nullptr);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfGetAttachSubfile(): OSTranslate() failed, cbFileName 0"));
    EXPECT_TRUE(Logged("WARNING nsfGetNoteSubfiles(): nsfGetAttachSubfile() failed"));

    NotesTestInjectFault("NSFItemInfoNext", 1, 0, 0);
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(pContext->cSubFiles, 2);
}
