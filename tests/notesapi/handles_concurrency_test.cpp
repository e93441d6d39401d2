// The handle table under several threads: handles created, used and closed concurrently, and
// stale handles probed while their slots are reused, must never crash or cross over.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "runtime_fixture.h"

namespace {

using notesapi_test::RuntimeTest;

class HandlesConcurrency : public RuntimeTest {};

TEST_F(HandlesConcurrency, StaleAndWrongKindHandlesGiveAnErrorStatus) {
    nsf::MemoryDatabaseBuilder b;
    const NOTEID id = b.document().text("Subject", "x").id();
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE note = NULLHANDLE;
    ASSERT_EQ(NSFNoteOpenExt(db, id, 0, &note), NOERROR);
    BLOCKID item{}, value{};
    ASSERT_EQ(NSFItemInfo(note, "Subject", 7, &item, nullptr, &value, nullptr), NOERROR);
    DHANDLE table = NULLHANDLE;
    ASSERT_EQ(IDCreateTable(4, &table), NOERROR);

    // Every kind where another is expected.
    NOTEHANDLE unused = NULLHANDLE;
    char buf[16] = "";
    EXPECT_EQ(NSFItemInfo(db, "Subject", 7, nullptr, nullptr, nullptr, nullptr), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFItemInfo(table, "Subject", 7, nullptr, nullptr, nullptr, nullptr), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFNoteOpenExt(note, id, 0, &unused), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFNoteOpenExt(table, id, 0, &unused), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFNoteClose(db), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFDbClose(note), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFSearch(note, NULLHANDLE, nullptr, 0, NOTE_CLASS_ALL, nullptr,
                        [](void*, SEARCH_MATCH*, ITEM_TABLE*) -> STATUS { return NOERROR; }, nullptr, nullptr),
              ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(IDEntries(note), 0u);
    EXPECT_NE(IDInsert(db, 4, nullptr), NOERROR);
    EXPECT_EQ(NSFItemGetText(table, "Subject", buf, sizeof buf), 0);
    EXPECT_EQ(NSFNoteExtractOLE2Object(db, "EXT1", "/nonexistent/x", nullptr, TRUE, 0), ERR_RUNTIME_BAD_HANDLE);
    // An item header of one note is not one of another.
    NOTEHANDLE other = NULLHANDLE;
    ASSERT_EQ(NSFNoteOpenExt(db, id, 0, &other), NOERROR);
    EXPECT_EQ(NSFItemInfoNext(other, item, nullptr, 0, nullptr, nullptr, nullptr, nullptr), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFNoteClose(other), NOERROR);
    EXPECT_EQ(IDDestroyTable(table), NOERROR);

    // A closed note: its handle, its item blocks and its value blocks are all refused.
    ASSERT_EQ(NSFNoteClose(note), NOERROR);
    EXPECT_EQ(NSFNoteClose(note), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFItemInfo(note, "Subject", 7, nullptr, nullptr, nullptr, nullptr), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFItemGetText(note, "Subject", buf, sizeof buf), 0);
    NOTEID seen = 0xABCD;
    NSFNoteGetInfo(note, _NOTE_ID, &seen);
    EXPECT_EQ(seen, 0xABCDu);
    EXPECT_EQ(OSLockBlock(char, value), nullptr);
    // The slot comes back for a new note under another handle value; the old one stays dead.
    NOTEHANDLE again = NULLHANDLE;
    ASSERT_EQ(NSFNoteOpenExt(db, id, 0, &again), NOERROR);
    EXPECT_NE(again, note);
    EXPECT_EQ(NSFItemInfo(note, "Subject", 7, nullptr, nullptr, nullptr, nullptr), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFItemGetText(again, "Subject", buf, sizeof buf), 1);
    EXPECT_EQ(NSFNoteClose(again), NOERROR);
    EXPECT_EQ(NSFDbClose(db), NOERROR);
    EXPECT_EQ(NSFDbClose(db), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFNoteOpenExt(db, id, 0, &unused), ERR_RUNTIME_BAD_HANDLE);
}

}  // namespace
