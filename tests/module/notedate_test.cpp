// Note times: Greenwich seconds from stored times whatever their zone bits, the posted or composed
// date, and dates that cannot be read.
#include <stdlib.h>

#include <gtest/gtest.h>

#include "catalogue/notedate.h"
#include "module/catalogue_db.h"

using namespace nsfrex_test;

namespace {

struct NoteDateTest : ModuleDbTest {
    /* Opens a fresh database with one mail note carrying the given items and returns its file time. */
    int64_t NoteTime(const std::vector<std::pair<std::string, std::string>> &items)
    {
        Close();
        builder = nsf::MemoryDatabaseBuilder();
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

TEST_F(NoteDateTest, PostedBeatsComposedAndComposedAloneIsUsed)
{
    EXPECT_EQ(NoteTime({{"ComposedDate", "05/03/2009 00:00:01"}, {"PostedDate", "05/03/2009 00:00:02"}}),
              tMay3rd2009 + 2);
    EXPECT_EQ(NoteTime({{"ComposedDate", "05/03/2009 00:00:01"}}), tMay3rd2009 + 1);
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
    EXPECT_EQ(NoteTime({{"PostedDate", "12/31/1899 10:00:00"}}), 0);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfGetFileTime(): Invalid date/time: 12/31/1899 10:00:00"));
    EXPECT_TRUE(Logged("WARNING nsfGetNoteFileTime(): nsfGetFileTime() failed"));
    EXPECT_EQ(NoteTime({{"PostedDate", ""}}), 0);
    Close();
    EXPECT_TRUE(Logged("WARNING nsfGetNoteFileTime(): nsfGetItemText() returned no text"));
}
