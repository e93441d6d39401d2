// TIMEDATE values: calendar fields, Unix time and the stored zone.
//
// The instant is always Greenwich time: Innards[0] counts 1/100 s since midnight, the low 24 bits of
// Innards[1] are the Julian day number (2440588 = 1970-01-01, proleptic Gregorian calendar). The high byte
// of Innards[1] only records the zone of the writer: whole hours (bits 24-27), quarter hours (bits 28-29),
// east of Greenwich (bit 30) and whether that zone observes daylight saving time (bit 31). The DST bit
// says the zone has DST rules, not that DST was in effect at that instant: values written in December in
// US Eastern time carry it. A word of all ones means "no time" (Innards[0]) or "no date" (Innards[1]).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "nsf/database.h"
#include "nsf/error.h"

namespace nsf {

inline constexpr std::uint32_t kTimeAllDay = 0xFFFFFFFF;  // Innards[0]: a date without a time of day
inline constexpr std::uint32_t kTimeAnyDay = 0xFFFFFFFF;  // Innards[1]: a time of day without a date
inline constexpr std::uint32_t kTicksPerDay = 8'640'000;  // hundredths of a second
inline constexpr std::int64_t kJulianDayUnixEpoch = 2'440'588;

struct CivilDate {
    int year = 1970;
    unsigned month = 1;  // 1..12
    unsigned day = 1;    // 1..31
    bool operator==(const CivilDate&) const = default;
};

struct TimeOfDay {
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    unsigned hundredths = 0;
    bool operator==(const TimeOfDay&) const = default;
};

struct TimeZoneInfo {
    unsigned hours = 0;     // 0..15
    unsigned quarters = 0;  // extra 15-minute units, 0..3
    bool east = false;
    bool observesDst = false;
    // Standard offset from Greenwich in minutes, positive east.
    int offsetMinutes() const noexcept {
        int m = static_cast<int>(hours * 60 + quarters * 15);
        return east ? m : -m;
    }
    bool operator==(const TimeZoneInfo&) const = default;
};

// A TIMEDATE taken apart. `date` is empty for "any day", `time` for "all day"; fields are Greenwich time.
struct TimeDateFields {
    std::optional<CivilDate> date;
    std::optional<TimeOfDay> time;
    TimeZoneInfo zone;
    bool operator==(const TimeDateFields&) const = default;
};

// Julian day number <-> proleptic Gregorian date, valid for any 24-bit day number.
CivilDate civilFromJulianDay(std::int64_t julianDay) noexcept;
std::int64_t julianDayFromCivil(const CivilDate& date) noexcept;

// An all-zero TIMEDATE means "no value".
inline bool isNull(const TimeDate& td) noexcept { return td.innards0 == 0 && td.innards1 == 0; }

// Corrupt when the time of day is 24:00 or later (and not "all day").
Expected<TimeDateFields> decodeTimeDate(const TimeDate& td);

// The inverse; Corrupt for fields out of range (month 13, 25 o'clock, a day before the Julian epoch...).
Expected<TimeDate> encodeTimeDate(const TimeDateFields& fields);

// Seconds since 1970-01-01 00:00:00 Greenwich, hundredths dropped; an "all day" value counts from
// midnight. Unsupported for "any day" values, which name no instant.
Expected<std::int64_t> toUnixSeconds(const TimeDate& td);

// The TIMEDATE of a Unix instant, written as if in Greenwich time without DST. Corrupt before the
// Julian epoch or past the 24-bit day range.
Expected<TimeDate> fromUnixSeconds(std::int64_t seconds, unsigned hundredths = 0);

// "1996-12-10T19:49:04.00Z", "1996-12-10" (all day), "T19:49:04.00Z" (any day), "<none>" (all zero) or
// "<bad time ...>".
// The writer's zone is appended when it is not Greenwich, e.g. " (zone -05:00 DST)".
std::string formatTimeDate(const TimeDate& td);

}  // namespace nsf
