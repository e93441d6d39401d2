// The superblock: the database's allocation state, kept in up to two alternating copies.
//
// Header (100 bytes): +0 u16 signature 0x000E, +2 TIMEDATE, +10 u32 uncompressed size, +14 u32
// summary buckets, +18 u32 non-summary buckets, +22 u32 bitmaps, +26 u32 RRV bucket size, +30 u32
// pos of the live data RRV bucket, +34/+38 RRV ID range, +42 u32 bitmap size, +46 u32 data note ID
// table size, +50 u32 modified note log size, +54 u32 folder directory object size, +58 u16 flags,
// +60 u32 write count, +64 u32 stored size (header + body + footer), +68 u16 compression (1 = CX),
// +70 u32 summary descriptor pages, +74 u32 non-summary descriptor pages, +78..+99 not used here.
// Body: u32 compressed length, then the CX stream. Footer (12 bytes): TIMEDATE, u32 XOR of the body.
//
// Uncompressed contents, in order: summary descriptor pages (8206 bytes each, 14-byte bucket
// descriptors from page offset 224), non-summary descriptor pages (8198 bytes each, 6-byte
// descriptors from offset 70), 20 bytes per bitmap descriptor, the live copy of the data RRV bucket,
// the allocation bitmap(s), the data note ID table, the modified note log, the folder directory.
#pragma once

#include <cstdint>
#include <vector>

#include "database_header.h"
#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

namespace superblock_layout {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kUncompressedSize = 10;
inline constexpr std::size_t kSummaryBuckets = 14;
inline constexpr std::size_t kNonSummaryBuckets = 18;
inline constexpr std::size_t kBitmaps = 22;
inline constexpr std::size_t kRrvBucketSize = 26;
inline constexpr std::size_t kLiveRrvPos = 30;
inline constexpr std::size_t kBitmapSize = 42;
inline constexpr std::size_t kNoteIdTableSize = 46;
inline constexpr std::size_t kModifiedNoteLogSize = 50;
inline constexpr std::size_t kFolderDirectorySize = 54;
inline constexpr std::size_t kWriteCount = 60;
inline constexpr std::size_t kStoredSize = 64;
inline constexpr std::size_t kCompression = 68;
inline constexpr std::size_t kSummaryPages = 70;
inline constexpr std::size_t kNonSummaryPages = 74;
inline constexpr std::size_t kHeaderSize = 100;
static_assert(kNonSummaryPages + 4 <= kHeaderSize);
inline constexpr std::size_t kFooterSize = 12;
inline constexpr std::uint16_t kSignatureValue = 0x000E;

inline constexpr std::size_t kSummaryPageSize = 8206;
inline constexpr std::size_t kSummaryDescriptorsAt = 224;
inline constexpr std::size_t kSummaryDescriptorSize = 14;
inline constexpr std::size_t kSummaryPerPage = (kSummaryPageSize - kSummaryDescriptorsAt) / kSummaryDescriptorSize;
static_assert(kSummaryPerPage == 570);
inline constexpr std::size_t kNonSummaryPageSize = 8198;
inline constexpr std::size_t kNonSummaryDescriptorsAt = 70;
inline constexpr std::size_t kNonSummaryDescriptorSize = 6;
inline constexpr std::size_t kNonSummaryPerPage =
    (kNonSummaryPageSize - kNonSummaryDescriptorsAt) / kNonSummaryDescriptorSize;
static_assert(kNonSummaryPerPage == 1354);
inline constexpr std::size_t kBitmapDescriptorSize = 20;
}  // namespace superblock_layout

struct Superblock {
    int copy = 0;                               // 0-based slot the copy came from
    std::uint32_t writeCount = 0;
    std::vector<std::uint64_t> summaryBuckets;     // byte offsets; index = bucket number - 1
    std::vector<std::uint64_t> nonSummaryBuckets;  // byte offsets; index = bucket number - 1
    std::uint64_t liveRrvOffset = 0;            // byte offset of the data RRV bucket kept here
    std::vector<std::uint8_t> liveRrvBucket;    // its live contents (empty when none)
};

// Of the superblock copies the database header names, the one that has a valid signature, checksum
// and contents with the highest write count. Errors when none is valid (with the error of the last
// copy the header names).
Expected<Superblock> readSuperblock(Bytes file, const DatabaseHeader& header);

}  // namespace nsf::detail
