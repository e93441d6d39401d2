#include "text_convert.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

namespace nsfrex {
namespace {

// LMBCS bytes for UTF-8 text, made by ICU's encoder, so the tests do not rely on hand-made tables.
std::vector<std::uint8_t> encodeLmbcs(const std::string& utf8) {
    UErrorCode status = U_ZERO_ERROR;
    std::vector<char> out(utf8.size() * 4 + 8);
    const std::int32_t cb = ucnv_convert("LMBCS-1", "UTF-8", out.data(), static_cast<std::int32_t>(out.size()),
                                         utf8.data(), static_cast<std::int32_t>(utf8.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    return {out.begin(), out.begin() + (U_SUCCESS(status) ? cb : 0)};
}

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(LmbcsDecoder, ConvertsAsciiAndWesternAndAsianText) {
    LmbcsDecoder decoder;
    EXPECT_EQ(decoder.toUtf8(bytes("Subject: hello")), "Subject: hello");
    EXPECT_EQ(decoder.toUtf8({}), "");

    // Without a group byte, high bytes are code page 850: 0x82 is e acute.
    EXPECT_EQ(decoder.toUtf8(std::vector<std::uint8_t>{0x43, 0x61, 0x66, 0x82}), "Caf\xC3\xA9");
    EXPECT_EQ(encodeLmbcs("Caf\xC3\xA9"), (std::vector<std::uint8_t>{0x43, 0x61, 0x66, 0x82}));

    // Text from other groups carries a group byte; the round trip must give the same text.
    for (const std::string text : {"\xE6\x97\xA5\xE6\x9C\xAC", "\xCE\x91\xCE\xB2", "\xD0\x96 \xE2\x82\xAC",
                                   "mixed \xC3\xA9 \xE6\x97\xA5 end"}) {
        const auto lmbcs = encodeLmbcs(text);
        ASSERT_FALSE(lmbcs.empty());
        EXPECT_NE(lmbcs, bytes(text));  // really a different encoding
        EXPECT_EQ(decoder.toUtf8(lmbcs), text);
    }
}

TEST(LmbcsDecoder, CutsUtf8OnlyAtCharacterBoundaries) {
    const std::string text = "a\xC3\xA9\xE6\x97\xA5";  // 1 + 2 + 3 bytes
    EXPECT_EQ(utf8PrefixLength(text, 10), 6u);
    EXPECT_EQ(utf8PrefixLength(text, 6), 6u);
    EXPECT_EQ(utf8PrefixLength(text, 5), 3u);
    EXPECT_EQ(utf8PrefixLength(text, 4), 3u);
    EXPECT_EQ(utf8PrefixLength(text, 3), 3u);
    EXPECT_EQ(utf8PrefixLength(text, 2), 1u);
    EXPECT_EQ(utf8PrefixLength(text, 0), 0u);
}

}  // namespace
}  // namespace nsfrex
