#include "filetime.h"

#include <limits>

namespace nsfrex {

std::optional<std::uint64_t> fileTimeFromUnixSeconds(std::int64_t seconds) noexcept {
    constexpr std::int64_t kMaxTicksSeconds = std::numeric_limits<std::int64_t>::max() / kFileTimeTicksPerSecond;
    // Compared before adding, so that neither the sum nor the product can overflow.
    if (seconds < -kSecondsFrom1601To1970 || seconds > kMaxTicksSeconds - kSecondsFrom1601To1970)
        return std::nullopt;
    return static_cast<std::uint64_t>((seconds + kSecondsFrom1601To1970) * kFileTimeTicksPerSecond);
}

std::array<std::uint8_t, 8> fileTimeBytes(std::uint64_t fileTime) noexcept {
    std::array<std::uint8_t, 8> bytes{};
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(fileTime & 0xFF);
        fileTime >>= 8;
    }
    return bytes;
}

}  // namespace nsfrex
