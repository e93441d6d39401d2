// Subfile information: the tree derived from the table order (notes and their attachments), names and
// file times.
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
