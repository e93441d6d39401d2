// The bucket descriptor block (BDB): where the RRV buckets are, and the item-name table. Two copies.
//
// Header (66 bytes): +0 u16 signature 0x0001, +2 u16 version, +4 u16 compression (1 = CX), +6 u32
// uncompressed size, +10 u32 write count, +14 u32 stored size (header + body + footer), +18
// TIMEDATE, +26 u32 item names, +30 u32 unknown, +34 u32 name text size, +38 u32 RRV bucket
// descriptors, +42 u32 hash entries, +46 8 bytes unknown, +54 u32 XOR of header bytes 0-53 and
// 58-65, +58 8 bytes unknown. Body: u32 compressed length, CX stream. Footer: TIMEDATE, u32 XOR of
// the body.
//
// Uncompressed: RRV bucket descriptors (8 bytes: u32 pos with bit 0 = non-data bucket, u32 first
// RRV ID; ascending by ID), then the item-name table (item_table.h), then the hash table. Their
// sizes add up to the uncompressed size exactly: 8*nRrv + 10*nNames + 4 + textSize + 2*nHash.
#pragma once

#include <cstdint>
#include <vector>

#include "database_header.h"
#include "item_table.h"
#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

namespace bdb_layout {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kCompression = 4;
inline constexpr std::size_t kUncompressedSize = 6;
inline constexpr std::size_t kWriteCount = 10;
inline constexpr std::size_t kStoredSize = 14;
inline constexpr std::size_t kNameCount = 26;
inline constexpr std::size_t kTextSize = 34;
inline constexpr std::size_t kRrvCount = 38;
inline constexpr std::size_t kHashCount = 42;
inline constexpr std::size_t kHeaderCheck = 54;
inline constexpr std::size_t kHeaderSize = 66;
static_assert(kHeaderCheck + 4 + 8 == kHeaderSize);
inline constexpr std::size_t kFooterSize = 12;
inline constexpr std::size_t kRrvDescriptorSize = 8;
inline constexpr std::uint16_t kSignatureValue = 0x0001;
}  // namespace bdb_layout

struct RrvBucketDescriptor {
    std::uint64_t offset = 0;   // byte offset of the bucket
    bool nonData = false;       // bit 0 of the stored pos
    std::uint32_t firstId = 0;
};

struct BucketDescriptorBlock {
    int copy = 0;
    std::uint32_t writeCount = 0;
    std::vector<RrvBucketDescriptor> rrvBuckets;  // ascending by firstId
    ItemNameTable names;
};

// Keeps the valid copy with the highest write count; errors when none is valid.
Expected<BucketDescriptorBlock> readBucketDescriptorBlock(Bytes file, const DatabaseHeader& header);

}  // namespace nsf::detail
