// Notes and items: identity, item lookup by name, value blocks, scans, text, decryption, MIME.
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

TEST_F(NoteItems, InfoGivesIdentityAndClass) {
    const NOTEHANDLE h = open();
    NOTEID id = 0;
    WORD cls = 0;
    ORIGINATORID oid{};
    DBHANDLE db = 0;
    TIMEDATE modified{};
    NSFNoteGetInfo(h, _NOTE_ID, &id);
    NSFNoteGetInfo(h, _NOTE_CLASS, &cls);
    NSFNoteGetInfo(h, _NOTE_OID, &oid);
    NSFNoteGetInfo(h, _NOTE_DB, &db);
    NSFNoteGetInfo(h, _NOTE_MODIFIED, &modified);
    EXPECT_EQ(id, docId_);
    EXPECT_EQ(cls, NOTE_CLASS_DOCUMENT);
    EXPECT_EQ(oid.File.Innards[0], 0x11111111u);
    EXPECT_EQ(oid.Note.Innards[1], 0x44444444u);
    EXPECT_EQ(oid.Sequence, 7u);
    EXPECT_EQ(oid.SequenceTime.Innards[1], 6u);
    EXPECT_EQ(db, db_);
    EXPECT_EQ(modified.Innards[0], 8u);
    // Unknown selectors and bad handles leave the output alone.
    DWORD untouched = 0xABCD;
    NSFNoteGetInfo(h, 99, &untouched);
    NSFNoteGetInfo(h + 1, _NOTE_ID, &untouched);
    NSFNoteGetInfo(h, _NOTE_ID, nullptr);
    EXPECT_EQ(untouched, 0xABCDu);
    EXPECT_EQ(NSFNoteClose(h), NOERROR);
    EXPECT_EQ(NSFNoteClose(h), ERR_RUNTIME_BAD_HANDLE);
}

TEST_F(NoteItems, OpenRefusesMissingNotesStubsAndBadArguments) {
    const NOTEID stub = b_.deletionStub();
    const DBHANDLE db = openBuilt(b_, "stubs.nsf");
    NOTEHANDLE h = 5;
    EXPECT_EQ(NSFNoteOpenExt(db, 0x7FFFFFF0, 0, &h), ERR_INVALID_NOTE);
    EXPECT_EQ(h, NULLHANDLE);
    EXPECT_EQ(NSFNoteOpenExt(db, stub, 0, &h), ERR_INVALID_NOTE);
    EXPECT_EQ(NSFNoteOpenExt(db, docId_, 0, nullptr), ERR_MISC_INVALID_ARGS);
    EXPECT_EQ(NSFNoteOpenExt(db + 7, docId_, 0, &h), ERR_RUNTIME_BAD_HANDLE);
}

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

TEST_F(NoteItems, OpenFlagsSelectSummaryItemsAndExpandSingleValues) {
    const NOTEHANDLE summary = open(OPEN_SUMMARY);
    EXPECT_TRUE(NSFItemIsPresent(summary, "Subject", 7));
    EXPECT_FALSE(NSFItemIsPresent(summary, "Body", 4));  // rich text is not summary data
    NSFNoteClose(summary);

    const NOTEHANDLE expanded = open(OPEN_EXPAND);
    WORD type = 0;
    BLOCKID value{};
    DWORD length = 0;
    ASSERT_EQ(NSFItemInfo(expanded, "Subject", 7, nullptr, &type, &value, &length), NOERROR);
    EXPECT_EQ(type, TYPE_TEXT_LIST);
    const BYTE* v = OSLockBlock(BYTE, value);
    EXPECT_EQ(wordAt(v), TYPE_TEXT_LIST);
    EXPECT_EQ(wordAt(v + 2), 1);   // one entry
    EXPECT_EQ(wordAt(v + 4), 11);  // of 11 bytes
    EXPECT_EQ(length, 2u + 2u + 2u + 11u);
    OSUnlockBlock(value);
    ASSERT_EQ(NSFItemInfo(expanded, "Size", 4, nullptr, &type, nullptr, &length), NOERROR);
    EXPECT_EQ(type, TYPE_NUMBER_RANGE);
    EXPECT_EQ(length, 2u + 4u + 8u);
    ASSERT_EQ(NSFItemInfo(expanded, "Posted", 6, nullptr, &type, nullptr, nullptr), NOERROR);
    EXPECT_EQ(type, TYPE_TIME_RANGE);
    NSFNoteClose(expanded);
}

TEST_F(NoteItems, GetTextTruncatesAndReadsTheFirstListEntry) {
    const NOTEHANDLE h = open();
    char buf[32];
    EXPECT_EQ(NSFItemGetText(h, "subject", buf, sizeof buf), 11);
    EXPECT_STREQ(buf, "Hello world");
    char small[6];
    EXPECT_EQ(NSFItemGetText(h, "$TITLE", small, sizeof small), 5);
    EXPECT_STREQ(small, "A tit");
    EXPECT_EQ(NSFItemGetText(h, "Tags", buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "alpha");
    EXPECT_EQ(NSFItemGetText(h, "Size", buf, sizeof buf), 0);  // not text
    EXPECT_EQ(NSFItemGetText(h, "Missing", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(NSFItemGetText(h, "Subject", buf, 0), 0);
    EXPECT_EQ(NSFItemGetText(h, nullptr, buf, sizeof buf), 0);
    NSFNoteClose(h);
    EXPECT_EQ(NSFItemGetText(h, "Subject", buf, sizeof buf), 0);
}

TEST_F(NoteItems, DecryptAndMimePresence) {
    auto& sealed = b_.document();
    sealed.text("Encrypt", "1").sealedItem("Body", TYPE_COMPOSITE, {9, 9, 9}).item("$Seal", TYPE_SEAL, {1, 2});
    auto& mime = b_.document();
    nsf::MimePartSpec part;
    part.body = "Hello";
    mime.mimePart("Body", part);
    auto& rfc = b_.document();
    rfc.item("From", TYPE_RFC822_TEXT, {1, 2, 3});
    const DBHANDLE db = openBuilt(b_, "crypt.nsf");

    NOTEHANDLE plain = 0, enc = 0, m = 0, r = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, docId_, 0, &plain), NOERROR);
    ASSERT_EQ(NSFNoteOpenExt(db, sealed.id(), 0, &enc), NOERROR);
    ASSERT_EQ(NSFNoteOpenExt(db, mime.id(), OPEN_RAW_MIME, &m), NOERROR);
    ASSERT_EQ(NSFNoteOpenExt(db, rfc.id(), OPEN_RAW_MIME, &r), NOERROR);

    ENCRYPTION_KEY key;
    std::memset(&key, 0x5A, sizeof key);
    EXPECT_EQ(NSFNoteDecrypt(plain, 0, &key), ERR_NOTE_NOT_SEALED);
    // Items marked for sealing do not make a note encrypted: only its seal items do.
    auto& marked = b_.document();
    marked.item("Body", TYPE_COMPOSITE, {1, 2}, ITEM_SEAL | ITEM_SIGN);
    NOTEHANDLE mk = 0;
    ASSERT_EQ(NSFNoteOpenExt(openBuilt(b_, "marked.nsf"), marked.id(), 0, &mk), NOERROR);
    EXPECT_EQ(NSFNoteDecrypt(mk, 0, nullptr), ERR_NOTE_NOT_SEALED);
    EXPECT_EQ(key.Type, 0);
    EXPECT_EQ(NSFNoteDecrypt(enc, 0, nullptr), ERR_NOT_SEALED_FOR_YOU);
    EXPECT_EQ(NSFNoteDecrypt(enc + 3, 0, nullptr), ERR_RUNTIME_BAD_HANDLE);

    EXPECT_FALSE(NSFNoteHasMIME(plain));
    EXPECT_FALSE(NSFNoteHasMIMEPart(plain));
    EXPECT_TRUE(NSFNoteHasComposite(plain));
    EXPECT_TRUE(NSFNoteHasMIME(m));
    EXPECT_TRUE(NSFNoteHasMIMEPart(m));
    EXPECT_TRUE(NSFNoteHasMIME(r));
    EXPECT_FALSE(NSFNoteHasMIMEPart(r));
    EXPECT_TRUE(NSFNoteHasRFC822Text(r));
    EXPECT_FALSE(NSFNoteHasMIME(db));  // a database handle is not a note
    for (NOTEHANDLE h : {plain, enc, m, r})
        EXPECT_EQ(NSFNoteClose(h), NOERROR);
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
