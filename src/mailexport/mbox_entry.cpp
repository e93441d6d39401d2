#include "mbox_entry.h"

#include <cstdio>
#include <cstring>

namespace nsfmail {

// mboxrd: every line that starts with any number of '>' and then "From " gets one more '>'.
std::string mboxQuoted(const char* data, std::size_t size) {
    std::string out;
    out.reserve(size + size / 64);
    std::size_t line = 0;
    while (line < size) {
        const char* end = static_cast<const char*>(std::memchr(data + line, '\n', size - line));
        const std::size_t next = end ? static_cast<std::size_t>(end - data) + 1 : size;
        std::size_t k = line;
        while (k < next && data[k] == '>')
            ++k;
        if (next - k >= 5 && std::memcmp(data + k, "From ", 5) == 0)
            out.push_back('>');
        out.append(data + line, next - line);
        line = next;
    }
    if (!out.empty() && out.back() != '\n')
        out.push_back('\n');
    return out;
}

std::string mboxFromLine(GMimeMessage* message) {
    std::string sender = "MAILER-DAEMON";
    InternetAddressList* from = g_mime_message_get_from(message);
    if (internet_address_list_length(from) > 0) {
        InternetAddress* first = internet_address_list_get_address(from, 0);
        if (INTERNET_ADDRESS_IS_MAILBOX(first))
            if (const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(first)); addr && *addr)
                sender = addr;
    }
    for (char& c : sender)
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            c = '_';
    std::string date = "Thu Jan  1 00:00:00 1970";
    if (GDateTime* when = g_mime_message_get_date(message)) {
        // asctime's form in English whatever the locale (GLib's own formats follow the locale).
        static constexpr const char* kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
        static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        GDateTime* utc = g_date_time_to_utc(when);
        char text[64];
        std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDays[(g_date_time_get_day_of_week(utc) + 6) % 7],
                      kMonths[(g_date_time_get_month(utc) + 11) % 12], g_date_time_get_day_of_month(utc),
                      g_date_time_get_hour(utc), g_date_time_get_minute(utc), g_date_time_get_second(utc),
                      g_date_time_get_year(utc));
        date = text;
        g_date_time_unref(utc);
    }
    return "From " + sender + " " + date + "\n";
}

}  // namespace nsfmail
