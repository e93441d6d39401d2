// Names from inside a database as single names in an output folder.
#include "safe_name.h"

#include <string>

#include <gtest/gtest.h>

namespace nsfrex {
namespace {

bool validUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

TEST(SafeName, PathsAndControlCharactersBecomeOneName) {
    EXPECT_EQ(safeFileName("../../etc/passwd", "x"), ".._.._etc_passwd");
    EXPECT_EQ(safeFileName("/etc/passwd", "x"), "_etc_passwd");
    EXPECT_EQ(safeFileName("C:\\Windows\\win.ini", "x"), "C:_Windows_win.ini");
    EXPECT_EQ(safeFileName("..\\..\\boot.ini", "x"), ".._.._boot.ini");
    EXPECT_EQ(safeFileName(std::string("a\0b\nc\x1b" "d\x7f.txt", 12), "x"), "a_b_c_d_.txt");
    EXPECT_EQ(safeFileName("tab\there", "x"), "tab_here");
    EXPECT_EQ(safeFileName("c1\xC2\x85" "x", "x"), "c1_x");  // U+0085, a C1 control
    EXPECT_EQ(safeFileName("Grüße ✓.txt", "x"), "Grüße ✓.txt");
}

TEST(SafeName, EmptyAndDotNamesTakeTheFallback) {
    EXPECT_EQ(safeFileName("", "subfile_3"), "subfile_3");
    EXPECT_EQ(safeFileName(".", "subfile_3"), "subfile_3");
    EXPECT_EQ(safeFileName("..", "subfile_3"), "subfile_3");
    EXPECT_EQ(safeFileName("...", "subfile_3"), "...");  // an ordinary name
    EXPECT_EQ(safeFileName("/", "subfile_3"), "_");
}

TEST(SafeName, WindowsDeviceNamesAreEscaped) {
    EXPECT_EQ(safeFileName("CON", "x"), "_CON");
    EXPECT_EQ(safeFileName("nul.txt", "x"), "_nul.txt");
    EXPECT_EQ(safeFileName("com1.log", "x"), "_com1.log");
    EXPECT_EQ(safeFileName("lpt9", "x"), "_lpt9");
    EXPECT_EQ(safeFileName("console.txt", "x"), "console.txt");
    EXPECT_EQ(safeFileName("com0", "x"), "com0");
}

TEST(SafeName, LongNamesAreCutOnACharacterBoundaryKeepingTheExtension) {
    std::string longName;
    for (int i = 0; i < 150; ++i) longName += "é";  // 300 bytes
    const std::string cut = safeFileName(longName + ".pdf", "x");
    EXPECT_LE(cut.size(), kMaxSafeNameBytes);
    EXPECT_TRUE(cut.ends_with("é.pdf")) << cut;
    EXPECT_TRUE(validUtf8(cut));

    const std::string noExtension = safeFileName(std::string(199, 'a') + "€", "x");  // the 3-byte € straddles 200
    EXPECT_EQ(noExtension, std::string(199, 'a'));

    // A long "extension" is no extension: the name is simply cut.
    const std::string dotted = safeFileName("a." + std::string(300, 'b'), "x");
    EXPECT_EQ(dotted.size(), kMaxSafeNameBytes);
}

TEST(FolderNames, ClashesGetNumbersBeforeTheExtension) {
    FolderNames names;
    EXPECT_EQ(names.claim("a.txt"), "a.txt");
    EXPECT_EQ(names.claim("a.txt"), "a (2).txt");
    EXPECT_EQ(names.claim("A.TXT"), "A (3).TXT");  // case-insensitive file systems see one name
    EXPECT_EQ(names.claim("README"), "README");
    EXPECT_EQ(names.claim("readme"), "readme (2)");
    EXPECT_EQ(names.claim(".profile"), ".profile");
    EXPECT_EQ(names.claim(".profile"), ".profile (2)");
    EXPECT_TRUE(names.taken("a (2).TXT"));
    EXPECT_FALSE(names.taken("a (4).txt"));
}

TEST(FolderNames, NumberedLongNamesStayWithinLimits) {
    FolderNames names;
    const std::string name = safeFileName(std::string(300, 'x') + ".txt", "f");
    ASSERT_EQ(name.size(), kMaxSafeNameBytes);
    names.claim(name);
    for (int i = 2; i < 15; ++i) {
        const std::string next = names.claim(name);
        EXPECT_LE(next.size(), 255u);
        EXPECT_TRUE(next.ends_with(").txt")) << next;
    }
    // A cut through a multi-byte character never happens.
    std::string wide;
    for (int i = 0; i < 100; ++i) wide += "日";  // 300 bytes
    const std::string safe = safeFileName(wide, "f");
    names.claim(safe);
    EXPECT_TRUE(validUtf8(names.claim(safe)));
}

}  // namespace
}  // namespace nsfrex
