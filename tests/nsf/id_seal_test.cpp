// The test seal format: notes sealed for one or several keys open with any named key and nothing else.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "nsf/id_file.h"
#include "nsf/memory_database.h"
#include "nsf/test_seal.h"

namespace nsf {
namespace {

using ByteVec = std::vector<std::uint8_t>;


const EncryptionKey kSales{"Sales", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
const EncryptionKey kLegal{"Legal Team", {0xAA, 0xBB, 0xCC}};

TEST(TestSeal, SealedItemsOpenWithAnyNamedKeyAndNothingElse) {
    MemoryDatabaseBuilder b;
    auto& doc = b.document()
                    .text("Subject", "visible")
                    .composite("Body", {1, 2, 3, 4, 5, 6, 7, 8, 9}, kItemSeal)
                    .composite("Body", {10, 11, 12}, kItemSeal)
                    .text("Secret", "classified", kItemSeal | kItemSummary)
                    .sealFor({kSales, kLegal});
    const std::vector<Item> items = doc.items();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].value, encode::text("visible"));
    EXPECT_NE(items[1].value, (ByteVec{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_NE(items[3].value, encode::text("classified"));
    const auto sealAt = test_seal::findSeal(items);
    ASSERT_EQ(sealAt, 4u);
    EXPECT_EQ(items[4].name, "$Seal");
    EXPECT_EQ(items[4].type, 0x0009);

    auto sealed = [&] { return std::vector<Item>{items[1], items[2], items[3]}; };
    for (const EncryptionKey& key : {kSales, kLegal, EncryptionKey{"LEGAL TEAM", kLegal.bytes}}) {
        const auto opened = test_seal::open(items[4], std::vector{EncryptionKey{"Other", {9}}, key});
        ASSERT_TRUE(opened) << key.name;
        auto plain = sealed();
        test_seal::decipher(plain, *opened);
        EXPECT_EQ(plain[0].value, (ByteVec{1, 2, 3, 4, 5, 6, 7, 8, 9}));
        EXPECT_EQ(plain[1].value, (ByteVec{10, 11, 12}));
        EXPECT_EQ(plain[2].value, encode::text("classified"));
    }
    // Right name, wrong bytes; an unknown name; no keys.
    EXPECT_FALSE(test_seal::open(items[4], std::vector{EncryptionKey{"Sales", {1, 2, 3}}}));
    EXPECT_FALSE(test_seal::open(items[4], std::vector{EncryptionKey{"Finance", kSales.bytes}}));
    EXPECT_FALSE(test_seal::open(items[4], {}));

    // A damaged seal never opens and never reads past its value.
    for (std::size_t n = 0; n < items[4].value.size(); ++n) {
        Item cut = items[4];
        cut.value.resize(n);
        EXPECT_FALSE(test_seal::open(cut, std::vector{kSales})) << n;
    }
    Item longer = items[4];
    longer.value.push_back(0);
    EXPECT_FALSE(test_seal::open(longer, std::vector{kSales}));
    // A seal of Notes itself is not ours.
    EXPECT_FALSE(test_seal::isTestSeal(Item{"$Seal", 0x0009, 0, 0, {1, 2}}));

    // The nonce comes from the note: two notes sealed alike differ.
    auto& other = b.document().composite("Body", {1, 2, 3, 4, 5, 6, 7, 8, 9}, kItemSeal).sealFor({kSales});
    EXPECT_NE(other.items()[0].value, items[1].value);
}

}  // namespace
}  // namespace nsf
