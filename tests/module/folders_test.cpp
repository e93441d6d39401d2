// Folder membership: the folder table built from the view notes at the first request, folder order,
// views that are not folders, notes in no folder, long titles, and the failures of the search.
#include <string>

#include <gtest/gtest.h>

#include "metadata/metadata.h"
#include "module/support/nsf_fixture.h"

using namespace nsfrex_test;

namespace {

class FoldersTest : public NsfFixture {
protected:
    std::string Folders(NOTEID noteId, NSFSTATUS nExpected = 0)
    {
        EXPECT_EQ(nsfGetNoteFolders(pContext, noteId, NULLHANDLE), nExpected);
        return nExpected == 0 ? BufferText() : std::string();
    }
};

} // namespace

TEST_F(FoldersTest, NoteInTwoFoldersInSearchOrder)
{
    nsf::MemoryDatabaseBuilder b;
    auto &a = b.document().text("Subject", "a");
    auto &c = b.document().text("Subject", "c");
    auto &d = b.document().text("Subject", "d");
    b.folder("Projects", {a.id(), c.id()});
    b.folder("Archive", {a.id()});
    Open(b);
    EXPECT_EQ(Folders(a.id()), "Projects, Archive");
    EXPECT_EQ(pContext->cFolders, 2);
    EXPECT_EQ(Folders(c.id()), "Projects");
    EXPECT_EQ(Folders(d.id()), "");
    EXPECT_EQ(pContext->ucbBuffer, 0u);
    // the table is read once: a failing search later does not matter
    NotesTestInjectFault("NSFSearch", 1, ERR_RUNTIME_INTERNAL, 0);
    EXPECT_EQ(Folders(a.id()), "Projects, Archive");
}

TEST_F(FoldersTest, MembersAreKeptInAscendingOrder)
{
    nsf::MemoryDatabaseBuilder b;
    auto &a = b.document();
    auto &c = b.document();
    auto &d = b.document();
    b.folder("F", {d.id(), a.id(), c.id()});
    Open(b);
    EXPECT_EQ(Folders(c.id()), "F");
    ASSERT_EQ(pContext->cFolders, 1);
    const Folder *pFolder = pContext->rgFolders[0];
    ASSERT_EQ(pFolder->cNoteIDs, 3);
    EXPECT_EQ(pFolder->rgNoteIDs[0], a.id());
    EXPECT_EQ(pFolder->rgNoteIDs[1], c.id());
    EXPECT_EQ(pFolder->rgNoteIDs[2], d.id());
    EXPECT_STREQ(pFolder->szName, "F");
}

TEST_F(FoldersTest, ViewThatIsNotAFolderIsSkipped)
{
    nsf::MemoryDatabaseBuilder b;
    auto &a = b.document();
    b.note(nsf::note_class::kView).text("$TITLE", "All documents");
    b.folder("Inbox", {a.id()});
    Open(b);
    EXPECT_EQ(Folders(a.id()), "Inbox");
    EXPECT_EQ(pContext->cFolders, 1);
}

TEST_F(FoldersTest, DatabaseWithoutFoldersSearchesAgainEachTime)
{
    nsf::MemoryDatabaseBuilder b;
    auto &a = b.document();
    Open(b);
    EXPECT_EQ(Folders(a.id()), "");
    NotesTestInjectFault("NSFSearch", 1, ERR_RUNTIME_INTERNAL, 0);
    Folders(a.id(), 4);
    NotesTestInjectFault("NSFSearch", 1, 0, 1);
    Folders(a.id(), 28);
    EXPECT_EQ(pContext->pszFuncAPI, nullptr);
}

TEST_F(FoldersTest, LongTitleIsCutToTheNameBuffer)
{
    nsf::MemoryDatabaseBuilder b;
    auto &a = b.document();
    std::string title(200, 'T');
    b.folder(title, {a.id()});
    Open(b);
    EXPECT_EQ(Folders(a.id()), std::string(127, 'T'));
}

TEST_F(FoldersTest, ManyFoldersGrowTheTable)
{
    nsf::MemoryDatabaseBuilder b;
    auto &a = b.document();
    for (int i = 0; i < 105; i++)
        b.folder("F" + std::to_string(i), {a.id()});
    Open(b);
    std::string text = Folders(a.id());
    EXPECT_EQ(pContext->cFolders, 105);
    EXPECT_EQ(pContext->cFoldersMax, 110);
    EXPECT_EQ(text.substr(0, 8), "F0, F1, ");
    EXPECT_EQ(text.substr(text.size() - 4), "F104");
}

TEST_F(FoldersTest, FolderThatCannotBeOpenedStopsTheSearch)
{
    nsf::MemoryDatabaseBuilder b;
    auto &a = b.document();
    b.folder("One", {a.id()});
    Open(b);
    NotesTestInjectFault("NSFNoteOpenExt", 1, ERR_RUNTIME_INTERNAL, 0);
    Folders(a.id(), 4);
    EXPECT_EQ(Folders(a.id()), "One");
}

TEST_F(FoldersTest, FailedAllocationSkipsTheFolder)
{
    nsf::MemoryDatabaseBuilder b;
    auto &a = b.document();
    b.folder("One", {a.id()});
    b.folder("Two", {a.id()});
    Open(b);
    host.FailAllocation(2);  // the array is made, the first record is not
    EXPECT_EQ(Folders(a.id()), "Two");
    EXPECT_EQ(pContext->cFolders, 1);
}
