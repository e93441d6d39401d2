// Canonical structures read into host layout, and composite values walked record by record.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "runtime_fixture.h"

namespace {

using notesapi_test::RuntimeTest;

TEST(OdsRead, LengthsAreThePackedSizes) {
    EXPECT_EQ(ODSLength(_OBJECT_DESCRIPTOR), 6);
    EXPECT_EQ(ODSLength(_FILEOBJECT), 36);
    EXPECT_EQ(ODSLength(_SEARCH_MATCH), 54);
    EXPECT_EQ(ODSLength(_MIME_PART), 20);
    EXPECT_EQ(ODSLength(_ORIGINATORID), 28);
    EXPECT_EQ(ODSLength(_TIMEDATE), 8);
    EXPECT_EQ(ODSLength(_WORD), 2);
    EXPECT_EQ(ODSLength(9999), 0);
}

TEST(OdsRead, FileObjectLandsOnItsHostFieldsAndAdvancesTheSource) {
    // Canonical FILEOBJECT: every field a distinct value, then the file name.
    std::vector<unsigned char> packed = {
        0x00, 0x00,              // ObjectType
        0x44, 0x33, 0x22, 0x11,  // RRV
        0x05, 0x00,              // FileNameLength
        0x00, 0x08,              // HostType (CDSTORAGE)
        0x01, 0x00,              // CompressionType
        0x02, 0x00,              // FileAttributes
        0x83, 0x00,              // Flags
        0x10, 0x27, 0x00, 0x00,  // FileSize 10000
        1, 0, 0, 0, 2, 0, 0, 0,  // FileCreated
        3, 0, 0, 0, 4, 0, 0, 0,  // FileModified
        'a', '.', 't', 'x', 't'};
    const void* src = packed.data();
    FILEOBJECT f;
    std::memset(&f, 0xEE, sizeof f);
    ODSReadMemory(&src, _FILEOBJECT, &f, 1);
    EXPECT_EQ(static_cast<const unsigned char*>(src), packed.data() + 36);
    EXPECT_EQ(f.Header.ObjectType, OBJECT_FILE);
    EXPECT_EQ(f.Header.RRV, 0x11223344u);
    EXPECT_EQ(f.FileNameLength, 5);
    EXPECT_EQ(f.HostType & HOST_MASK, HOST_CDSTORAGE);
    EXPECT_EQ(f.CompressionType, COMPRESS_HUFF);
    EXPECT_EQ(f.FileAttributes, ATTRIB_PRIVATE);
    EXPECT_EQ(f.Flags, 0x83);
    EXPECT_EQ(f.FileSize, 10000u);
    EXPECT_EQ(f.FileCreated.Innards[1], 2u);
    EXPECT_EQ(f.FileModified.Innards[0], 3u);

    // Several structures in a row.
    const unsigned char two[] = {1, 0, 9, 0, 0, 0, 2, 0, 8, 0, 0, 0};
    src = two;
    OBJECT_DESCRIPTOR d[2];
    ODSReadMemory(&src, _OBJECT_DESCRIPTOR, d, 2);
    EXPECT_EQ(d[1].ObjectType, 2);
    EXPECT_EQ(d[1].RRV, 8u);
    EXPECT_EQ(static_cast<const unsigned char*>(src), two + 12);

    // Unknown type or null pointers: nothing happens.
    src = two;
    ODSReadMemory(&src, 9999, d, 1);
    ODSReadMemory(nullptr, _OBJECT_DESCRIPTOR, d, 1);
    EXPECT_EQ(src, static_cast<const void*>(two));
}

TEST(OdsRead, SearchMatchAndMimePartFollowTheHostLayout) {
    std::vector<unsigned char> packed(54);
    for (std::size_t i = 0; i < packed.size(); ++i)
        packed[i] = static_cast<unsigned char>(i);
    const void* src = packed.data();
    SEARCH_MATCH m{};
    ODSReadMemory(&src, _SEARCH_MATCH, &m, 1);
    std::vector<unsigned char> host(sizeof m);
    std::memcpy(host.data(), &m, sizeof m);
    // Same offsets as the packed form up to the tail padding.
    EXPECT_TRUE(std::equal(packed.begin(), packed.end(), host.begin()));
    EXPECT_EQ(offsetof(SEARCH_MATCH, SummaryLength), 52u);

    const unsigned char part[20] = {2, 0, 7, 0, 0, 0, 2, 0, 10, 0, 3, 0, 4, 0, 0, 0, 0, 0, 0, 0};
    src = part;
    MIME_PART p{};
    ODSReadMemory(&src, _MIME_PART, &p, 1);
    EXPECT_EQ(p.wVersion, 2);
    EXPECT_EQ(p.dwFlags, 7u);
    EXPECT_EQ(p.cPartType, 2);
    EXPECT_EQ(p.wByteCount, 10);
    EXPECT_EQ(p.wBoundaryLen, 3);
    EXPECT_EQ(p.wHeadersLen, 4);
}

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
