#include "filetime.h"

#include <limits>

#include <gtest/gtest.h>

namespace nsfrex {
namespace {

TEST(FileTime, ConvertsSecondsSince1970) {
    EXPECT_EQ(fileTimeFromUnixSeconds(0), 116444736000000000u);
    EXPECT_EQ(fileTimeFromUnixSeconds(-11644473600), 0u);  // 1601-01-01
    EXPECT_EQ(fileTimeFromUnixSeconds(1), 116444736010000000u);
    EXPECT_EQ(fileTimeFromUnixSeconds(-1), 116444735990000000u);  // 1969-12-31 23:59:59
    // 2038-01-19 03:14:08, one second past the 32-bit time_t limit.
    EXPECT_EQ(fileTimeFromUnixSeconds(2147483648), 137919572480000000u);
    // 2100-01-01
    EXPECT_EQ(fileTimeFromUnixSeconds(4102444800), 157469184000000000u);
}

TEST(FileTime, RefusesTimesOutsideTheRange) {
    EXPECT_FALSE(fileTimeFromUnixSeconds(-11644473601));
    EXPECT_FALSE(fileTimeFromUnixSeconds(std::numeric_limits<std::int64_t>::min()));
    EXPECT_FALSE(fileTimeFromUnixSeconds(std::numeric_limits<std::int64_t>::max()));
    constexpr std::int64_t kLast = std::numeric_limits<std::int64_t>::max() / 10'000'000 - 11644473600;
    const auto last = fileTimeFromUnixSeconds(kLast);
    ASSERT_TRUE(last);
    EXPECT_LE(*last, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()));
    EXPECT_FALSE(fileTimeFromUnixSeconds(kLast + 1));
}

TEST(FileTime, BytesAreLittleEndian) {
    const auto bytes = fileTimeBytes(116444736000000000u);  // 0x019DB1DED53E8000
    const std::array<std::uint8_t, 8> expected{0x00, 0x80, 0x3E, 0xD5, 0xDE, 0xB1, 0x9D, 0x01};
    EXPECT_EQ(bytes, expected);
}

}  // namespace
}  // namespace nsfrex
