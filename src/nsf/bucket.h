// Summary and non-summary buckets: pages of records addressed by slot number.
//
// Header (66 bytes): +0 BSIG 02 42, +6 u32 bucket size, +10 TIMEDATE, +40 u32 check, +44 u32 number
// of slots, +50 u32 footer size (size / 1024: the stamped nibbles, bucket_stamps.h). The slot index
// ends just before the footer and grows backwards: slot 1 is the 4 bytes right before the footer,
// {u16 offset from the bucket start, u16 size}.
#pragma once

#include <cstdint>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

namespace bucket_layout {
inline constexpr std::size_t kSize = 6;
inline constexpr std::size_t kSlotCount = 44;
inline constexpr std::size_t kFooterSize = 50;
inline constexpr std::size_t kHeaderSize = 66;
static_assert(kFooterSize + 4 <= kHeaderSize);
inline constexpr std::size_t kSlotEntrySize = 4;
inline constexpr std::uint8_t kSignature0 = 0x02;
inline constexpr std::uint8_t kSignature1 = 0x42;
}  // namespace bucket_layout

// A copy of the bucket at byte `offset` with its stamps restored. Checks the signature, that the
// bucket lies inside the file, and that its footer has the size its stamps need.
Expected<std::vector<std::uint8_t>> readBucket(Bytes file, std::uint64_t offset, const char* structure);

// The bytes of slot `slot` (1-based) of a restored bucket that lies at file offset `offset`. Checks
// that the slot index and the slot's bytes lie inside the bucket's record area, and that the slot
// exists and is not empty.
Expected<Bytes> bucketSlot(Bytes bucket, std::uint64_t offset, std::uint32_t slot, const char* structure);

}  // namespace nsf::detail
