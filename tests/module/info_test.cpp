// Container and subfile information: argument and index checks, the tree derived from the table order
// (root folder, notes, attachments), names and extensions, file times, and failing host allocations.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/info.h"
#include "module/support/nsf_fixture.h"

using namespace nsfrex_test;

namespace {

class InfoTest : public NsfFixture {
protected:
    HostAlloc alloc{host};
    std::vector<void *> owned;

    void TearDown() override
    {
        for (void *pv : owned)
            alloc.Free(pv);
        NsfFixture::TearDown();
    }
    void OpenEmpty(uint32_t dwFlags = 0, const std::string &name = "archive2013.nsf")
    {
        nsf::MemoryDatabaseBuilder b;
        Open(b, 0, name);
        pContext->dwFlags = dwFlags;
    }
    /* Slot 3 into a zero-filled record; the host's blocks are freed at the end of the test. */
    SubFileInfo Info(int32_t nIndex, int32_t nExpected = 0)
    {
        SubFileInfo info{};
        EXPECT_EQ(nsfGetSubFileInfo(pContext, nIndex, &info, &alloc.ref), nExpected);
        owned.push_back(info.subFileName);
        owned.push_back(info.childArray);
        return info;
    }
    static std::vector<int32_t> Children(const SubFileInfo &info)
    {
        if (info.childArray == nullptr)
            return {};
        return std::vector<int32_t>(info.childArray, info.childArray + info.childCount);
    }
    static std::string Name(const SubFileInfo &info) { return info.subFileName ? info.subFileName : "(none)"; }
};

} // namespace

TEST_F(InfoTest, MissingArgumentsAndIndexOutOfRange)
{
    OpenEmpty();
    SetSubFiles({{0, 0x8F6}, {1, 0x8F6, "a.txt"}});
    MainFileInfo main{};
    SubFileInfo info{};
    int host0 = 0;
    EXPECT_EQ(nsfGetContainerInfo(nullptr, &main, &host0), 34);
    EXPECT_EQ(nsfGetContainerInfo(pContext, nullptr, &host0), 34);
    EXPECT_EQ(nsfGetContainerInfo(pContext, &main, nullptr), 34);
    EXPECT_EQ(nsfGetSubFileInfo(nullptr, 0, &info, &alloc.ref), 34);
    EXPECT_EQ(nsfGetSubFileInfo(pContext, 0, nullptr, &alloc.ref), 34);
    EXPECT_EQ(nsfGetSubFileInfo(pContext, 0, &info, nullptr), 34);
    Info(2, 34);
    Info(-1, 34);
    EXPECT_EQ(pContext->nIndex, -1);
    Info(1);
    EXPECT_EQ(pContext->nIndex, 1);
}

TEST_F(InfoTest, ContainerInformationReportsTheTableSize)
{
    OpenEmpty();
    SetSubFiles({{0, 0x8F6}, {1, 0x8F6, "a.txt"}, {0, 0x8FA}});
    MainFileInfo main{};
    main.eClass = 7;
    int host0 = 0;
    EXPECT_EQ(nsfGetContainerInfo(pContext, &main, &host0), 0);
    EXPECT_EQ(main.numSubFiles, 3);
    EXPECT_EQ(main.charset, 53);
    EXPECT_EQ(main.eClass, 7);
}

TEST_F(InfoTest, NotesWithAttachmentsWithoutRoot)
{
    OpenEmpty();
    SetSubFiles({{0, 0x8F6, "", 0, 1}, {1, 0, "a.txt"}, {2, 0, "b.doc"}, {0, 0x8FA, "", 1}, {0, 0x8FE}});
    SubFileInfo note = Info(0);
    EXPECT_EQ(note.subFileType, 0);
    EXPECT_EQ(note.charset, 53);
    EXPECT_EQ(note.parentIndex, -1);
    EXPECT_EQ(Children(note), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(Name(note), "archive2_tm0.tmp");
    EXPECT_EQ(note.fileTime[0], 1);

    SubFileInfo a = Info(1);
    EXPECT_EQ(a.subFileType, 1);
    EXPECT_EQ(a.parentIndex, 0);
    EXPECT_EQ(a.childCount, 0);
    EXPECT_EQ(a.childArray, nullptr);
    EXPECT_EQ(Name(a), "a.txt");
    // the attachment's record takes its note's ID
    EXPECT_EQ(pContext->rgSubFiles[1]->dwNoteID, 0x8F6u);

    SubFileInfo ole = Info(2);
    EXPECT_EQ(ole.subFileType, 2);
    EXPECT_EQ(ole.parentIndex, 0);
    EXPECT_EQ(Name(ole), "b.doc");

    SubFileInfo mail = Info(3);
    EXPECT_EQ(Name(mail), "archive2_tm3.mail");
    EXPECT_EQ(mail.childCount, 0);
    EXPECT_EQ(mail.childArray, nullptr);
    // a note without a usable date reports a zero time
    for (uint8_t b : mail.fileTime)
        EXPECT_EQ(b, 0);
}

TEST_F(InfoTest, RootFolderHoldsEveryNote)
{
    OpenEmpty(CNVO_CREATEROOTDIR);
    SetSubFiles({{3}, {0, 0x8F6}, {1, 0, "a.txt"}, {1, 0, "b.txt"}, {0, 0x8FA}, {0, 0x8FE}, {2, 0, "o.bin"}});
    SubFileInfo root = Info(0);
    EXPECT_EQ(root.subFileType, 3);
    EXPECT_EQ(root.parentIndex, -1);
    EXPECT_EQ(Children(root), (std::vector<int32_t>{1, 4, 5}));
    EXPECT_EQ(root.subFileName, nullptr);

    SubFileInfo note = Info(1);
    EXPECT_EQ(note.parentIndex, 0);
    EXPECT_EQ(Children(note), (std::vector<int32_t>{2, 3}));
    SubFileInfo last = Info(5);
    EXPECT_EQ(last.parentIndex, 0);
    EXPECT_EQ(Children(last), (std::vector<int32_t>{6}));
    SubFileInfo attachment = Info(3);
    EXPECT_EQ(attachment.parentIndex, 1);
}

TEST_F(InfoTest, ExtractionFlagClearedForNotesAndRootKeptForAttachments)
{
    OpenEmpty(CNVO_CREATEROOTDIR);
    SetSubFiles({{3}, {0, 0x8F6}, {1, 0, "a.txt"}});
    for (int32_t n = 0; n < 3; n++) {
        SubFileInfo info{};
        info.infoFlag = 0x11;
        EXPECT_EQ(nsfGetSubFileInfo(pContext, n, &info, &alloc.ref), 0);
        owned.push_back(info.subFileName);
        owned.push_back(info.childArray);
        EXPECT_EQ(info.infoFlag, n == 2 ? 0x11u : 0x10u) << n;
    }
}

TEST_F(InfoTest, ExportDXLNamesMailWithDxl)
{
    OpenEmpty();
    SetSubFiles({{0, 0x8F6, "", 1}});
    pContext->bExportDXL = 1;
    EXPECT_EQ(Name(Info(0)), "archive2_tm0.dxl");
}

TEST_F(InfoTest, EmptyBaseNameGivesNoName)
{
    OpenEmpty(0, ".nsf");
    EXPECT_STREQ(pContext->szFileName8, "");
    SetSubFiles({{0, 0x8F6}});
    SubFileInfo info = Info(0);
    EXPECT_EQ(info.subFileName, nullptr);
}

TEST_F(InfoTest, NullEntryAndUnknownType)
{
    OpenEmpty();
    SetSubFiles({{0, 0x8F6}, {9, 0x8F6}, {0, 0x8FA}});
    Info(1, 6);
    // a hole in the table
    MemoryService *pService = &host.zapi()->memoryService;
    pService->fpFree(pService, pContext->rgSubFiles[2]);
    pContext->rgSubFiles[2] = nullptr;
    Info(2, 6);
    // holes are skipped when children are gathered
    EXPECT_EQ(Info(0).childCount, 1);
}

TEST_F(InfoTest, FailedHostAllocations)
{
    OpenEmpty(CNVO_CREATEROOTDIR);
    SetSubFiles({{3}, {0, 0x8F6}, {1, 0, "a.txt"}});
    host.FailAllocation(1);
    SubFileInfo root = Info(0, 2);
    EXPECT_EQ(root.childCount, 0);
    host.FailAllocation(1);
    SubFileInfo note = Info(1, 2);
    EXPECT_EQ(note.childCount, 0);
    host.FailAllocation(2);  // the child array is made, the name is not
    note = Info(1, 2);
    EXPECT_EQ(note.childCount, 1);
    EXPECT_EQ(note.subFileName, nullptr);
    host.FailAllocation(1);
    Info(2, 2);
}

TEST_F(InfoTest, SubFileTypeNames)
{
    EXPECT_STREQ(nsfSubFileTypeName(0), "Main");
    EXPECT_STREQ(nsfSubFileTypeName(1), "Attachment");
    EXPECT_STREQ(nsfSubFileTypeName(2), "OLE");
    EXPECT_STREQ(nsfSubFileTypeName(3), "Folder");
    EXPECT_STREQ(nsfSubFileTypeName(4), "Picture");
    EXPECT_STREQ(nsfSubFileTypeName(5), "Unknown");
}
