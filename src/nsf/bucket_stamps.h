// The per-sector stamps of summary and non-summary buckets.
//
// On disk, the low 4 bits of the byte at bucket offset 512·k + 0x42 of every 512-byte sector k hold
// a stamp (one value per bucket) instead of their value. The true nibbles are kept in the bucket's
// footer, read from its last byte backwards: byte S - 1 - k/2 holds sector k's nibble in its high
// half for even k and in its low half for odd k. Every read of a bucket's records goes through a
// restored copy; RRV buckets, superblocks, bucket descriptor blocks and standalone records carry no
// stamps.
#pragma once

#include <cstdint>
#include <span>

namespace nsf::detail {

inline constexpr std::size_t kStampSectorSize = 512;
inline constexpr std::size_t kStampOffset = 0x42;

// The footer size a bucket of `size` bytes must declare.
constexpr std::uint64_t stampFooterSize(std::uint64_t size) noexcept { return size / 1024; }

// Whether a footer of `footer` bytes holds the nibble of every stamped sector of a bucket of `size`.
bool stampFooterFits(std::uint64_t size, std::uint64_t footer) noexcept;

// Puts every sector's true nibble back, in place, from the footer. `bucket` is the whole bucket as
// it is on disk; the caller has checked stampFooterFits.
void restoreStamps(std::span<std::uint8_t> bucket) noexcept;

// The writer's inverse: moves every sector's nibble into the footer and writes `stamp` in its place.
void applyStamps(std::span<std::uint8_t> bucket, std::uint8_t stamp) noexcept;

}  // namespace nsf::detail
