// RRV (record relocation vector) buckets: the note ID table. An RRV ID (a note ID or an object's
// RRV) selects an 8-byte entry that says where the record is.
//
// Bucket (RRV bucket size bytes, 4096 in every sample): header 32 bytes: +0 BSIG 06 20, +6 u32 first
// RRV ID, +18 u32 XOR of bytes 32 to the end. Entries from +32, 8 bytes each: entry i belongs to ID
// first + 4*i.
//
// Entry (A u32, B u32):
//   A = 0, 0xFFFFFFFF or 0x7FFFFFFF: unused;
//   A bit 31 set: a bucket slot (BSID): summary bucket number A & 0xFFFFFF (1-based), slot
//                 B & 0x7FF (1-based);
//   otherwise:    A is the pos (file offset / 256) of a record stored on its own (an object, or a
//                 note kept outside the buckets).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

namespace rrv_bucket_layout {
inline constexpr std::size_t kFirstId = 6;
inline constexpr std::size_t kChecksum = 18;
inline constexpr std::size_t kHeaderSize = 32;
static_assert(kChecksum + 4 <= kHeaderSize);
inline constexpr std::size_t kEntrySize = 8;
inline constexpr std::uint8_t kSignature0 = 0x06;
inline constexpr std::uint8_t kSignature1 = 0x20;
inline constexpr std::uint32_t kIdStep = 4;
}  // namespace rrv_bucket_layout

struct RrvLocation {
    enum class Kind { BucketSlot, FilePosition };
    Kind kind = Kind::BucketSlot;
    std::uint32_t bucket = 0;    // 1-based summary bucket number (BucketSlot)
    std::uint32_t slot = 0;      // 1-based slot (BucketSlot)
    std::uint64_t offset = 0;    // byte offset of the record (FilePosition)
};

// Decodes one entry; nothing for an unused entry.
std::optional<RrvLocation> decodeRrvEntry(std::uint32_t a, std::uint32_t b) noexcept;

struct RrvBucket {
    std::uint32_t firstId = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;  // (A, B) for IDs first + 4*i
};

// Parses a bucket. `verifyChecksum` is false for the live copy the superblock keeps, whose stored
// XOR is not kept up to date.
Expected<RrvBucket> parseRrvBucket(Bytes data, bool verifyChecksum, std::uint64_t fileOffset);

}  // namespace nsf::detail
