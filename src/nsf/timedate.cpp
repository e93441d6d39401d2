#include "nsf/timedate.h"

#include <cstdio>

namespace nsf {
namespace {

constexpr std::uint32_t kDayMask = 0x00FFFFFF;

// Days since 1970-01-01 <-> proleptic Gregorian date, by counting 400-year eras from 0000-03-01 so that
// the leap day falls at the end of each counted year.
CivilDate civilFromDays(std::int64_t days) noexcept {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const auto day = static_cast<unsigned>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const auto month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {static_cast<int>(year), month, day};
}

std::int64_t daysFromCivil(const CivilDate& d) noexcept {
    const std::int64_t year = static_cast<std::int64_t>(d.year) - (d.month <= 2 ? 1 : 0);
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t mp = d.month > 2 ? d.month - 3 : d.month + 9;
    const std::int64_t dayOfYear = (153 * mp + 2) / 5 + d.day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool isLeap(int year) noexcept { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned daysInMonth(int year, unsigned month) noexcept {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

std::string hex32(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

}  // namespace

CivilDate civilFromJulianDay(std::int64_t julianDay) noexcept {
    return civilFromDays(julianDay - kJulianDayUnixEpoch);
}

std::int64_t julianDayFromCivil(const CivilDate& date) noexcept {
    return daysFromCivil(date) + kJulianDayUnixEpoch;
}

Expected<TimeDateFields> decodeTimeDate(const TimeDate& td) {
    TimeDateFields f;
    if (td.innards1 != kTimeAnyDay) {
        f.date = civilFromJulianDay(td.innards1 & kDayMask);
        const std::uint32_t zone = td.innards1 >> 24;
        f.zone.hours = zone & 0x0F;
        f.zone.quarters = (zone >> 4) & 0x03;
        f.zone.east = (zone & 0x40) != 0;
        f.zone.observesDst = (zone & 0x80) != 0;
    }
    if (td.innards0 != kTimeAllDay) {
        if (td.innards0 >= kTicksPerDay)
            return fail(ErrorKind::Corrupt, "TIMEDATE", "time of day " + hex32(td.innards0) + " is past midnight");
        std::uint32_t t = td.innards0;
        TimeOfDay tod;
        tod.hundredths = t % 100;
        t /= 100;
        tod.second = t % 60;
        t /= 60;
        tod.minute = t % 60;
        tod.hour = t / 60;
        f.time = tod;
    }
    return f;
}

Expected<TimeDate> encodeTimeDate(const TimeDateFields& f) {
    TimeDate td{kTimeAllDay, kTimeAnyDay};
    if (f.time) {
        const TimeOfDay& t = *f.time;
        if (t.hour > 23 || t.minute > 59 || t.second > 59 || t.hundredths > 99)
            return fail(ErrorKind::Corrupt, "TIMEDATE", "time of day out of range");
        td.innards0 = ((t.hour * 60 + t.minute) * 60 + t.second) * 100 + t.hundredths;
    }
    if (f.date) {
        const CivilDate& d = *f.date;
        if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > daysInMonth(d.year, d.month))
            return fail(ErrorKind::Corrupt, "TIMEDATE", "date out of range");
        const std::int64_t jd = julianDayFromCivil(d);
        if (jd < 0 || jd > static_cast<std::int64_t>(kDayMask) || (jd == kDayMask && f.time))
            return fail(ErrorKind::Corrupt, "TIMEDATE", "date outside the Julian day range");
        const TimeZoneInfo& z = f.zone;
        if (z.hours > 15 || z.quarters > 3) return fail(ErrorKind::Corrupt, "TIMEDATE", "zone out of range");
        const std::uint32_t zone = z.hours | (z.quarters << 4) | (z.east ? 0x40u : 0u) | (z.observesDst ? 0x80u : 0u);
        td.innards1 = static_cast<std::uint32_t>(jd) | (zone << 24);
        if (td.innards1 == kTimeAnyDay)
            return fail(ErrorKind::Corrupt, "TIMEDATE", "date and zone collide with the \"any day\" marker");
    }
    return td;
}

Expected<std::int64_t> toUnixSeconds(const TimeDate& td) {
    auto f = decodeTimeDate(td);
    if (!f) return std::unexpected(f.error());
    if (!f->date) return fail(ErrorKind::Unsupported, "TIMEDATE", "a time without a date is no instant");
    std::int64_t seconds = (static_cast<std::int64_t>(td.innards1 & kDayMask) - kJulianDayUnixEpoch) * 86400;
    if (f->time) seconds += td.innards0 / 100;
    return seconds;
}

Expected<TimeDate> fromUnixSeconds(std::int64_t seconds, unsigned hundredths) {
    if (hundredths > 99) return fail(ErrorKind::Corrupt, "TIMEDATE", "hundredths out of range");
    // Floor division so that instants before 1970 land on the previous day.
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const std::int64_t jd = days + kJulianDayUnixEpoch;
    if (jd < 0 || jd >= static_cast<std::int64_t>(kDayMask))
        return fail(ErrorKind::Corrupt, "TIMEDATE", "instant outside the Julian day range");
    return TimeDate{static_cast<std::uint32_t>(rest * 100 + hundredths), static_cast<std::uint32_t>(jd)};
}

std::string formatTimeDate(const TimeDate& td) {
    if (isNull(td)) return "<none>";
    auto f = decodeTimeDate(td);
    if (!f) return "<bad time " + hex32(td.innards0) + " " + hex32(td.innards1) + ">";
    std::string out;
    char buf[64];
    if (f->date) {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", f->date->year, f->date->month, f->date->day);
        out += buf;
    }
    if (f->time) {
        std::snprintf(buf, sizeof buf, "T%02u:%02u:%02u.%02uZ", f->time->hour, f->time->minute, f->time->second,
                      f->time->hundredths);
        out += buf;
    }
    if (!f->date && !f->time) return "<no date, no time>";
    const TimeZoneInfo& z = f->zone;
    if (z.hours != 0 || z.quarters != 0 || z.observesDst) {
        const int m = z.offsetMinutes();
        std::snprintf(buf, sizeof buf, " (zone %c%02d:%02d%s)", m < 0 ? '-' : '+', (m < 0 ? -m : m) / 60,
                      (m < 0 ? -m : m) % 60, z.observesDst ? " DST" : "");
        out += buf;
    }
    return out;
}

}  // namespace nsf
