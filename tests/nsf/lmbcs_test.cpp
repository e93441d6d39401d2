#include "nsf/lmbcs.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace nsf {
namespace {

std::string decode(std::vector<std::uint8_t> bytes) { return lmbcsToUtf8(bytes); }

TEST(Lmbcs, DecodesGroupOneWithoutGroupByte) {
    // Notes strings are optimised for group 1 (code page 850), not Latin-1 or Windows-1252.
    EXPECT_EQ(decode({'A', 'b', ' ', '1'}), "Ab 1");
    EXPECT_EQ(decode({0x82}), "\u00E9");        // e acute
    EXPECT_EQ(decode({0xD5}), "\u0131");        // dotless i, where Latin-1 would give O tilde
    EXPECT_EQ(decode({0x9E}), "\u00D7");        // multiplication sign
    EXPECT_EQ(decode({0xFF}), "\u00A0");        // no-break space
    EXPECT_EQ(decode({'C', 0x87, 'a'}), "C\u00E7a");
}

TEST(Lmbcs, DecodesExplicitGroups) {
    EXPECT_EQ(decode({0x14, 0x20, 0xAC}), "\u20AC");          // Unicode group: UTF-16BE unit
    EXPECT_EQ(decode({0x03, 0x80}), "\u20AC");                // Hebrew group (windows-1255) also holds the euro
    EXPECT_EQ(decode({0x05, 0xC6}), "\u0416");                // Cyrillic
    EXPECT_EQ(decode({0x06, 0xA5}), "\u0105");                // Latin-2
    EXPECT_EQ(decode({0x10, 0x93, 0xFA}), "\u65E5");          // Japanese, two data bytes
    EXPECT_EQ(decode({0x12, 0xA4, 0x40}), "\u4E00");          // Traditional Chinese
    EXPECT_EQ(decode({0x13, 0xB0, 0xA1}), "\u554A");          // Simplified Chinese
    EXPECT_EQ(decode({0x0F, 0x27}), "\x07");                  // C0 control stored + 0x20
    EXPECT_EQ(decode({0x14, 0xF6, 0x01}), "\u0100");          // unit with a zero low byte
    EXPECT_EQ(decode({0x14, 0xD8, 0x3D, 0x14, 0xF6, 0xDE}), "\U0001F600");  // surrogate pair, two sequences
}

TEST(Lmbcs, DamagedInputBecomesReplacementCharacters) {
    EXPECT_EQ(decode({0x07, 'A'}), "\uFFFDA");  // unassigned group byte
    // A group byte or a half character cut off at the end of the value.
    EXPECT_EQ(decode({'A', 0x14}), "A\uFFFD");
    EXPECT_EQ(decode({'A', 0x14, 0x20}), "A\uFFFD");
    EXPECT_EQ(decode({'A', 0x10}), "A\uFFFD");
    // A lone surrogate from the Unicode group is not valid UTF-8 and must not leak out as such.
    EXPECT_EQ(decode({0x14, 0xD8, 0x3D, 'x'}), "\uFFFDx");
    EXPECT_EQ(decode({}), "");
}

TEST(Lmbcs, EncodesAndRoundTrips) {
    EXPECT_EQ(utf8ToLmbcs("plain"), (std::vector<std::uint8_t>{'p', 'l', 'a', 'i', 'n'}));
    EXPECT_EQ(utf8ToLmbcs("\u00E9"), (std::vector<std::uint8_t>{0x82}));  // group 1 needs no group byte
    for (std::string text : {"Caf\u00E9 \u00D7 \u0416\u0436 \u65E5\u672C \u20AC \U0001F600", "tab\there"}) {
        auto lmbcs = utf8ToLmbcs(text);
        EXPECT_EQ(lmbcsToUtf8(lmbcs), text);
    }
    // Invalid UTF-8 is replaced, not dropped or passed through.
    EXPECT_EQ(lmbcsToUtf8(utf8ToLmbcs("a\xFF" "b")), "a\uFFFDb");
}

// Bytes that are characters by themselves come from a table and only the rest from ICU; whichever way a
// caller asks, the result must be ICU's decoding of the whole text wherever such bytes stand, group
// bytes and their trail bytes included.
TEST(Lmbcs, AgreesWithIcuOverTheWholeText) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, void (*)(UConverter*)> icu(ucnv_open("LMBCS-1", &status), ucnv_close);
    ASSERT_TRUE(U_SUCCESS(status));
    // ICU's UTF-8 for the whole text: half a surrogate pair becomes U+FFFD, or (`strict`) fails it.
    auto byIcu = [&](const std::vector<std::uint8_t>& text, bool strict) -> std::optional<std::string> {
        std::vector<UChar> utf16(text.size() * 2 + 1);
        UErrorCode error = U_ZERO_ERROR;
        ucnv_reset(icu.get());
        const std::int32_t cch = ucnv_toUChars(icu.get(), utf16.data(), static_cast<std::int32_t>(utf16.size()),
                                               reinterpret_cast<const char*>(text.data()),
                                               static_cast<std::int32_t>(text.size()), &error);
        std::string utf8(text.size() * 4 + 1, '\0');
        std::int32_t cb = 0;
        u_strToUTF8WithSub(utf8.data(), static_cast<std::int32_t>(utf8.size()), &cb, utf16.data(), cch,
                           strict ? U_SENTINEL : 0xFFFD, nullptr, &error);
        if (U_FAILURE(error)) return std::nullopt;
        utf8.resize(static_cast<std::size_t>(cb));
        return utf8;
    };

    std::mt19937 random(18);
    int cDirect = 0, cRefused = 0;
    for (int n = 0; n < 3000; ++n) {
        // Every other text mostly printable ASCII, as real text is, with long runs of it.
        std::vector<std::uint8_t> text(random() % 80);
        const unsigned cAsciiIn20 = n % 2 ? 10 : 19;
        for (auto& b : text) {
            const bool ascii = random() % 20 < cAsciiIn20;
            b = static_cast<std::uint8_t>(ascii ? 0x20 + random() % 0x60
                                                : random() % 5 ? 0x80 + random() % 0x80 : random() % 0x20);
        }
        std::string hex;
        for (const auto b : text) hex += "0123456789ABCDEF"[b >> 4], hex += "0123456789ABCDEF"[b & 15], hex += ' ';
        SCOPED_TRACE(hex);
        EXPECT_EQ(lmbcsToUtf8(text), byIcu(text, false).value_or("(ICU fails)")) << n;

        const auto expected = byIcu(text, true);
        const auto strict = lmbcsToUtf8Strict(text);
        ASSERT_EQ(strict.has_value(), expected.has_value()) << n;
        if (strict) {
            EXPECT_EQ(*strict, *expected) << n;
        } else {
            // The refused byte opens the Unicode group, and everything in front of it converts.
            ++cRefused;
            ASSERT_LT(strict.error().offset, text.size());
            EXPECT_EQ(text[strict.error().offset], 0x14) << n;
            EXPECT_TRUE(lmbcsToUtf8Strict(Bytes(text).first(strict.error().offset))) << n;
        }

        std::string block(text.size() * 6, '\0');
        if (const auto written = lmbcsToUtf8Into(text, block)) {
            ++cDirect;
            EXPECT_EQ(block.substr(0, *written), expected.value_or("(ICU fails)")) << n;
        }
    }
    EXPECT_GT(cDirect, 300);  // the table does serve most text without group bytes
    EXPECT_GT(cRefused, 0);
}

// Cut where a buffer ends, never inside a character ("é" 2 bytes, "€" 3, "𝄞" 4).
TEST(Lmbcs, FittingPrefixEndsOnACharacterBoundary) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E";
    const std::size_t expected[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 10};
    for (std::size_t limit = 0; limit < std::size(expected); ++limit)
        EXPECT_EQ(utf8FittingPrefix(text, limit), expected[limit]) << "limit " << limit;
}

}  // namespace
}  // namespace nsf
