// Plain text as rich text records.
#include "composite_text.h"

#include <algorithm>

#include "nsf/lmbcs.h"

namespace notesrt {
namespace {

constexpr std::size_t kItemLimit = 40000;       // rich-text items stay well below 64 KB
constexpr std::size_t kRunLimit = 8000;         // UTF-8 bytes per CDTEXT run
constexpr std::size_t kParagraphLimit = 32000;  // UTF-8 bytes per paragraph (a paragraph is limited to 64 KB)
constexpr std::uint16_t kPabId = 1;
constexpr std::uint16_t kOneInch = 1440;  // twips

void putWord(std::vector<std::uint8_t>& out, std::size_t w) {
    out.push_back(static_cast<std::uint8_t>(w & 0xFF));
    out.push_back(static_cast<std::uint8_t>((w >> 8) & 0xFF));
}

// CDPABDEFINITION with the defaults of a mail body: left aligned, single spacing, one-inch margin.
std::vector<std::uint8_t> paragraphStyle() {
    std::vector<std::uint8_t> r;
    putWord(r, 0xFF82);
    putWord(r, 70);
    putWord(r, kPabId);
    putWord(r, 0);         // JustifyMode: left
    putWord(r, 0);         // LineSpacing: single
    putWord(r, 0);         // ParagraphSpacingBefore
    putWord(r, 0);         // ParagraphSpacingAfter
    putWord(r, kOneInch);  // LeftMargin
    putWord(r, 0);         // RightMargin: one inch from the paper edge
    putWord(r, kOneInch);  // FirstLineLeftMargin
    r.resize(70, 0);       // no tabs, no flags
    return r;
}

std::size_t utf8CharStart(std::string_view s, std::size_t at) {
    while (at > 0 && at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

class Writer {
public:
    Writer() { startItem(); }

    void paragraph(std::string_view line) {
        append({0x81, 0x02});  // CDPARAGRAPH
        append({0x83, 0x04, static_cast<std::uint8_t>(kPabId), 0x00});  // CDPABREFERENCE
        while (!line.empty()) {
            std::size_t take = std::min(line.size(), kRunLimit);
            if (take < line.size())
                take = std::max<std::size_t>(utf8CharStart(line, take), 1);
            text(line.substr(0, take));
            line.remove_prefix(take);
        }
    }
    std::vector<std::vector<std::uint8_t>> take() { return std::move(items_); }

private:
    void startItem() {
        items_.emplace_back();
        const auto style = paragraphStyle();
        items_.back().insert(items_.back().end(), style.begin(), style.end());
    }
    void append(const std::vector<std::uint8_t>& record) {
        if (items_.back().size() + record.size() > kItemLimit)
            startItem();
        items_.back().insert(items_.back().end(), record.begin(), record.end());
    }
    void text(std::string_view utf8) {
        const std::vector<std::uint8_t> lmbcs = nsf::utf8ToLmbcs(utf8);
        std::vector<std::uint8_t> record;
        record.reserve(lmbcs.size() + 9);
        putWord(record, 0xFF85);
        putWord(record, 8 + lmbcs.size());
        record.insert(record.end(), {0x01, 0x00, 0x00, 0x0A});  // FONTID: Swiss, plain, black, 10 pt
        record.insert(record.end(), lmbcs.begin(), lmbcs.end());
        if (record.size() % 2 != 0)
            record.push_back(0);  // records start on even offsets
        append(record);
    }

    std::vector<std::vector<std::uint8_t>> items_;
};

}  // namespace

std::vector<std::vector<std::uint8_t>> textToComposite(std::string_view utf8) {
    Writer writer;
    std::size_t start = 0;
    for (;;) {
        const std::size_t nl = utf8.find('\n', start);
        std::string_view line = utf8.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        do {
            std::size_t take = std::min(line.size(), kParagraphLimit);
            if (take < line.size())
                take = std::max<std::size_t>(utf8CharStart(line, take), 1);
            writer.paragraph(line.substr(0, take));
            line.remove_prefix(take);
        } while (!line.empty());
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
    return writer.take();
}

}  // namespace notesrt
