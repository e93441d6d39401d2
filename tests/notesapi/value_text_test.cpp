// Item values as text: lists joined by the separator, numbers, dates, truncation.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <utility>

#include "nsf/timedate.h"
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

// A TIMEDATE of the given Greenwich date and time (the zone byte of a US Eastern writer).
nsf::TimeDate at(int year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second) {
    nsf::TimeDateFields f;
    f.date = nsf::CivilDate{year, month, day};
    f.time = nsf::TimeOfDay{hour, minute, second, 0};
    f.zone = nsf::TimeZoneInfo{5, 0, false, true};
    return *nsf::encodeTimeDate(f);
}

TEST_F(ValueText, EachTypeHasItsTextForm) {
    nsf::MemoryDatabaseBuilder b;
    auto& doc = b.document();
    const double numbers[] = {1, 2.5, -3e20};
    const std::pair<double, double> numberPairs[] = {{1, 10}};
    const nsf::TimeDate times[] = {{0x006CDCC0, 0x852563FC}, {0xFFFFFFFF, 0x002563FC}};
    const std::pair<nsf::TimeDate, nsf::TimeDate> timePairs[] = {{at(2009, 5, 3, 0, 15, 0), at(2009, 5, 3, 12, 0, 0)}};
    const nsf::TimeDate noTimes[] = {nsf::TimeDate{}};
    doc.text("T", "caf\xC3\xA9")
        .textList("L", {"a", "bc", ""})
        .number("N", 0.1)
        .number("I", 42)
        .number("Z", -0.0)
        .number("Big", 123456789012345678.0)
        .number("Small", 0.00001)
        .numberRange("NR", numbers)
        .numberRange("NP", numbers, numberPairs)
        .time("D", times[0])
        .time("DateOnly", times[1])
        .time("TimeOnly", nsf::TimeDate{4'500'000, 0xFFFFFFFF})
        .time("Midnight", at(2009, 5, 3, 0, 0, 0))
        .time("AfterMidnight", at(2009, 5, 3, 0, 15, 7))
        .time("Noon", at(2009, 5, 3, 12, 15, 0))
        .time("Evening", at(2009, 12, 31, 23, 59, 59))
        .time("Null", nsf::TimeDate{})
        .time("Past", nsf::TimeDate{8'640'000, 2'451'545})  // 24:00: not a time of day
        .timeRange("DR", times)
        .timeRange("DP", times, timePairs)
        .timeRange("OnlyPairs", std::span<const nsf::TimeDate>(noTimes, 0), timePairs)
        .userId("U", "CN=Jane/O=Org")
        .composite("C", {0x81, 0x02});
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, doc.id(), 0, &h), NOERROR);

    EXPECT_EQ(text(h, "T", ';'), "caf\x82");  // LMBCS out
    EXPECT_EQ(text(h, "L", ';'), "a;bc;");
    EXPECT_EQ(text(h, "L", ','), "a,bc,");
    EXPECT_EQ(text(h, "L", 0), std::string("a\0bc\0", 5));  // separator 0 is written as a zero byte
    EXPECT_EQ(text(h, "N", ';'), "0.1");
    EXPECT_EQ(text(h, "I", ';'), "42");
    EXPECT_EQ(text(h, "Z", ';'), "0");
    EXPECT_EQ(text(h, "Big", ';'), "1.23456789012346E+17");
    EXPECT_EQ(text(h, "Small", ';'), "1E-05");
    EXPECT_EQ(text(h, "NR", ','), "1,2.5,-3E+20");
    EXPECT_EQ(text(h, "NR", 0), std::string("1\0" "2.5\0-3E+20", 12));
    EXPECT_EQ(text(h, "NP", ','), "1,2.5,-3E+20,1 - 10");
    // Greenwich time, 12-hour clock; the zone of the writer is not applied.
    EXPECT_EQ(text(h, "D", ';'), "12/10/1996 07:49:04 PM");
    EXPECT_EQ(text(h, "DateOnly", ';'), "12/10/1996");
    EXPECT_EQ(text(h, "TimeOnly", ';'), "12:30:00 PM");
    EXPECT_EQ(text(h, "Midnight", ';'), "05/03/2009 00:00:00 AM");
    EXPECT_EQ(text(h, "AfterMidnight", ';'), "05/03/2009 00:15:07 AM");
    EXPECT_EQ(text(h, "Noon", ';'), "05/03/2009 12:15:00 PM");
    EXPECT_EQ(text(h, "Evening", ';'), "12/31/2009 11:59:59 PM");
    EXPECT_EQ(text(h, "Null", ';'), "");
    EXPECT_EQ(text(h, "Past", ';'), "");
    EXPECT_EQ(text(h, "DR", ';'), "12/10/1996 07:49:04 PM;12/10/1996");
    EXPECT_EQ(text(h, "DR", 0), std::string("12/10/1996 07:49:04 PM\0" "12/10/1996", 33));
    EXPECT_EQ(text(h, "DP", ','), "12/10/1996 07:49:04 PM,12/10/1996,05/03/2009 00:15:00 AM - 05/03/2009 12:00:00 PM");
    EXPECT_EQ(text(h, "OnlyPairs", ','), "05/03/2009 00:15:00 AM - 05/03/2009 12:00:00 PM");
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
