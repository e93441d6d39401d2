// Notes and items: item lookup by name, value blocks, scans, and every real sample document.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace {

using notesapi_test::RuntimeTest;

WORD wordAt(const void* p) {
    WORD w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

class NoteItems : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        nsf::OriginatorId oid;
        oid.file = {0x11111111, 0x22222222};
        oid.note = {0x33333333, 0x44444444};
        auto& doc = b_.document();
        doc.oid(oid).sequence(7, {5, 6}).modified({8, 9});
        doc.text("Subject", "Hello world")
            .textList("Tags", {"alpha", "beta"})
            .number("Size", 2.5)
            .time("Posted", {100, 200})
            .composite("Body", {0x01, 0x02}, 0)
            .composite("body", {0x03, 0x04}, 0)
            .text("$TITLE", "A title that is long");
        docId_ = doc.id();
        db_ = openBuilt(b_);
    }
    NOTEHANDLE open(DWORD flags = 0) {
        NOTEHANDLE h = NULLHANDLE;
        EXPECT_EQ(NSFNoteOpenExt(db_, docId_, flags, &h), NOERROR);
        return h;
    }
    nsf::MemoryDatabaseBuilder b_;
    NOTEID docId_ = 0;
    DBHANDLE db_ = NULLHANDLE;
};

TEST_F(NoteItems, ItemInfoFindsByNameWithoutCaseAndValueStartsWithTheTypeWord) {
    const NOTEHANDLE h = open();
    BLOCKID item{}, value{};
    WORD type = 0;
    DWORD length = 0;
    ASSERT_EQ(NSFItemInfo(h, "SUBJECT", 7, &item, &type, &value, &length), NOERROR);
    EXPECT_EQ(type, TYPE_TEXT);
    EXPECT_EQ(length, 2u + 11u);
    const char* p = OSLockBlock(char, value);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(wordAt(p), TYPE_TEXT);
    EXPECT_EQ(std::string(p + 2, 11), "Hello world");
    EXPECT_TRUE(OSUnlockBlock(value));
    EXPECT_FALSE(OSUnlockBlock(value));  // was not locked any more

    // Presence test with no outputs; the length given limits the name.
    EXPECT_TRUE(NSFItemIsPresent(h, "Subject", 7));
    EXPECT_TRUE(NSFItemIsPresent(h, "SubjectXYZ", 7));
    EXPECT_FALSE(NSFItemIsPresent(h, "Subj", 4));
    type = 0x1234;
    EXPECT_EQ(NSFItemInfo(h, "Nope", 4, nullptr, &type, nullptr, nullptr), ERR_ITEM_NOT_FOUND);
    EXPECT_EQ(type, TYPE_INVALID_OR_UNKNOWN);
    // No name: the first item.
    ASSERT_EQ(NSFItemInfo(h, nullptr, 0, nullptr, &type, nullptr, nullptr), NOERROR);
    EXPECT_EQ(type, TYPE_TEXT);

    // Every fragment of a long field, in order, then not found.
    std::vector<BYTE> fragments;
    ASSERT_EQ(NSFItemInfo(h, "Body", 4, &item, &type, &value, &length), NOERROR);
    do {
        EXPECT_EQ(type, TYPE_COMPOSITE);
        ASSERT_EQ(length, 4u);
        const BYTE* v = OSLockBlock(BYTE, value);
        fragments.insert(fragments.end(), v + 2, v + 4);
        OSUnlockBlock(value);
    } while (NSFItemInfoNext(h, item, "Body", 4, &item, &type, &value, &length) == NOERROR);
    EXPECT_EQ(fragments, (std::vector<BYTE>{1, 2, 3, 4}));

    // A BLOCKID of another note is refused.
    const NOTEHANDLE other = open();
    BLOCKID otherItem{};
    ASSERT_EQ(NSFItemInfo(other, "Body", 4, &otherItem, nullptr, nullptr, nullptr), NOERROR);
    EXPECT_EQ(NSFItemInfoNext(h, otherItem, "Body", 4, nullptr, nullptr, nullptr, nullptr), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFItemInfoNext(h, BLOCKID{h, 999}, nullptr, 0, nullptr, nullptr, nullptr, nullptr),
              ERR_RUNTIME_BAD_HANDLE);

    // After the close the value blocks are gone: locking them fails instead of crashing.
    EXPECT_EQ(NSFNoteClose(h), NOERROR);
    EXPECT_EQ(OSLockObject(value.pool), nullptr);
    EXPECT_EQ(OSLockBlock(char, value), nullptr);
    EXPECT_EQ(NSFItemInfo(h, "Body", 4, nullptr, nullptr, nullptr, nullptr), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFNoteClose(other), NOERROR);
}

struct ScanLog {
    std::vector<std::string> names;
    std::vector<WORD> types;
    std::size_t stopAt = 0;
};

STATUS scanItem(WORD, WORD flags, char* name, WORD nameLength, void* value, DWORD valueLength, void* param) {
    auto* log = static_cast<ScanLog*>(param);
    log->names.emplace_back(name, nameLength);
    log->types.push_back(valueLength >= 2 ? wordAt(value) : 0xFFFF);
    EXPECT_EQ(flags & 0x0008, 0);  // only published flag bits
    return log->names.size() == log->stopAt ? ERR_NOT_FOUND : NOERROR;
}

TEST_F(NoteItems, ScanVisitsItemsInOrderAndStopsOnTheCallbackStatus) {
    const NOTEHANDLE h = open();
    ScanLog all;
    ASSERT_EQ(NSFItemScan(h, scanItem, &all), NOERROR);
    EXPECT_EQ(all.names, (std::vector<std::string>{"Subject", "Tags", "Size", "Posted", "Body", "body", "$TITLE"}));
    EXPECT_EQ(all.types, (std::vector<WORD>{TYPE_TEXT, TYPE_TEXT_LIST, TYPE_NUMBER, TYPE_TIME, TYPE_COMPOSITE,
                                            TYPE_COMPOSITE, TYPE_TEXT}));
    ScanLog some;
    some.stopAt = 2;
    EXPECT_EQ(NSFItemScan(h, scanItem, &some), ERR_NOT_FOUND);
    EXPECT_EQ(some.names.size(), 2u);
    EXPECT_EQ(NSFItemScan(h, nullptr, &some), ERR_MISC_INVALID_ARGS);
    NSFNoteClose(h);
    EXPECT_EQ(NSFItemScan(h, scanItem, &some), ERR_RUNTIME_BAD_HANDLE);
}

TEST_F(NoteItems, RealSampleDocumentsOpenAndScan) {
    DBHANDLE db = 0;
    ASSERT_EQ(NSFDbOpen(notesapi_test::samplePath("notedata_attachment.nsf").c_str(), &db), NOERROR);
    DHANDLE table = 0;
    ASSERT_EQ(IDCreateTable(4, &table), NOERROR);
    auto insert = [](void* t, SEARCH_MATCH* match, ITEM_TABLE*) -> STATUS {
        return IDInsert(*static_cast<DHANDLE*>(t), match->ID.NoteID, nullptr);
    };
    ASSERT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_DOCUMENT, nullptr, insert, &table, nullptr), NOERROR);
    ASSERT_EQ(IDEntries(table), 3u);
    int withFiles = 0;
    DWORD id = 0;
    for (BOOL more = IDScan(table, TRUE, &id); more; more = IDScan(table, FALSE, &id)) {
        NOTEHANDLE h = 0;
        ASSERT_EQ(NSFNoteOpenExt(db, id, OPEN_RAW_MIME, &h), NOERROR);
        ScanLog log;
        EXPECT_EQ(NSFItemScan(h, scanItem, &log), NOERROR);
        EXPECT_FALSE(log.names.empty());
        WORD type = 0;
        if (NSFItemInfo(h, ITEM_NAME_ATTACHMENT, 5, nullptr, &type, nullptr, nullptr) == NOERROR) {
            EXPECT_EQ(type, TYPE_OBJECT);
            ++withFiles;
        }
        EXPECT_EQ(NSFNoteClose(h), NOERROR);
    }
    EXPECT_GT(withFiles, 0);
    EXPECT_EQ(IDDestroyTable(table), NOERROR);
    EXPECT_EQ(NSFDbClose(db), NOERROR);
}

}  // namespace
