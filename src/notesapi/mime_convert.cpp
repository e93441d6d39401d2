// MIME parts to rich text. The conversion keeps the message's text: the first plain-text part (or,
// failing that, the first HTML part with its markup removed), decoded from its transfer encoding
// and character set, becomes one paragraph per line. Layout, images and attachments are not
// carried over (attachments stay available as $FILE items).
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/ucnv.h>

#include "api_guard.h"
#include "note_access.h"
#include "notesapi/mime.h"
#include "notesapi/nsfdata.h"
#include "notesapi/status.h"
#include "nsf/lmbcs.h"

namespace notesrt {
namespace {

struct Part {
    std::uint8_t type = 0;  // 1 prolog, 2 body, 3 epilog, ...
    std::string headers;
    std::string body;
};

struct ContentInfo {
    std::string type = "text/plain";  // lower case
    std::string charset = "us-ascii";
    std::string encoding;             // lower case
    bool attachment = false;
};

std::string lower(std::string_view s) {
    std::string out(s);
    std::ranges::transform(out, out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::optional<Part> parsePart(const std::vector<std::uint8_t>& block) {
    // Type word, MIME_PART header (20 bytes on disk), boundary, headers, body.
    if (block.size() < 2 + 20)
        return std::nullopt;
    const std::uint8_t* p = block.data() + 2;
    const std::size_t boundary = p[10] | (p[11] << 8);
    const std::size_t headers = p[12] | (p[13] << 8);
    const std::size_t rest = block.size() - 22;
    if (boundary > rest || headers > rest - boundary)
        return std::nullopt;
    const char* data = reinterpret_cast<const char*>(p + 20);
    return Part{p[6], std::string(data + boundary, headers),
                std::string(data + boundary + headers, rest - boundary - headers)};
}

// The value of a parameter ("charset") in a header value, without quotes.
std::string parameter(std::string_view value, std::string_view name) {
    const std::string low = lower(value);
    const std::size_t at = low.find(std::string(name) + "=");
    if (at == std::string::npos)
        return {};
    std::string_view v = value.substr(at + name.size() + 1);
    if (!v.empty() && v.front() == '"') {
        v.remove_prefix(1);
        return std::string(v.substr(0, v.find('"')));
    }
    return std::string(trim(v.substr(0, v.find_first_of("; \t\r\n"))));
}

ContentInfo contentInfo(std::string_view headers) {
    ContentInfo info;
    // Unfold continuation lines first.
    std::string unfolded;
    for (std::size_t i = 0; i < headers.size(); ++i) {
        if (headers[i] == '\r')
            continue;
        if (headers[i] == '\n' && i + 1 < headers.size() && (headers[i + 1] == ' ' || headers[i + 1] == '\t'))
            continue;
        unfolded.push_back(headers[i]);
    }
    std::string_view rest = unfolded;
    while (!rest.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest = line.size() < rest.size() ? rest.substr(line.size() + 1) : std::string_view{};
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string name = lower(trim(line.substr(0, colon)));
        const std::string_view value = trim(line.substr(colon + 1));
        if (name == "content-type") {
            info.type = lower(trim(value.substr(0, value.find(';'))));
            if (const std::string cs = parameter(value, "charset"); !cs.empty())
                info.charset = cs;
        } else if (name == "content-transfer-encoding") {
            info.encoding = lower(value);
        } else if (name == "content-disposition") {
            info.attachment = lower(value).starts_with("attachment");
        }
    }
    return info;
}

std::string decodeBase64(std::string_view in) {
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : in) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else continue;  // line breaks, padding, noise
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

std::string decodeQuotedPrintable(std::string_view in) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '=') {
            out.push_back(in[i]);
            continue;
        }
        if (i + 1 < in.size() && (in[i + 1] == '\n' || in[i + 1] == '\r')) {  // soft line break
            i += (in[i + 1] == '\r' && i + 2 < in.size() && in[i + 2] == '\n') ? 2 : 1;
            continue;
        }
        if (i + 2 < in.size() && hex(in[i + 1]) >= 0 && hex(in[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex(in[i + 1]) * 16 + hex(in[i + 2])));
            i += 2;
            continue;
        }
        out.push_back('=');
    }
    return out;
}

std::string toUtf8(const std::string& bytes, const std::string& charset) {
    const std::string cs = lower(charset);
    if (cs == "utf-8" || cs == "utf8" || cs == "us-ascii" || cs.empty())
        return bytes;
    std::string out(bytes.size() * 4 + 4, '\0');
    UErrorCode err = U_ZERO_ERROR;
    const int32_t n = ucnv_convert("UTF-8", charset.c_str(), out.data(), static_cast<int32_t>(out.size()),
                                   bytes.data(), static_cast<int32_t>(bytes.size()), &err);
    if (U_FAILURE(err)) {
        err = U_ZERO_ERROR;  // unknown character set: read it as Latin-1
        const int32_t m = ucnv_convert("UTF-8", "ISO-8859-1", out.data(), static_cast<int32_t>(out.size()),
                                       bytes.data(), static_cast<int32_t>(bytes.size()), &err);
        out.resize(U_SUCCESS(err) ? static_cast<std::size_t>(m) : 0);
        return out;
    }
    out.resize(static_cast<std::size_t>(n));
    return out;
}

// Markup removed; line-breaking elements become line breaks; the common entities decoded.
std::string htmlToText(std::string_view html) {
    std::string out;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '<') {
            const std::size_t end = html.find('>', i);
            const std::string tag = lower(html.substr(i + 1, std::min<std::size_t>(end, html.size()) - i - 1));
            if (tag.starts_with("br") || tag.starts_with("/p") || tag.starts_with("/div") || tag.starts_with("/tr") ||
                tag.starts_with("/h"))
                out.push_back('\n');
            if (tag.starts_with("style") || tag.starts_with("script")) {
                const std::size_t close = lower(html).find("</" + tag.substr(0, tag.starts_with("style") ? 5 : 6), i);
                i = close == std::string::npos ? html.size() : html.find('>', close);
                if (i == std::string::npos)
                    break;
                continue;
            }
            if (end == std::string_view::npos)
                break;
            i = end;
            continue;
        }
        if (html[i] == '\r' || html[i] == '\n') {
            out.push_back(' ');
            continue;
        }
        if (html[i] == '&') {
            static constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
                {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", " "}, {"&#39;", "'"}};
            const auto it = std::ranges::find_if(kEntities, [&](const auto& e) { return html.substr(i).starts_with(e.first); });
            if (it != std::end(kEntities)) {
                out += it->second;
                i += it->first.size() - 1;
                continue;
            }
        }
        out.push_back(html[i]);
    }
    return out;
}

void putWord(std::vector<std::uint8_t>& out, std::size_t w) {
    out.push_back(static_cast<std::uint8_t>(w & 0xFF));
    out.push_back(static_cast<std::uint8_t>((w >> 8) & 0xFF));
}

// One paragraph per line: CDPARAGRAPH, then CDTEXT runs in the default body font.
std::vector<std::vector<std::uint8_t>> textToComposite(std::string_view utf8) {
    constexpr std::size_t kItemLimit = 40000;  // rich-text items stay well below 64 KB
    constexpr std::size_t kRunLimit = 8000;    // UTF-8 bytes per text run
    std::vector<std::vector<std::uint8_t>> items(1);
    auto append = [&](const std::vector<std::uint8_t>& record) {
        if (items.back().size() + record.size() > kItemLimit)
            items.emplace_back();
        items.back().insert(items.back().end(), record.begin(), record.end());
    };
    std::size_t start = 0;
    while (start <= utf8.size()) {
        const std::size_t nl = utf8.find('\n', start);
        std::string_view line = utf8.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        append({0x81, 0x02});  // CDPARAGRAPH
        while (!line.empty()) {
            std::size_t take = std::min(line.size(), kRunLimit);
            while (take < line.size() && take > 0 && (static_cast<unsigned char>(line[take]) & 0xC0) == 0x80)
                --take;  // keep characters whole
            const std::vector<std::uint8_t> text = nsf::utf8ToLmbcs(line.substr(0, take));
            std::vector<std::uint8_t> record = {0x85, 0xFF};
            putWord(record, 8 + text.size());
            record.insert(record.end(), {0x01, 0x00, 0x00, 0x0A});  // Swiss, plain, black, 10 pt
            record.insert(record.end(), text.begin(), text.end());
            if (record.size() % 2 != 0)
                record.push_back(0);
            append(record);
            line.remove_prefix(take);
        }
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
    return items;
}

std::string messageText(const std::vector<Part>& parts) {
    const Part* plain = nullptr;
    const Part* html = nullptr;
    ContentInfo plainInfo, htmlInfo;
    for (const Part& part : parts) {
        if (part.headers.empty())
            continue;
        const ContentInfo info = contentInfo(part.headers);
        if (info.attachment)
            continue;
        if (info.type == "text/plain" && plain == nullptr) {
            plain = &part;
            plainInfo = info;
        } else if (info.type == "text/html" && html == nullptr) {
            html = &part;
            htmlInfo = info;
        }
    }
    const Part* chosen = plain ? plain : html;
    if (chosen == nullptr)
        return {};
    const ContentInfo& info = plain ? plainInfo : htmlInfo;
    std::string bytes = chosen->body;
    if (info.encoding == "base64")
        bytes = decodeBase64(bytes);
    else if (info.encoding == "quoted-printable")
        bytes = decodeQuotedPrintable(bytes);
    const std::string utf8 = toUtf8(bytes, info.charset);
    return plain ? utf8 : htmlToText(utf8);
}

}  // namespace
}  // namespace notesrt

using namespace notesrt;

extern "C" STATUS MIMEConvertMIMEPartCC(NOTEHANDLE hNote, const char* pItemName, WORD wItemNameLen, CCHANDLE /*hCC*/) {
    return guardStatus("MIMEConvertMIMEPartCC", [&]() -> STATUS {
        if (pItemName == nullptr)
            return ERR_MISC_INVALID_ARGS;
        const auto note = findNote(hNote);
        if (!note)
            return ERR_RUNTIME_BAD_HANDLE;
        std::vector<std::size_t> indices;
        std::vector<Part> parts;
        for (auto index = findItem(*note, pItemName, wItemNameLen, 0); index;
             index = findItem(*note, pItemName, wItemNameLen, *index + 1)) {
            const NoteItem& item = note->items()[*index];
            if (item.type != TYPE_MIME_PART)
                continue;
            indices.push_back(*index);
            auto part = parsePart(*item.block);
            if (!part)
                continue;
            // A body too long for one item goes on in further items with neither boundary nor
            // headers of their own.
            constexpr std::uint8_t kBody = 2;
            if (part->type == kBody && part->headers.empty() && !parts.empty() && parts.back().type == kBody)
                parts.back().body += part->body;
            else
                parts.push_back(std::move(*part));
        }
        if (indices.empty())
            return findItem(*note, pItemName, wItemNameLen, 0) ? ERR_MISC_INVALID_ARGS : ERR_ITEM_NOT_FOUND;

        const NoteItem& first = note->items()[indices.front()];
        std::vector<NoteItem> replacements;
        for (auto& records : textToComposite(messageText(parts))) {
            NoteItem item;
            item.nameUtf8 = first.nameUtf8;
            item.nameLmbcs = first.nameLmbcs;
            item.type = TYPE_COMPOSITE;
            item.flags = first.flags & ITEM_SIGN;
            // Sized once and filled in place: appending to a 2-byte vector trips a false
            // -Warray-bounds in GCC 12 at -O2.
            auto block = std::make_shared<std::vector<std::uint8_t>>(records.size() + 2);
            (*block)[0] = static_cast<std::uint8_t>(TYPE_COMPOSITE & 0xFF);
            (*block)[1] = static_cast<std::uint8_t>(TYPE_COMPOSITE >> 8);
            std::copy(records.begin(), records.end(), block->begin() + 2);
            item.block = std::move(block);
            replacements.push_back(std::move(item));
        }
        return note->replaceItems(indices, std::move(replacements)) ? NOERROR : ERR_RUNTIME_NO_MEMORY;
    });
}
