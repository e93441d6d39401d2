// Summary and non-summary buckets: pages of records addressed by slot number.
//
// Header (66 bytes): +0 BSIG 02 42, +6 u32 bucket size, +10 TIMEDATE, +40 u32 check, +44 u32 number
// of slots, +50 u32 footer size. The slot index ends just before the footer and grows backwards:
// slot 1 is the 4 bytes right before the footer, {u16 offset from the bucket start, u16 size}.
#pragma once

#include <cstdint>

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

// The bytes of slot `slot` (1-based) of the bucket at byte `offset`. Checks the signature, that the
// bucket, its slot index and the slot's bytes lie inside the file, and that the slot exists and is
// not empty. The slot's range is checked against the bucket, not only the file.
Expected<Bytes> bucketSlot(Bytes file, std::uint64_t offset, std::uint32_t slot, const char* structure);

}  // namespace nsf::detail
