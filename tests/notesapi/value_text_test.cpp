// Item values as text: lists joined by the separator, numbers, dates, truncation.
#include <gtest/gtest.h>

#include <string>

#include "runtime_fixture.h"

namespace {

using notesapi_test::RuntimeTest;

class ValueText : public RuntimeTest {
protected:
    std::string text(NOTEHANDLE h, const char* name, char sep, WORD size = 256) {
        BLOCKID value{};
        WORD type = 0;
        DWORD length = 0;
        if (NSFItemInfo(h, name, static_cast<WORD>(std::strlen(name)), nullptr, &type, &value, &length) != NOERROR)
            return "<missing>";
        std::string buf(size, 'z');
        const WORD n = NSFItemConvertValueToText(type, value, length, buf.data(), size, sep);
        EXPECT_EQ(buf[n], '\0');
        return buf.substr(0, n);
    }
};

TEST_F(ValueText, EachTypeHasItsTextForm) {
    nsf::MemoryDatabaseBuilder b;
    auto& doc = b.document();
    const double numbers[] = {1, 2.5, -3e20};
    const nsf::TimeDate times[] = {{0x006CDCC0, 0x852563FC}, {0xFFFFFFFF, 0x002563FC}};
    doc.text("T", "caf\xC3\xA9")
        .textList("L", {"a", "bc", ""})
        .number("N", 0.1)
        .numberRange("NR", numbers)
        .time("D", times[0])
        .timeRange("DR", times)
        .userId("U", "CN=Jane/O=Org")
        .composite("C", {0x81, 0x02});
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, doc.id(), 0, &h), NOERROR);

    EXPECT_EQ(text(h, "T", ';'), "caf\x82");  // LMBCS out
    EXPECT_EQ(text(h, "L", ';'), "a;bc;");
    EXPECT_EQ(text(h, "L", 0), std::string("a\0bc\0", 5));  // separator 0: zero bytes
    EXPECT_EQ(text(h, "N", ';'), "0.1");
    EXPECT_EQ(text(h, "NR", ','), "1,2.5,-3e+20");
    EXPECT_EQ(text(h, "D", ';'), "1996-12-10 19:49:04");
    EXPECT_EQ(text(h, "DR", ';'), "1996-12-10 19:49:04;1996-12-10");
    EXPECT_EQ(text(h, "U", ';'), "CN=Jane/O=Org");
    EXPECT_EQ(text(h, "C", ';'), "");  // rich text is read record by record instead
    EXPECT_EQ(text(h, "L", ';', 3), "a;");

    char buf[16];
    EXPECT_EQ(NSFItemConvertToText(h, "l", buf, sizeof buf, '|'), 5);
    EXPECT_STREQ(buf, "a|bc|");
    EXPECT_EQ(NSFItemConvertToText(h, "missing", buf, sizeof buf, '|'), 0);
    // A stale value block gives nothing rather than a crash.
    BLOCKID value{};
    DWORD length = 0;
    ASSERT_EQ(NSFItemInfo(h, "T", 1, nullptr, nullptr, &value, &length), NOERROR);
    NSFNoteClose(h);
    EXPECT_EQ(NSFItemConvertValueToText(TYPE_TEXT, value, length, buf, sizeof buf, ';'), 0);
    EXPECT_STREQ(buf, "");
}

}  // namespace
