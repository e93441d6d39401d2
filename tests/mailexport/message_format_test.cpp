// The pieces of a message that the samples do not pin: dates in the zone they were written in, the
// display names and addresses made from Notes names, and mboxrd quoting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mbox_entry.h"
#include "message_headers.h"

namespace {

class MessageFormat : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_mime_init(); }
};

// A TIMEDATE: 1/100 s since midnight UTC, and the zone byte over the Julian day.
TIMEDATE timeDate(std::uint32_t julianDay, std::uint32_t ticks, std::uint32_t zoneByte) {
    TIMEDATE td{};
    td.Innards[0] = ticks;
    td.Innards[1] = (zoneByte << 24) | julianDay;
    return td;
}

TEST_F(MessageFormat, DatesKeepTheWritersZone) {
    constexpr std::uint32_t kDay = 2453959;  // 2006-08-11
    struct Row {
        const char* rule;
        TIMEDATE td;
        const char* want;  // RFC 5322 form; empty: no date
    };
    const Row rows[] = {
        {"east of Greenwich, whole hours", timeDate(kDay, 3600 * 100 * 9 + 757 * 100, 0x48), "Fri, 11 Aug 2006 17:12:37 +0800"},
        {"west of Greenwich, DST rules", timeDate(kDay, 3600 * 100 * 3, 0x85), "Thu, 10 Aug 2006 22:00:00 -0500"},
        {"quarter hours east", timeDate(kDay, 0, 0x75), "Fri, 11 Aug 2006 05:45:00 +0545"},
        {"Greenwich", timeDate(kDay, 100, 0), "Fri, 11 Aug 2006 00:00:01 +0000"},
        {"a date without a time of day", timeDate(kDay, 0xFFFFFFFF, 0), "Fri, 11 Aug 2006 00:00:00 +0000"},
        {"no date", TIMEDATE{{0xFFFFFFFF, 0xFFFFFFFF}}, ""},
    };
    for (const Row& row : rows) {
        GDateTime* date = nsfmail::toDateTime(row.td);
        std::string got;
        if (date != nullptr) {
            GMimeMessage* message = g_mime_message_new(TRUE);
            g_mime_message_set_date(message, date);
            got = g_mime_object_get_header(GMIME_OBJECT(message), "Date");
            g_object_unref(message);
            g_date_time_unref(date);
        }
        EXPECT_EQ(got, row.want) << row.rule;
    }
}

TEST_F(MessageFormat, AddressesFromNotesNamesAndInternetAddresses) {
    struct Row {
        const char* rule;
        std::vector<std::string> entries;
        const char* want;
    };
    const Row rows[] = {
        {"a canonical name shows its common name", {"CN=Jane Doe/OU=Sales/O=Acme"}, "Jane Doe <Jane.Doe@Acme.invalid>"},
        {"an internet address stays", {"Chloé Martin <chloe.martin@example.org>"},
         "=?iso-8859-1?b?Q2hsb+k=?= Martin <chloe.martin@example.org>"},
        {"a flat name", {"admin"}, "admin <admin@notes.invalid>"},
        {"Notes' placeholder and empty entries are left out", {".", "", "bob@example.org"}, "bob@example.org"},
        {"non-ASCII names keep their letters in the display name only", {"CN=Jürgen Weiß/O=Bäckerei"},
         "=?UTF-8?b?SsO8cmdlbiBXZWnDnw==?= <J.rgen.Wei@B-ckerei.invalid>"},
    };
    for (const Row& row : rows) {
        InternetAddressList* list = internet_address_list_new();
        nsfmail::addAddresses(list, row.entries);
        char* text = internet_address_list_to_string(list, nullptr, TRUE);
        EXPECT_STREQ(text ? text : "", row.want) << row.rule;
        g_free(text);
        g_object_unref(list);
    }
}

TEST_F(MessageFormat, MboxrdQuotesFromLinesAtAnyDepth) {
    struct Row {
        const char* rule;
        std::string in;
        std::string want;
    };
    const Row rows[] = {
        {"a From line", "From here\n", ">From here\n"},
        {"already quoted ones get one more", ">>From here\n", ">>>From here\n"},
        {"only at a line start", "Mail From me\nFromage\n", "Mail From me\nFromage\n"},
        {"the last line gets its line end", "a\nFrom b", "a\n>From b\n"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(nsfmail::mboxQuoted(row.in.data(), row.in.size()), row.want) << row.rule;
}

}  // namespace
