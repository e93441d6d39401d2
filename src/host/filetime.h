// The host's file time: 100-nanosecond intervals since 1601-01-01 00:00:00 UTC, as 8 little-endian bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace nsfrex {

inline constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
inline constexpr std::int64_t kFileTimeTicksPerSecond = 10'000'000;

// Seconds since 1970 as a file time. Empty before 1601 and beyond the signed 64-bit range (about the
// year 30828), the limits of the file times that readers of them accept.
std::optional<std::uint64_t> fileTimeFromUnixSeconds(std::int64_t seconds) noexcept;

std::array<std::uint8_t, 8> fileTimeBytes(std::uint64_t fileTime) noexcept;

}  // namespace nsfrex
