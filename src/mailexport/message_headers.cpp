#include "message_headers.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace nsfmail {
namespace {

constexpr std::int64_t kJulianDayUnixEpoch = 2'440'588;
constexpr std::uint32_t kNoDate = 0xFFFFFFFF;

// The internet addresses of a field, where the note keeps them beside the Notes names: a value
// without "@" (Notes writes "." for "same as the Notes field") does not count.
std::vector<std::string> internetOr(const NoteReader& note, const char* internet, const char* notes) {
    std::vector<std::string> inet = note.texts(internet);
    bool usable = !inet.empty();
    for (const std::string& entry : inet)
        usable = usable && entry.find('@') != std::string::npos;
    return usable ? inet : note.texts(notes);
}

std::string component(std::string_view notesName, std::string_view key) {
    std::size_t at = 0;
    while (at <= notesName.size()) {
        std::size_t end = notesName.find('/', at);
        if (end == std::string_view::npos)
            end = notesName.size();
        const std::string_view part = notesName.substr(at, end - at);
        if (part.size() > key.size() && part[key.size()] == '=' &&
            g_ascii_strncasecmp(part.data(), key.data(), key.size()) == 0)
            return std::string(part.substr(key.size() + 1));
        at = end + 1;
    }
    return {};
}

// Letters, digits and the few marks that need no quoting; anything else becomes sep.
std::string atom(std::string_view text, char sep) {
    std::string out;
    for (const char c : text) {
        const bool keep = std::isalnum(static_cast<unsigned char>(c)) != 0 && static_cast<unsigned char>(c) < 0x80;
        if (keep || c == '-' || c == '_')
            out.push_back(c);
        else if (!out.empty() && out.back() != sep)
            out.push_back(sep);
    }
    while (!out.empty() && out.back() == sep)
        out.pop_back();
    return out;
}

void setTextHeader(GMimeMessage* message, const char* name, const std::string& value) {
    if (!value.empty())
        g_mime_object_set_header(GMIME_OBJECT(message), name, value.c_str(), "utf-8");
}

}  // namespace

std::string commonName(std::string_view notesName) {
    if (std::string cn = component(notesName, "CN"); !cn.empty())
        return cn;
    // Abbreviated "Jane Doe/Acme": the first level.
    return std::string(notesName.substr(0, notesName.find('/')));
}

void addAddresses(InternetAddressList* list, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        if (entry.empty() || entry == ".")
            continue;
        if (entry.find('@') != std::string::npos) {
            if (InternetAddressList* parsed = internet_address_list_parse(nullptr, entry.c_str())) {
                internet_address_list_append(list, parsed);
                g_object_unref(parsed);
                continue;
            }
        }
        const std::string name = commonName(entry);
        std::string local = atom(name, '.');
        std::string domain = atom(component(entry, "O"), '-');
        if (local.empty())
            local = "unknown";
        domain = domain.empty() ? std::string("notes.invalid") : domain + ".invalid";
        InternetAddress* mailbox = internet_address_mailbox_new(name.c_str(), (local + "@" + domain).c_str());
        internet_address_set_charset(mailbox, "utf-8");
        internet_address_list_add(list, mailbox);
        g_object_unref(mailbox);
    }
}

GDateTime* toDateTime(const TIMEDATE& td) {
    const std::uint32_t day = td.Innards[1] & 0x00FFFFFF;
    if (td.Innards[1] == kNoDate || day < kJulianDayUnixEpoch)
        return nullptr;
    const std::uint32_t ticks = td.Innards[0] == kNoDate ? 0 : td.Innards[0];
    const gint64 seconds = (static_cast<gint64>(day) - kJulianDayUnixEpoch) * 86400 + ticks / 100;
    GDateTime* utc = g_date_time_new_from_unix_utc(seconds);
    if (utc == nullptr)
        return nullptr;
    // The writer's zone: whole hours, quarter hours, and whether it lies east of Greenwich.
    const std::uint32_t zone = td.Innards[1] >> 24;
    const int minutes = static_cast<int>(zone & 0x0F) * 60 + static_cast<int>((zone >> 4) & 0x03) * 15;
    const int offset = (zone & 0x40) != 0 ? minutes : -minutes;
    GTimeZone* tz = g_time_zone_new_offset(offset * 60);
    GDateTime* local = g_date_time_to_timezone(utc, tz);
    g_time_zone_unref(tz);
    g_date_time_unref(utc);
    return local;
}

std::string unidText(const OID& oid) {
    char text[33];
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X", oid.File.Innards[1], oid.File.Innards[0],
                  oid.Note.Innards[1], oid.Note.Innards[0]);
    return text;
}

GDateTime* messageDate(const NoteReader& note) {
    for (const char* name : {"PostedDate", "ComposedDate"})
        if (const auto td = note.time(name))
            if (GDateTime* date = toDateTime(*td))
                return date;
    return toDateTime(note.oid().Note);
}

void setMessageHeaders(GMimeMessage* message, const NoteReader& note) {
    const std::vector<std::string> from = [&] {
        for (const char* name : {"InetFrom", "SMTPOriginator"}) {
            std::vector<std::string> value = note.texts(name);
            if (!value.empty() && value.front().find('@') != std::string::npos)
                return value;
        }
        return note.texts("From");
    }();
    addAddresses(g_mime_message_get_from(message), from);
    addAddresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_TO), internetOr(note, "INetSendTo", "SendTo"));
    addAddresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_CC), internetOr(note, "INetCopyTo", "CopyTo"));
    addAddresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_BCC),
                 internetOr(note, "INetBlindCopyTo", "BlindCopyTo"));
    const std::string subject = note.text("Subject");
    g_mime_message_set_subject(message, subject.c_str(), "utf-8");
    if (GDateTime* date = messageDate(note)) {
        g_mime_message_set_date(message, date);
        g_date_time_unref(date);
    }
    const std::string unid = unidText(note.oid());
    std::string messageId = note.text("$MessageID");
    if (messageId.size() > 2 && messageId.front() == '<' && messageId.back() == '>')
        messageId = messageId.substr(1, messageId.size() - 2);
    // Only a well-formed ID is taken: the value comes from the database and is not trusted.
    const bool wellFormed = messageId.find('@') != std::string::npos &&
                            std::ranges::all_of(messageId, [](char c) { return c > ' ' && c < 127 && c != '<' && c != '>'; });
    if (!wellFormed)
        messageId = unid + "@notes.invalid";
    g_mime_message_set_message_id(message, messageId.c_str());
    for (const auto& [header, items] : {std::pair{"In-Reply-To", std::pair{"In_Reply_To", "$InReplyTo"}},
                                        std::pair{"References", std::pair{"References", "$References"}}}) {
        std::string value = note.text(items.first);
        if (value.empty())
            value = note.text(items.second);
        setTextHeader(message, header, value);
    }
    setTextHeader(message, "X-Notes-UNID", unid);
}

}  // namespace nsfmail
