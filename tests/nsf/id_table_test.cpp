// Stored ID tables: the real tables of the sample databases.
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

}  // namespace
}  // namespace nsf
