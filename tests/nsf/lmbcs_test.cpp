#include "nsf/lmbcs.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace nsf
