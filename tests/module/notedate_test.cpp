// Note and attachment times: the Julian day calendar and its limits, the split of the time of day, the
// validity checks, the posted or composed date text with AM/PM, and TZ left as it was.
#include <stdlib.h>

#include <gtest/gtest.h>

#include "catalogue/notedate.h"
#include "module/catalogue_db.h"

using namespace nsfrex_test;

namespace {

struct NoteDateTest : ModuleDbTest {
    /* Opens a database with one mail note carrying the given items and returns its file time. */
    int64_t NoteTime(const std::vector<std::pair<std::string, std::string>> &items)
    {
        auto &note = builder.document();
        for (const auto &[name, value] : items)
            note.text(name, value);
        note.text("Subject", "s");
        EXPECT_NE(Open(), nullptr);
        EXPECT_EQ(nStatus, 0);
        EXPECT_EQ(pContext->cSubFiles, 1);
        return pContext->cSubFiles == 1 ? Seconds(Sub(0)->fileTime) : -1;
    }
};

const int64_t tMay3rd2009 = 1241308800;   // 2009-05-03 00:00:00 GMT

} // namespace

TEST(NoteDateCalendar, JulianDaysAndTheirLimits)
{
    int32_t y = 0, m = 0, d = 0;
    EXPECT_EQ(nsfJulianDay(2451545, &y, &m, &d), 1);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000101);
    EXPECT_EQ(nsfJulianDay(2378862, &y, &m, &d), 1);
    EXPECT_EQ(y * 10000 + m * 100 + d, 18010101);
    EXPECT_EQ(nsfJulianDay(2488069, &y, &m, &d), 1);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20991231);
    EXPECT_EQ(nsfJulianDay(2451604, &y, &m, &d), 1);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000229);
    y = m = d = -7;
    EXPECT_EQ(nsfJulianDay(2378861, &y, &m, &d), 0);
    EXPECT_EQ(nsfJulianDay(2488070, &y, &m, &d), 0);
    EXPECT_EQ(nsfJulianDay(0, &y, &m, &d), 0);
    EXPECT_EQ(nsfJulianDay(0xFFFFFF, &y, &m, &d), 0);
    EXPECT_EQ(nsfJulianDay(-5, &y, &m, &d), 0);
    EXPECT_EQ(nsfJulianDay(0x7FFFFFFF, &y, &m, &d), 0);
    EXPECT_EQ(y + m + d, -21);   // nothing filled on failure
}

TEST_F(NoteDateTest, TimeDateGivesGreenwichSecondsWhateverTheZoneBits)
{
    NsfContext *p = BareContext();
    host.zapi()->fpTimeToFileTime = StoreSeconds;
    uint8_t rgb[8] = {};
    TIMEDATE td{{4320000, 2451545}};
    EXPECT_EQ(nsfGetDateTime(p, &td, rgb), 1);
    EXPECT_EQ(Seconds(rgb), 946728000);
    TIMEDATE tdZone{{4320000 + 99, 2451545u | 0xC5000000u}};
    EXPECT_EQ(nsfGetDateTime(p, &tdZone, rgb), 1);
    EXPECT_EQ(Seconds(rgb), 946728000);
    TIMEDATE tdLate{{8639999, 2451545}};
    EXPECT_EQ(nsfGetDateTime(p, &tdLate, rgb), 1);
    EXPECT_EQ(Seconds(rgb), 946684800 + 86399);
    // 24:00:00 is not a valid hour.
    TIMEDATE tdBad{{8640000, 2451545}};
    memset(rgb, 0x5A, sizeof rgb);
    EXPECT_EQ(nsfGetDateTime(p, &tdBad, rgb), 0);
    EXPECT_EQ(rgb[0], 0x5A);
    Close();
    auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfGetDateTime(): nYear 2000, nMonth 1, nDay 1, nHour 12, nMin 0, nSec 0"));
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfGetDateTime(): bDST 1, bEastGMT 1, nZoneHours 5, nZone15min 0"));
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfGetDateTime(): lJulianDay 0x256859 2451545, lSeconds 0x41eb00 4320000"));
    EXPECT_TRUE(HasLine(lines, "[0/0] ERROR nsfGetFileTime(): Invalid date/time: 01/01/2000 24:00:00"));
    EXPECT_TRUE(HasLine(lines, "[0/0] WARNING nsfGetDateTime(): nsfGetFileTime() failed"));
}

TEST_F(NoteDateTest, CalendarFieldsAreCheckedAndDaysRollOver)
{
    NsfContext *p = BareContext();
    uint8_t rgb[8] = {};
    EXPECT_EQ(nsfGetFileTime(p, 1899, 12, 31, 0, 0, 0, rgb), 0);
    EXPECT_EQ(nsfGetFileTime(p, 2009, 13, 1, 0, 0, 0, rgb), 0);
    EXPECT_EQ(nsfGetFileTime(p, 2009, 0, 1, 0, 0, 0, rgb), 0);
    EXPECT_EQ(nsfGetFileTime(p, 2009, 1, 0, 0, 0, 0, rgb), 0);
    EXPECT_EQ(nsfGetFileTime(p, 2009, 1, 32, 0, 0, 0, rgb), 0);
    EXPECT_EQ(nsfGetFileTime(p, 2009, 1, 1, 0, 60, 0, rgb), 0);
    EXPECT_EQ(nsfGetFileTime(p, 2009, 1, 1, 0, 0, -1, rgb), 0);
    EXPECT_EQ(Seconds(rgb), 0);
    EXPECT_EQ(nsfGetFileTime(p, 2009, 2, 31, 0, 0, 0, rgb), 1);   // the third of March
    EXPECT_EQ(Seconds(rgb), 1236038400);
    EXPECT_EQ(nsfGetFileTime(p, 1900, 1, 1, 0, 0, 0, rgb), 1);
    EXPECT_EQ(Seconds(rgb), -2208988800LL);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfGetFileTime(): Invalid date/time: 12/31/1899 00:00:00"));
    EXPECT_TRUE(Logged("DIAG nsfGetFileTime(): 02/31/2009 00:00:00"));
}

TEST_F(NoteDateTest, TimeZoneVariableIsLeftAsItWas)
{
    NsfContext *p = BareContext();
    uint8_t rgb[8] = {};
    {
        EnvVar tz("TZ", "America/New_York");
        EXPECT_EQ(nsfGetFileTime(p, 2009, 5, 3, 0, 0, 0, rgb), 1);
        EXPECT_EQ(Seconds(rgb), tMay3rd2009);
        EXPECT_STREQ(getenv("TZ"), "America/New_York");
    }
    EnvVar noTz("TZ", nullptr);
    EXPECT_EQ(nsfGetFileTime(p, 2009, 5, 3, 0, 0, 0, rgb), 1);
    EXPECT_EQ(getenv("TZ"), nullptr);
}

TEST_F(NoteDateTest, PostedDateTextWithAmPm)
{
    EXPECT_EQ(NoteTime({{"PostedDate", "05/03/2009 01:15:00 PM"}}), tMay3rd2009 + 13 * 3600 + 15 * 60);
    Close();
    builder = nsf::MemoryDatabaseBuilder();
    EXPECT_EQ(NoteTime({{"PostedDate", "05/03/2009 12:15:00 PM"}}), tMay3rd2009 + 12 * 3600 + 15 * 60);
    Close();
    builder = nsf::MemoryDatabaseBuilder();
    EXPECT_EQ(NoteTime({{"PostedDate", "05/03/2009 13:15:00"}}), tMay3rd2009 + 13 * 3600 + 15 * 60);
    Close();
    builder = nsf::MemoryDatabaseBuilder();
    EXPECT_EQ(NoteTime({{"PostedDate", "05/03/2009 09:15:07 AM"}}), tMay3rd2009 + 9 * 3600 + 15 * 60 + 7);
    Close();
    EXPECT_TRUE(Logged("DIAG nsfGetNoteFileTime(): Note sent time 05/03/2009 01:15:00 PM"));
}

TEST_F(NoteDateTest, StoredTimesComeBackAsTheirGreenwichInstant)
{
    // A date item goes through the runtime's text form and back: every hour of the clock, whatever
    // zone the writer recorded.
    const int64_t tDay = tMay3rd2009;
    const uint32_t dwJulianDay = 2454955;   // 2009-05-03
    for (uint32_t nHour : {0u, 1u, 11u, 12u, 13u, 23u}) {
        builder = nsf::MemoryDatabaseBuilder();
        const uint32_t dwTicks = (nHour * 3600 + 15 * 60 + 7) * 100 + 42;
        auto &note = builder.document();
        note.time("PostedDate", nsf::TimeDate{dwTicks, dwJulianDay | 0x85000000u}).text("Subject", "s");
        ASSERT_NE(Open(), nullptr);
        ASSERT_EQ(pContext->cSubFiles, 1);
        EXPECT_EQ(Seconds(Sub(0)->fileTime), tDay + nHour * 3600 + 15 * 60 + 7) << nHour;
        Close();
    }
    EXPECT_TRUE(Logged("DIAG nsfGetNoteFileTime(): Note sent time 05/03/2009 00:15:07 AM"));
    EXPECT_TRUE(Logged("DIAG nsfGetNoteFileTime(): Note sent time 05/03/2009 11:15:07 PM"));
}

TEST_F(NoteDateTest, PostedBeatsComposedAndComposedAloneIsUsed)
{
    EXPECT_EQ(NoteTime({{"ComposedDate", "05/03/2009 00:00:01"}, {"PostedDate", "05/03/2009 00:00:02"}}),
              tMay3rd2009 + 2);
    Close();
    builder = nsf::MemoryDatabaseBuilder();
    EXPECT_EQ(NoteTime({{"ComposedDate", "05/03/2009 00:00:01"}}), tMay3rd2009 + 1);
    Close();
    builder = nsf::MemoryDatabaseBuilder();
    EXPECT_EQ(NoteTime({}), 0);
    Close();
    EXPECT_TRUE(Logged("DIAG nsfGetNoteFileTime(): Note has no posted or composed time"));
}

TEST_F(NoteDateTest, UnreadableDatesLeaveTheTimeZeroAndKeepTheNote)
{
    EXPECT_EQ(NoteTime({{"PostedDate", "2009-05-03 13:15"}}), 0);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfGetNoteFileTime(): sscanf() failed"));
    EXPECT_TRUE(Logged("WARNING nsfGetNoteSubfile(): nsfGetNoteFileTime() failed"));
    builder = nsf::MemoryDatabaseBuilder();
    EXPECT_EQ(NoteTime({{"PostedDate", "12/31/1899 10:00:00"}}), 0);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfGetFileTime(): Invalid date/time: 12/31/1899 10:00:00"));
    EXPECT_TRUE(Logged("WARNING nsfGetNoteFileTime(): nsfGetFileTime() failed"));
    builder = nsf::MemoryDatabaseBuilder();
    EXPECT_EQ(NoteTime({{"PostedDate", ""}}), 0);
    Close();
    EXPECT_TRUE(Logged("WARNING nsfGetNoteFileTime(): nsfGetItemText() returned no text"));
}
