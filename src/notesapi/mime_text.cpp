// Transfer decoding, character sets and HTML to text for MIME part bodies. Every loop here moves
// forward through its input, so hostile bodies cost linear time.
#include "mime_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

namespace notesrt::mime {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    std::ranges::transform(out, out.begin(), [](char c) { return lowerAscii(c); });
    return out;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAlnum(char c) { return isAlpha(c) || (c >= '0' && c <= '9'); }

void appendUtf8(std::string& out, char32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    std::uint8_t bytes[U8_MAX_LENGTH];
    std::int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, static_cast<UChar32>(cp));
    out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

struct ConverterCloser {
    void operator()(UConverter* c) const noexcept { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

std::string convertWith(UConverter* converter, std::string_view bytes) {
    // Larger inputs are refused by the caller; int32 lengths are safe below that.
    UErrorCode err = U_ZERO_ERROR;
    const auto inLength = static_cast<int32_t>(bytes.size());
    const int32_t units = ucnv_toUChars(converter, nullptr, 0, bytes.data(), inLength, &err);
    if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err))
        return {};
    std::vector<UChar> utf16(static_cast<std::size_t>(units) + 1);
    err = U_ZERO_ERROR;
    ucnv_resetToUnicode(converter);
    ucnv_toUChars(converter, utf16.data(), static_cast<int32_t>(utf16.size()), bytes.data(), inLength, &err);
    if (U_FAILURE(err))
        return {};
    int32_t length = 0;
    err = U_ZERO_ERROR;
    u_strToUTF8WithSub(nullptr, 0, &length, utf16.data(), units, 0xFFFD, nullptr, &err);
    if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err))
        return {};
    std::string out(static_cast<std::size_t>(length), '\0');
    err = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), length, &length, utf16.data(), units, 0xFFFD, nullptr, &err);
    if (U_FAILURE(err))
        return {};
    // A NUL from the source would end text early further on; it is no character of a message.
    std::ranges::replace(out, '\0', ' ');
    return out;
}

// HTML's names for characters: the Latin-1 range by position, then the others in common use.
constexpr std::array<std::string_view, 96> kLatin1Entities = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

constexpr std::pair<std::string_view, char32_t> kOtherEntities[] = {
    {"amp", '&'},        {"lt", '<'},         {"gt", '>'},        {"quot", '"'},       {"apos", '\''},
    {"euro", 0x20AC},    {"trade", 0x2122},   {"hellip", 0x2026}, {"mdash", 0x2014},   {"ndash", 0x2013},
    {"lsquo", 0x2018},   {"rsquo", 0x2019},   {"sbquo", 0x201A},  {"ldquo", 0x201C},   {"rdquo", 0x201D},
    {"bdquo", 0x201E},   {"bull", 0x2022},    {"dagger", 0x2020}, {"Dagger", 0x2021},  {"permil", 0x2030},
    {"lsaquo", 0x2039},  {"rsaquo", 0x203A},  {"OElig", 0x152},   {"oelig", 0x153},    {"Scaron", 0x160},
    {"scaron", 0x161},   {"Yuml", 0x178},     {"fnof", 0x192},    {"circ", 0x2C6},     {"tilde", 0x2DC},
    {"ensp", 0x2002},    {"emsp", 0x2003},    {"thinsp", 0x2009}, {"zwnj", 0x200C},    {"zwj", 0x200D},
    {"lrm", 0x200E},     {"rlm", 0x200F}};

// Numeric references to 0x80..0x9F mean windows-1252 characters in practice (0 = unassigned there).
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

std::optional<char32_t> namedEntity(std::string_view name) {
    for (std::size_t i = 0; i < kLatin1Entities.size(); ++i)
        if (kLatin1Entities[i] == name)
            return static_cast<char32_t>(0xA0 + i);
    for (const auto& [entity, cp] : kOtherEntities)
        if (entity == name)
            return cp;
    return std::nullopt;
}

// Decodes the reference starting at html[at] == '&'. Returns the bytes consumed (0: not a reference).
std::size_t decodeEntity(std::string_view html, std::size_t at, char32_t& cp) {
    constexpr std::size_t kLongestName = 10;
    std::size_t i = at + 1;
    if (i < html.size() && html[i] == '#') {
        ++i;
        const bool hex = i < html.size() && (html[i] == 'x' || html[i] == 'X');
        if (hex)
            ++i;
        const std::size_t digitsStart = i;
        std::uint32_t value = 0;
        for (; i < html.size(); ++i) {
            const int d = hex ? hexDigit(html[i]) : (html[i] >= '0' && html[i] <= '9' ? html[i] - '0' : -1);
            if (d < 0)
                break;
            value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d), 0x110000);
        }
        if (i == digitsStart)
            return 0;
        if (i < html.size() && html[i] == ';')
            ++i;
        cp = value;
        if (value >= 0x80 && value <= 0x9F && kWindows1252High[value - 0x80] != 0)
            cp = kWindows1252High[value - 0x80];
        return i - at;
    }
    while (i < html.size() && i - at - 1 < kLongestName && isAlnum(html[i]))
        ++i;
    const std::string_view name = html.substr(at + 1, i - at - 1);
    const auto found = name.empty() ? std::nullopt : namedEntity(name);
    if (!found)
        return 0;
    const bool terminated = i < html.size() && html[i] == ';';
    // Without the semicolon only the oldest names are taken, as browsers do.
    if (!terminated && name != "amp" && name != "lt" && name != "gt" && name != "quot" && name != "nbsp")
        return 0;
    cp = *found;
    return i - at + (terminated ? 1 : 0);
}

bool isBlockElement(std::string_view tag) {
    static constexpr std::string_view kBlocks[] = {
        "p",     "div",   "li",     "tr",     "h1",      "h2",     "h3",      "h4",      "h5",     "h6",
        "pre",   "ul",    "ol",     "dl",     "dt",      "dd",     "table",   "hr",      "center", "address",
        "form",  "title", "section", "article", "header", "footer", "blockquote", "caption", "nav",  "fieldset"};
    return std::ranges::find(kBlocks, tag) != std::end(kBlocks);
}

// Lines under construction. Spaces and block ends are held back until more text follows, so
// that runs of white space and of block ends give one space or one line end, and none at the end.
class TextLines {
public:
    void character(char32_t cp) {
        flush();
        appendUtf8(out_, cp);
    }
    void bytes(std::string_view utf8) {
        flush();
        out_ += utf8;
    }
    void space() { pendingSpace_ = true; }
    void lineBreak() {
        pendingSpace_ = false;
        if (pendingBreak_ && !atLineStart())
            out_.push_back('\n');
        pendingBreak_ = false;
        out_.push_back('\n');
    }
    void blockBoundary() {
        pendingSpace_ = false;
        pendingBreak_ = true;
    }
    std::string take() { return std::move(out_); }

private:
    void flush() {
        if (pendingBreak_ && !atLineStart())
            out_.push_back('\n');
        else if (pendingSpace_ && !atLineStart())
            out_.push_back(' ');
        pendingBreak_ = pendingSpace_ = false;
    }
    bool atLineStart() const { return out_.empty() || out_.back() == '\n'; }
    std::string out_;
    bool pendingSpace_ = false;
    bool pendingBreak_ = false;
};

// Position just after the '>' that ends the tag opened at `at`, quotes respected; npos if none.
std::size_t tagEnd(std::string_view html, std::size_t at) {
    char quote = 0;
    for (std::size_t i = at + 1; i < html.size(); ++i) {
        const char c = html[i];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            // Only an attribute value opens a quote; a stray quote elsewhere is text of the tag.
            if (i > 0 && html[i - 1] == '=')
                quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// Position after the closing tag of `name` at or after `from`, case-insensitive; npos if none.
std::size_t skipElementContent(std::string_view html, std::size_t from, std::string_view name) {
    for (std::size_t at = html.find("</", from); at != std::string_view::npos; at = html.find("</", at + 2)) {
        const std::size_t after = at + 2 + name.size();
        if (after > html.size())
            return std::string_view::npos;
        bool same = true;
        for (std::size_t k = 0; k < name.size() && same; ++k)
            same = lowerAscii(html[at + 2 + k]) == name[k];
        if (same && (after == html.size() || !isAlnum(html[after]))) {
            const std::size_t end = tagEnd(html, at);
            return end == std::string_view::npos ? html.size() : end;
        }
    }
    return std::string_view::npos;
}

}  // namespace

std::string decodeBase64(std::string_view in) {
    std::string out;
    out.reserve(in.size() / 4 * 3 + 3);
    std::uint32_t buffer = 0;
    int bits = 0;
    for (const char c : in) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+' || c == '-') v = 62;
        else if (c == '/' || c == '_') v = 63;
        else {
            if (c == '=')
                bits = 0;  // the group ends; what follows is a new encoding
            continue;
        }
        buffer = ((buffer << 6) | static_cast<std::uint32_t>(v)) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

std::string decodeQuotedPrintable(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '=') {
            out.push_back(in[i]);
            continue;
        }
        // Soft line break: "=", optional trailing blanks, then the line end (or the end of the body).
        std::size_t j = i + 1;
        while (j < in.size() && (in[j] == ' ' || in[j] == '\t'))
            ++j;
        if (j == in.size() || in[j] == '\n' || (in[j] == '\r' && (j + 1 == in.size() || in[j + 1] == '\n'))) {
            i = (j == in.size()) ? j : (in[j] == '\r' ? j + 1 : j);
            continue;
        }
        if (i + 2 < in.size() && hexDigit(in[i + 1]) >= 0 && hexDigit(in[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexDigit(in[i + 1]) * 16 + hexDigit(in[i + 2])));
            i += 2;
            continue;
        }
        out.push_back('=');
    }
    return out;
}

std::string charsetToUtf8(std::string_view bytes, std::string_view charset, bool* known) {
    std::string name = lowerAscii(charset.substr(0, 64));
    std::erase_if(name, [](char c) { return !(isAlnum(c) || c == '-' || c == '_' || c == '.' || c == ':'); });
    if (name.empty() || name == "us-ascii" || name == "ascii" || name == "iso-8859-1" || name == "latin1" ||
        name == "iso_8859-1" || name == "ansi_x3.4-1968")
        name = "windows-1252";
    UErrorCode err = U_ZERO_ERROR;
    Converter converter(ucnv_open(name.c_str(), &err));
    if (known != nullptr)
        *known = U_SUCCESS(err) && converter != nullptr;
    if (U_FAILURE(err) || converter == nullptr) {
        err = U_ZERO_ERROR;
        converter.reset(ucnv_open("windows-1252", &err));
        if (U_FAILURE(err) || converter == nullptr)
            return {};
    }
    return convertWith(converter.get(), bytes);
}

std::string htmlToText(std::string_view html) {
    TextLines text;
    int preDepth = 0;
    bool headUnclosed = false;  // searched once: many <head> tags must not cost a search each
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            if (html.substr(i, 4) == "<!--") {
                const std::size_t end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            const bool closing = i + 1 < html.size() && html[i + 1] == '/';
            const std::size_t nameStart = i + (closing ? 2 : 1);
            const bool markup = nameStart < html.size() && (isAlpha(html[nameStart]) || html[nameStart] == '!' ||
                                                            html[nameStart] == '?');
            if (!markup) {
                text.character('<');
                ++i;
                continue;
            }
            std::size_t nameEnd = nameStart;
            while (nameEnd < html.size() && isAlnum(html[nameEnd]))
                ++nameEnd;
            const std::string tag = lowerAscii(html.substr(nameStart, nameEnd - nameStart));
            const std::size_t end = tagEnd(html, i);
            if (end == std::string_view::npos)
                break;  // a tag cut off at the end of the body
            i = end;
            if (!closing && (tag == "script" || tag == "style" || tag == "title" || (tag == "head" && !headUnclosed))) {
                const std::size_t after = skipElementContent(html, i, tag);
                headUnclosed = tag == "head" && after == std::string_view::npos;
                if (after != std::string_view::npos)
                    i = after;
                else if (tag != "head")  // an unclosed head still shows its body
                    i = html.size();
                continue;
            }
            if (tag == "br") {
                text.lineBreak();
            } else if (tag == "td" || tag == "th") {
                text.space();
            } else if (isBlockElement(tag)) {
                text.blockBoundary();
                if (tag == "pre")
                    preDepth = std::max(0, preDepth + (closing ? -1 : 1));
            }
            continue;
        }
        if (c == '&') {
            char32_t cp = 0;
            if (const std::size_t used = decodeEntity(html, i, cp); used > 0) {
                if (cp == 0xA0)
                    text.bytes(" ");  // a hard space reads as a space and is not collapsed
                else
                    text.character(cp);
                i += used;
                continue;
            }
        }
        if (preDepth > 0) {
            if (c == '\n')
                text.lineBreak();
            else if (c != '\r')
                text.bytes(std::string_view(&html[i], 1));
            ++i;
            continue;
        }
        if (isSpace(c)) {
            text.space();
            ++i;
            continue;
        }
        // A run of ordinary bytes at once (UTF-8 sequences stay whole).
        std::size_t j = i + 1;
        while (j < html.size() && html[j] != '<' && html[j] != '&' && !isSpace(html[j]))
            ++j;
        text.bytes(html.substr(i, j - i));
        i = j;
    }
    return text.take();
}

}  // namespace notesrt::mime

namespace notesrt::mime {

std::string encodeBase64(std::string_view in) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    constexpr std::size_t kGroupsPerLine = 19;  // 76 characters
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4 + in.size() / 57 * 2 + 2);
    std::size_t groups = 0;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, in.size() - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(in[i + k]) : 0u);
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(n > 1 ? kAlphabet[(v >> 6) & 63] : '=');
        out.push_back(n > 2 ? kAlphabet[v & 63] : '=');
        if (++groups == kGroupsPerLine) {
            out += "\r\n";
            groups = 0;
        }
    }
    if (groups != 0)
        out += "\r\n";
    return out;
}

std::string encodeQuotedPrintable(std::string_view in) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t column = 0;
    auto put = [&](std::string_view piece) {
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    };
    for (std::size_t i = 0; i < in.size(); ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c == '\r' && i + 1 < in.size() && in[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        // Spaces and tabs are literal except before a line end, where transport may strip them.
        const bool lineEnds = i + 1 == in.size() || in[i + 1] == '\r';
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnds);
        if (literal) {
            put(std::string_view(&in[i], 1));
        } else {
            const char escaped[3] = {'=', kHex[c >> 4], kHex[c & 15]};
            put(std::string_view(escaped, 3));
        }
    }
    return out;
}

}  // namespace notesrt::mime
