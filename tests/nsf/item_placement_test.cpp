// Splitting item values between the summary and non-summary areas when the flags' guess does not fit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "../../src/nsf/item_placement.h"
#include "nsf/database.h"
#include "nsf/values.h"

namespace {

// Hundreds of equal rich-text values that all claim the non-summary area, which is one value short:
// moving any one of them fits the lengths, and each such split has its records walked. The walking
// counts against the step's budget, so the note is placed (or refused) quickly, not in minutes.
TEST(ItemPlacement, ManyEqualRichTextValuesAreSplitWithinTheBudget) {
    constexpr std::size_t kItems = 600;
    constexpr std::uint16_t kLength = 4000;
    std::vector<std::uint8_t> value = {0x01, 0x00};  // TYPE_COMPOSITE
    while (value.size() < kLength) {
        value.push_back(0x81);  // two-byte records
        value.push_back(0x02);
    }
    std::vector<nsf::detail::ItemEntry> items(kItems, nsf::detail::ItemEntry{0, 0, kLength, 0});
    const std::vector<std::uint16_t> types(kItems, nsf::kTypeComposite);
    std::vector<std::uint8_t> summary = value;
    std::vector<std::uint8_t> nonSummary;
    for (std::size_t i = 0; i + 1 < kItems; ++i) nonSummary.insert(nonSummary.end(), value.begin(), value.end());

    const auto start = std::chrono::steady_clock::now();
    const auto placed = nsf::detail::placeItems(items, types, summary, nsf::Bytes(nonSummary), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    if (placed) {
        EXPECT_EQ(placed->values.size(), kItems);
    }
}

// A table of 65000 two-byte values that no split fits (the non-summary area holds one byte): the
// search goes down the whole table before it turns back, which must not take a stack frame per item.
TEST(ItemPlacement, ALongTableIsSearchedWithoutDeepRecursion) {
    constexpr std::size_t kItems = 65000;
    std::vector<nsf::detail::ItemEntry> items(kItems, nsf::detail::ItemEntry{0, nsf::kItemSummary, 2, 0});
    const std::vector<std::uint16_t> types(kItems, 0x0300);  // NUMBER
    std::vector<std::uint8_t> summary(2 * kItems, 0);
    for (std::size_t i = 0; i < kItems; ++i) summary[2 * i + 1] = 0x03;
    const std::vector<std::uint8_t> nonSummary(1, 0);
    EXPECT_FALSE(nsf::detail::placeItems(items, types, summary, nsf::Bytes(nonSummary), 0));
}

}  // namespace
