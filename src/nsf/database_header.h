// The database header: everything from file offset 6 to the header size the file header gives.
//
// File offsets (verified on ODS 41 to 55; see docs/format/container.md):
//   6    DBINFO (174 bytes): +0 u32 ODS, +4 8-byte DBID, +14 non-data RRV bucket pos,
//        +36 u16 database class, +38 u16 database flags, +56 data RRV bucket pos,
//        +70 u16 RRV bucket size, +72 u16 summary bucket size, +82 u32 file size / 256
//   180  DBREPLICAINFO (20 bytes): +0 replica ID (8), +8 flags, +10 cutoff days, +12 cutoff TIMEDATE
//   200  info buffer (128 bytes): title, "\n" categories, "#" class, "2" template name, NUL
//   328  special note IDs: 32 u32 indexed by the bit number of the note class
//   456  64 bytes unknown
//   520  DBINFO2 (124 bytes): +40..+71 superblocks 1-4 (pos u32, size u32), +104/+108 BDB 1
//        size/pos, +112/+116 BDB 2 size/pos
//   644  DBINFO3 (44 bytes): local encryption ("LSEC") state; all zero when not encrypted
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

namespace database_header_layout {
inline constexpr std::size_t kDbInfo = 6;
inline constexpr std::size_t kDbInfoSize = 174;
inline constexpr std::size_t kOds = kDbInfo + 0;
inline constexpr std::size_t kDatabaseId = kDbInfo + 4;
inline constexpr std::size_t kNonDataRrvPos = kDbInfo + 14;
inline constexpr std::size_t kDatabaseClass = kDbInfo + 36;
inline constexpr std::size_t kDatabaseFlags = kDbInfo + 38;
inline constexpr std::size_t kDataRrvPos = kDbInfo + 56;
inline constexpr std::size_t kRrvBucketSize = kDbInfo + 70;
inline constexpr std::size_t kSummaryBucketSize = kDbInfo + 72;
inline constexpr std::size_t kFileSize256 = kDbInfo + 82;
inline constexpr std::size_t kReplicaInfo = 180;
static_assert(kDbInfo + kDbInfoSize == kReplicaInfo);
inline constexpr std::size_t kReplicaInfoSize = 20;
inline constexpr std::size_t kInfoBuffer = 200;
static_assert(kReplicaInfo + kReplicaInfoSize == kInfoBuffer);
inline constexpr std::size_t kInfoBufferSize = 128;
inline constexpr std::size_t kSpecialIds = 328;
static_assert(kInfoBuffer + kInfoBufferSize == kSpecialIds);
inline constexpr std::size_t kSpecialIdCount = 32;
inline constexpr std::size_t kUnknown1 = kSpecialIds + 4 * kSpecialIdCount;
static_assert(kUnknown1 == 456);
inline constexpr std::size_t kDbInfo2 = 520;
static_assert(kUnknown1 + 64 == kDbInfo2);
inline constexpr std::size_t kDbInfo2Size = 124;
inline constexpr std::size_t kSuperblocks = kDbInfo2 + 40;  // 4 x (pos u32, size u32)
inline constexpr std::size_t kBdb1Size = kDbInfo2 + 104;
inline constexpr std::size_t kBdb1Pos = kDbInfo2 + 108;
inline constexpr std::size_t kBdb2Size = kDbInfo2 + 112;
inline constexpr std::size_t kBdb2Pos = kDbInfo2 + 116;
inline constexpr std::size_t kDbInfo3 = 644;
static_assert(kDbInfo2 + kDbInfo2Size == kDbInfo3);
inline constexpr std::size_t kDbInfo3Size = 44;
inline constexpr std::size_t kMinimumSize = kDbInfo3 + kDbInfo3Size;  // 688
static_assert(kMinimumSize <= 1024);
}  // namespace database_header_layout

// A place in the file given as (pos, size): pos in 256-byte units, size in bytes.
struct Extent {
    std::uint64_t offset = 0;  // bytes
    std::uint32_t size = 0;
};

struct DatabaseHeader {
    std::uint32_t headerSize = 0;
    std::uint32_t ods = 0;
    std::array<std::uint8_t, 8> databaseId{};
    std::array<std::uint8_t, 8> replicaId{};
    std::uint16_t databaseClass = 0;
    std::uint16_t databaseFlags = 0;
    std::uint16_t rrvBucketSize = 0;
    std::uint16_t summaryBucketSize = 0;
    std::vector<std::uint8_t> infoBuffer;  // up to the first NUL
    std::array<std::uint32_t, 32> specialIds{};
    std::array<Extent, 4> superblocks{};   // zero size = slot not used
    std::array<Extent, 2> bdbs{};
    bool lsecFieldsSet = false;            // some DBINFO3 byte is not zero
};

// Reads the database header. Checks that the ODS is one this reader knows (41 to 55 inclusive;
// older structure versions are Unsupported). A superblock or BDB extent that does not lie inside the
// file is recorded as empty (size 0).
Expected<DatabaseHeader> parseDatabaseHeader(Bytes file, std::uint32_t headerSize);

}  // namespace nsf::detail
