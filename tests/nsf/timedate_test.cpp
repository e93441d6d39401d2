#include "nsf/timedate.h"

#include <gtest/gtest.h>

namespace nsf {
namespace {

TEST(TimeDate, DecodesWorkedExamplesWithZones) {
    // 10 Dec 1996 19:49:04 GMT written in US Eastern time: zone 5 west, a zone with DST rules.
    auto eastern = decodeTimeDate({0x006CDCC0, 0x852563FC});
    ASSERT_TRUE(eastern.has_value());
    EXPECT_EQ(eastern->date, (CivilDate{1996, 12, 10}));
    EXPECT_EQ(eastern->time, (TimeOfDay{19, 49, 4, 0}));
    EXPECT_EQ(eastern->zone, (TimeZoneInfo{5, 0, false, true}));
    EXPECT_EQ(eastern->zone.offsetMinutes(), -300);

    // The same day, written at 5:30 east without DST.
    auto india = decodeTimeDate({0x0032B864, 0x652563FC});
    ASSERT_TRUE(india.has_value());
    EXPECT_EQ(india->time, (TimeOfDay{9, 14, 0, 4}));
    EXPECT_EQ(india->zone.offsetMinutes(), 330);
    EXPECT_EQ(formatTimeDate({0x0032B864, 0x652563FC}), "1996-12-10T09:14:00.04Z (zone +05:30)");
    EXPECT_EQ(formatTimeDate({0x006CDCC0, 0x852563FC}), "1996-12-10T19:49:04.00Z (zone -05:00 DST)");
}

TEST(TimeDate, JulianDaysMatchTheGregorianCalendar) {
    EXPECT_EQ(civilFromJulianDay(2440588), (CivilDate{1970, 1, 1}));
    EXPECT_EQ(civilFromJulianDay(2451545), (CivilDate{2000, 1, 1}));
    EXPECT_EQ(civilFromJulianDay(2451604), (CivilDate{2000, 2, 29}));  // 2000 is a leap year
    EXPECT_EQ(civilFromJulianDay(2415079), (CivilDate{1900, 2, 28}));  // 1900 is not
    EXPECT_EQ(civilFromJulianDay(2415080), (CivilDate{1900, 3, 1}));
    EXPECT_EQ(civilFromJulianDay(0), (CivilDate{-4713, 11, 24}));      // proleptic Gregorian epoch
    for (std::int64_t jd : {0LL, 1721426LL, 2299161LL, 2440587LL, 2460000LL, 0xFFFFFELL})
        EXPECT_EQ(julianDayFromCivil(civilFromJulianDay(jd)), jd) << jd;
}

TEST(TimeDate, SpecialFormsAndBadValues) {
    auto allDay = decodeTimeDate({kTimeAllDay, 2451545});
    ASSERT_TRUE(allDay.has_value());
    EXPECT_TRUE(allDay->date.has_value());
    EXPECT_FALSE(allDay->time.has_value());
    EXPECT_EQ(formatTimeDate({kTimeAllDay, 2451545}), "2000-01-01");
    EXPECT_EQ(toUnixSeconds({kTimeAllDay, 2451545}).value(), 946684800);  // counts from midnight

    auto anyDay = decodeTimeDate({360000, kTimeAnyDay});
    ASSERT_TRUE(anyDay.has_value());
    EXPECT_FALSE(anyDay->date.has_value());
    EXPECT_EQ(anyDay->time, (TimeOfDay{1, 0, 0, 0}));
    EXPECT_EQ(formatTimeDate({360000, kTimeAnyDay}), "T01:00:00.00Z");
    EXPECT_EQ(toUnixSeconds({360000, kTimeAnyDay}).error().kind(), ErrorKind::Unsupported);

    EXPECT_TRUE(isNull({0, 0}));
    EXPECT_EQ(decodeTimeDate({kTicksPerDay, 2451545}).error().kind(), ErrorKind::Corrupt);
    EXPECT_EQ(toUnixSeconds({0xFFFFFFFE, 2451545}).error().kind(), ErrorKind::Corrupt);
    EXPECT_EQ(formatTimeDate({kTicksPerDay, 2451545}), "<bad time 0x0083D600 0x00256859>");
}

TEST(TimeDate, UnixSecondsRoundTrip) {
    EXPECT_EQ(toUnixSeconds({0x006CDCC0, 0x852563FC}).value(), 850247344);
    for (std::int64_t s : {0LL, 850247344LL, -1LL, -86400LL, -2208988800LL, 4102444799LL}) {
        auto td = fromUnixSeconds(s, 42);
        ASSERT_TRUE(td.has_value()) << s;
        EXPECT_EQ(toUnixSeconds(*td).value(), s);
        EXPECT_EQ(td->innards0 % 100, 42u);
    }
    EXPECT_EQ(fromUnixSeconds(-1).value(), (TimeDate{8639900, 2440587}));  // 23:59:59 the day before
    EXPECT_FALSE(fromUnixSeconds(-300000000000LL).has_value());
    EXPECT_FALSE(fromUnixSeconds(0, 100).has_value());
}

TEST(TimeDate, EncodeIsTheInverseOfDecode) {
    for (TimeDate td : {TimeDate{0x006CDCC0, 0x852563FC}, TimeDate{0x0032B864, 0x652563FC},
                        TimeDate{kTimeAllDay, 2451545}, TimeDate{12345, kTimeAnyDay},
                        TimeDate{kTimeAllDay, kTimeAnyDay}}) {
        auto fields = decodeTimeDate(td);
        ASSERT_TRUE(fields.has_value());
        EXPECT_EQ(encodeTimeDate(*fields).value(), td);
    }
    TimeDateFields bad;
    bad.date = CivilDate{2001, 2, 29};
    EXPECT_EQ(encodeTimeDate(bad).error().kind(), ErrorKind::Corrupt);
    bad.date = CivilDate{2000, 13, 1};
    EXPECT_FALSE(encodeTimeDate(bad).has_value());
    bad.date = CivilDate{2000, 1, 1};
    bad.time = TimeOfDay{24, 0, 0, 0};
    EXPECT_FALSE(encodeTimeDate(bad).has_value());
    bad.time = TimeOfDay{23, 59, 59, 99};
    bad.zone.hours = 16;
    EXPECT_FALSE(encodeTimeDate(bad).has_value());
}

}  // namespace
}  // namespace nsf
