#include "mail.h"

#include "nsf/huffman.h"
#include "nsf/timedate.h"

namespace samplegen {

std::int64_t unixSeconds(int year, int month, int day, int hour, int minute) {
    const std::int64_t days = nsf::julianDayFromCivil(nsf::CivilDate{year, static_cast<unsigned>(month), static_cast<unsigned>(day)}) - 2440588;
    return days * 86400 + hour * 3600 + minute * 60;
}

nsf::TimeDate timeAt(std::int64_t seconds) {
    auto t = nsf::fromUnixSeconds(seconds);
    return t ? *t : nsf::TimeDate{};
}

void stampNote(nsf::NoteBuilder& note, std::int64_t seconds) {
    const nsf::TimeDate t = timeAt(seconds);
    // The UNID: a fixed database part and the creation time, made unique by the note ID.
    note.unid({0x4E534652u, note.id()}, t).sequence(1, t).modified(t).added(t).accessed(t);
}

nsf::NoteBuilder& addMail(nsf::MemoryDatabaseBuilder& db, const MailHeader& h) {
    constexpr std::uint16_t kNames = nsf::kItemSummary | nsf::kItemNames;
    nsf::NoteBuilder& n = db.document();
    stampNote(n, h.postedUnixSeconds);
    n.text("Form", h.form)
        .text("From", h.from, kNames)
        .text("Principal", h.from, kNames)
        .textList("SendTo", h.sendTo, kNames)
        .textList("CopyTo", h.copyTo, kNames)
        .text("Subject", h.subject)
        .time("ComposedDate", timeAt(h.postedUnixSeconds - 300))
        .time("PostedDate", timeAt(h.postedUnixSeconds))
        .time("DeliveredDate", timeAt(h.postedUnixSeconds + 45));
    return n;
}

void attach(nsf::NoteBuilder& note, std::string_view fileName, std::span<const std::uint8_t> bytes,
            std::int64_t modifiedUnixSeconds, nsf::Compression compression) {
    nsf::FileObjectSpec desc;
    desc.fileName = std::string(fileName);
    desc.compression = compression;
    desc.fileSize = static_cast<std::uint32_t>(bytes.size());
    desc.created = timeAt(modifiedUnixSeconds - 3600);
    desc.modified = timeAt(modifiedUnixSeconds);
    const std::vector<std::uint8_t> stored = compression == nsf::Compression::Huffman
                                                 ? nsf::huffmanEncode(bytes)
                                                 : std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    note.attachStored(desc, stored, nsf::kItemSign | nsf::kItemSeal | nsf::kItemSummary);
}

std::string base64(std::span<const std::uint8_t> data) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::uint32_t v = std::uint32_t{data[i]} << 16 | (i + 1 < data.size() ? std::uint32_t{data[i + 1]} << 8 : 0) |
                                (i + 2 < data.size() ? data[i + 2] : 0);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < data.size() ? kDigits[(v >> 6) & 63] : '=';
        out += i + 2 < data.size() ? kDigits[v & 63] : '=';
        if (out.size() % 78 == 76) out += "\r\n";
    }
    return out + "\r\n";
}

}  // namespace samplegen
