// Stored ID tables: the real tables of the sample databases, round trips through the encoder, and
// tables broken one field at a time.
#include "nsf/id_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace nsf {
namespace {

using ByteVec = std::vector<std::uint8_t>;

// The payload of the object record at `recordOffset` of a sample file (found with
// scripts/explore/find_id_tables.py); the record's own signature and size are checked first so that a
// changed sample fails here, not in the parser.
ByteVec objectPayload(const char* file, std::uint64_t recordOffset) {
    const auto path = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf" / file;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("missing sample " + path.string());
    ByteVec data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto head = slice(data, recordOffset, 6);
    if (!head) throw std::runtime_error("sample too short: " + path.string());
    const std::uint16_t signature = loadLE<std::uint16_t>(head->data());
    const std::uint32_t size = loadLE<std::uint32_t>(head->data() + 2);
    const std::uint32_t header = signature == 0x001B ? 115 : signature == 0x0007 ? 22 : 0;
    if (header == 0 || size < header) throw std::runtime_error("no object record at that offset");
    auto payload = slice(data, recordOffset + header, size - header);
    if (!payload) throw std::runtime_error("object record runs past the file");
    return ByteVec(payload->begin(), payload->end());
}

std::vector<NoteId> steps(NoteId first, std::size_t count) {
    std::vector<NoteId> ids(count);
    for (std::size_t i = 0; i < count; ++i) ids[i] = first + static_cast<NoteId>(4 * i);
    return ids;
}

TEST(IdTable, ReadsTheTablesOfRealDatabases) {
    // sample.nsf (ODS 52): $FolderIDTable of folder note 0x17E, object RRV 0x212, allocated much
    // larger than its one entry.
    auto folder = parseIdTable(objectPayload("sample.nsf", 0xB1C00));
    ASSERT_TRUE(folder) << folder.error().message();
    EXPECT_EQ(folder->ids, std::vector<NoteId>{0x926});
    EXPECT_EQ(folder->flags, kIdTableModified);
    EXPECT_EQ(folder->modified, (TimeDate{0x0033B305, 0x48258861}));

    // notedata_findKeyEx4.nsf (ODS 53): 66 consecutive IDs, each still a full 5-byte entry.
    auto many = parseFolderIdTable(objectPayload("notedata_findKeyEx4.nsf", 0xA2E00));
    ASSERT_TRUE(many) << many.error().message();
    EXPECT_EQ(*many, steps(0x902, 66));

    // notedata_makeview.nsf (ODS 43, 22-byte object header): nine scattered IDs.
    auto scattered = parseFolderIdTable(objectPayload("notedata_makeview.nsf", 0x4C500));
    ASSERT_TRUE(scattered) << scattered.error().message();
    EXPECT_EQ(*scattered, (std::vector<NoteId>{0x48C2, 0x48D2, 0x48DE, 0x48EA, 0x48F6, 0x4902, 0x490E, 0x4922,
                                               0x509E}));

    // An emptied table keeps two stale entries (one with code 2) behind its zero count: not members.
    auto emptied = parseIdTable(objectPayload("notedata_makeview.nsf", 0x21D00));
    ASSERT_TRUE(emptied) << emptied.error().message();
    EXPECT_TRUE(emptied->ids.empty());

    // The encoder writes what the database wrote, byte for byte (minus the slack of the allocation).
    const ByteVec real = objectPayload("notedata_findKeyEx4.nsf", 0xA2E00);
    EXPECT_EQ(encodeFolderIdTable(*many, 0x41, TimeDate{0x001C945D, 0x652587DE}), real);
}

// Through the file reader: the folder notes of the samples that have one.
TEST(IdTable, FolderMembersOfRealDatabases) {
    const auto dir = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf";
    auto sample = openDatabaseFile(dir / "sample.nsf");
    ASSERT_TRUE(sample) << sample.error().message();
    auto members = (*sample)->folderNoteIds(0x17E);
    ASSERT_TRUE(members) << members.error().message();
    EXPECT_EQ(*members, std::vector<NoteId>{0x926});
    auto member = (*sample)->readNote(0x926);
    ASSERT_TRUE(member) << member.error().message();
    EXPECT_EQ(member->header.noteClass, kNoteClassDocument);
    // The database's other view notes are views, not folders.
    auto view = (*sample)->folderNoteIds(0x182);
    ASSERT_FALSE(view);
    EXPECT_EQ(view.error().kind(), ErrorKind::NotFound);

    auto billdrv = openDatabaseFile(dir / "notedata_billdrv.nsf");
    ASSERT_TRUE(billdrv) << billdrv.error().message();
    auto empty = (*billdrv)->folderNoteIds(0x182);
    ASSERT_TRUE(empty) << empty.error().message();
    EXPECT_TRUE(empty->empty());
}

TEST(IdTable, EncoderRoundTrips) {
    for (std::size_t count : {0u, 1u, 2u, 1000u, 65535u}) {
        const auto ids = steps(0x8F6, count);
        const ByteVec bytes = encodeFolderIdTable(ids);
        EXPECT_EQ(bytes.size(), kIdTableHeaderSize + kIdTableEntrySize * count);
        auto back = parseFolderIdTable(bytes);
        ASSERT_TRUE(back) << back.error().message();
        EXPECT_EQ(*back, ids) << count;
    }
    // Input order and duplicates do not matter; the table is a set. High IDs survive all 32 bits.
    const std::vector<NoteId> messy{0x926, 0x8F6, 0xFFFFFFFE, 0x926, 0x80000002};
    auto back = parseFolderIdTable(encodeFolderIdTable(messy));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, (std::vector<NoteId>{0x8F6, 0x926, 0x80000002, 0xFFFFFFFE}));

    auto withTime = parseIdTable(encodeFolderIdTable(messy, 0, TimeDate{1, 2}));
    ASSERT_TRUE(withTime);
    EXPECT_EQ(withTime->flags, 0);
    EXPECT_EQ(withTime->modified, (TimeDate{1, 2}));

    EXPECT_THROW(encodeFolderIdTable(steps(0x8F6, 65536)), std::invalid_argument);
    EXPECT_THROW(encodeFolderIdTable(std::vector<NoteId>{0, 0x8F6}), std::invalid_argument);
    EXPECT_THROW(encodeFolderIdTable(std::vector<NoteId>{0x8F6}, kIdTableInverted), std::invalid_argument);
}

TEST(IdTable, RefusesWhatItDoesNotUnderstand) {
    const ByteVec good = encodeFolderIdTable(std::vector<NoteId>{0x8F6, 0x8FA, 0x926});
    auto broken = [&](auto change) {
        ByteVec b = good;
        change(b);
        return parseIdTable(b);
    };
    auto expectKind = [](const Expected<IdTable>& r, ErrorKind kind, const char* what) {
        ASSERT_FALSE(r) << what;
        EXPECT_EQ(r.error().kind(), kind) << what << ": " << r.error().message();
    };

    for (std::size_t n = 0; n < kIdTableHeaderSize; ++n)
        expectKind(parseIdTable(Bytes(good).first(n)), ErrorKind::Truncated, "short header");
    // Each entry cut short, including the last byte of the last one.
    for (std::size_t n = kIdTableHeaderSize; n < good.size(); ++n)
        expectKind(parseIdTable(Bytes(good).first(n)), ErrorKind::Truncated, "short entries");

    expectKind(broken([](ByteVec& b) { b[0] = 8; }), ErrorKind::Unsupported, "alignment 8");
    expectKind(broken([](ByteVec& b) { b[6] = 2; }), ErrorKind::Unsupported, "3 IDs in 2 entries");
    expectKind(broken([](ByteVec& b) { b[8] |= 0x02; }), ErrorKind::Unsupported, "inverted");
    expectKind(broken([](ByteVec& b) { b[9] = 0x80; }), ErrorKind::Unsupported, "unknown flag");
    expectKind(broken([](ByteVec& b) { b[18 + 5] = 2; }), ErrorKind::Unsupported, "entry code 2");
    expectKind(broken([](ByteVec& b) { b[18 + 5 + 1] = 0xF6; }), ErrorKind::Corrupt, "repeated ID");
    expectKind(broken([](ByteVec& b) { b[18 + 10 + 2] = 0x00; }), ErrorKind::Corrupt, "descending ID");
    expectKind(broken([](ByteVec& b) { std::fill_n(b.begin() + 19, 4, 0); }), ErrorKind::Corrupt, "ID 0");
    // A count far beyond the bytes: refused before anything is allocated for it.
    expectKind(broken([](ByteVec& b) { b[4] = b[6] = 0xFF; b[5] = b[7] = 0xFF; }), ErrorKind::Truncated, "huge count");

    // Trailing bytes after the counted entries are slack, whatever they hold.
    auto slack = broken([](ByteVec& b) { b.insert(b.end(), {0x00, 0x02, 0x21, 0, 0, 0xBB}); });
    ASSERT_TRUE(slack);
    EXPECT_EQ(slack->ids.size(), 3u);

    // The error names the offset of the bad entry.
    auto bad = broken([](ByteVec& b) { b[18 + 10] = 1; });
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().offset(), 28u);
}

// Damaged copies of a real table: any outcome but a crash or an out-of-bounds read (run under ASan), and
// whatever parses still obeys the table's invariants.
TEST(IdTable, SurvivesRandomDamage) {
    const ByteVec real = objectPayload("notedata_findKeyEx4.nsf", 0xA2E00);
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 3000; ++round) {
        ByteVec damaged = real;
        for (int hits = 1 + static_cast<int>(next() % 4); hits > 0; --hits)
            damaged[next() % damaged.size()] = static_cast<std::uint8_t>(next() >> 24);
        damaged.resize(damaged.size() - next() % 8);
        auto table = parseIdTable(damaged);
        if (!table) continue;
        EXPECT_LE(kIdTableHeaderSize + table->ids.size() * kIdTableEntrySize, damaged.size());
        EXPECT_TRUE(std::ranges::is_sorted(table->ids));
        EXPECT_EQ(std::ranges::adjacent_find(table->ids), table->ids.end());
    }
}

}  // namespace
}  // namespace nsf
