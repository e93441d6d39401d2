// Composite values walked record by record.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "runtime_fixture.h"

namespace {

using notesapi_test::RuntimeTest;

struct Record {
    WORD type;
    DWORD length;
    bool operator==(const Record&) const = default;
};

STATUS collectRecord(char*, WORD type, DWORD length, void* ctx) {
    auto* v = static_cast<std::vector<Record>*>(ctx);
    v->push_back({type, length});
    return v->size() == 100 ? ERR_NOT_FOUND : NOERROR;
}

class Composite : public RuntimeTest {
protected:
    // Opens a note with one composite item holding `records` and returns its value block.
    BLOCKID valueOf(std::vector<std::uint8_t> records, DWORD* length, WORD type = TYPE_COMPOSITE) {
        nsf::MemoryDatabaseBuilder b;
        const NOTEID id = b.document().item("Body", type, std::move(records), 0).id();
        const DBHANDLE db = openBuilt(b, "cd" + std::to_string(++n_));
        EXPECT_EQ(NSFNoteOpenExt(db, id, 0, &note_), NOERROR);
        BLOCKID value{};
        EXPECT_EQ(NSFItemInfo(note_, "Body", 4, nullptr, nullptr, &value, length), NOERROR);
        return value;
    }
    NOTEHANDLE note_ = 0;
    int n_ = 0;
};

TEST_F(Composite, WalksByteWordAndLongHeadersWithEvenPadding) {
    const std::vector<std::uint8_t> cd = {
        0x81, 0x03, 0x00, 0x00,              // byte header (sig 0x81), length 3, padded to 4
        0x85, 0xFF, 0x06, 0x00, 0xAA, 0xBB,  // word header (0xFF85), length 6
        0x6B, 0x00, 0x08, 0x00, 0x00, 0x00, 0x01, 0x02,  // long header (0x6B), length 8
    };
    DWORD length = 0;
    const BLOCKID value = valueOf(cd, &length);
    std::vector<Record> seen;
    EXPECT_EQ(EnumCompositeBuffer(value, length, collectRecord, &seen), NOERROR);
    EXPECT_EQ(seen, (std::vector<Record>{{0x81, 3}, {0xFF85, 6}, {0x006B, 8}}));
}

TEST_F(Composite, DamagedOrForeignValuesGiveAStatusNotACrash) {
    DWORD length = 0;
    std::vector<Record> seen;
    // A record claiming more bytes than the value holds.
    BLOCKID value = valueOf({0x85, 0xFF, 0x40, 0x00, 1, 2}, &length);
    EXPECT_EQ(EnumCompositeBuffer(value, length, collectRecord, &seen), ERR_RUNTIME_CORRUPT);
    // A length below the header size would loop forever.
    value = valueOf({0x6B, 0x00, 0x02, 0x00, 0x00, 0x00}, &length);
    EXPECT_EQ(EnumCompositeBuffer(value, length, collectRecord, &seen), ERR_RUNTIME_CORRUPT);
    // A caller overstating the length stays inside the block.
    value = valueOf({0x81, 0x02}, &length);
    seen.clear();
    EXPECT_EQ(EnumCompositeBuffer(value, length + 1000, collectRecord, &seen), NOERROR);
    EXPECT_EQ(seen.size(), 1u);
    // Not rich text.
    value = valueOf({'a', 'b'}, &length, TYPE_TEXT);
    EXPECT_EQ(EnumCompositeBuffer(value, length, collectRecord, &seen), ERR_DATATYPE);
    EXPECT_EQ(EnumCompositeBuffer(value, length, nullptr, &seen), ERR_MISC_INVALID_ARGS);
    // The note's blocks die with it.
    NSFNoteClose(note_);
    EXPECT_EQ(EnumCompositeBuffer(value, length, collectRecord, &seen), ERR_RUNTIME_BAD_HANDLE);
}

}  // namespace
