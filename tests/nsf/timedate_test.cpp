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

}  // namespace
}  // namespace nsf
