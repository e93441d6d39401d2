// XML escaping, base64 and buffered output for the DXL exporter.
#include "dxl_writer.h"

#include <cstdio>

namespace notesrt::dxl {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at `i`; malformed input yields U+FFFD and consumes one byte.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        cp = b0 & 0x07;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + length > s.size()) {
        ++i;
        return kReplacement;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return cp;
}

bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The markup characters common to attributes and content; false when `c` is not one of them.
bool appendMarkupEscape(std::string& out, char32_t c) {
    switch (c) {
        case '&': out += "&amp;"; return true;
        case '<': out += "&lt;"; return true;
        case '>': out += "&gt;"; return true;
        case '\'': out += "&apos;"; return true;
        case '"': out += "&quot;"; return true;
        default: return false;
    }
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineLength = 72;

}  // namespace

Output::Output(Sink sink, std::size_t chunk) : sink_(std::move(sink)), chunk_(chunk == 0 ? 1 : chunk) {
    buffer_.reserve(chunk_ + 256);
}

void Output::raw(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= chunk_)
        flush();
}

void Output::flush() {
    if (buffer_.empty())
        return;
    sink_(reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffer_.size());
    buffer_.clear();
}

std::string escapeAttribute(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = nextCodePoint(utf8, i);
        if (appendMarkupEscape(out, c))
            continue;
        if (c == '\n')
            out += "&#xa;";
        else if (c == '\r')
            out += "&#xd;";
        else if (c == '\t')
            out += "&#x9;";
        else
            appendUtf8(out, isXmlChar(c) ? c : kReplacement);
    }
    return out;
}

std::string escapeContent(std::string_view utf8, bool breaks) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = nextCodePoint(utf8, i);
        if (appendMarkupEscape(out, c))
            continue;
        if (breaks && c == '\r' && i < utf8.size() && utf8[i] == '\n')
            continue;
        if (breaks && c == '\n') {
            out += "<break/>";
        } else if (c == '\r') {
            out += "&#xd;";  // a bare CR would be read back as a line feed
        } else if (isXmlChar(c)) {
            appendUtf8(out, c);
        } else {
            char value[16];
            std::snprintf(value, sizeof value, "%x", static_cast<unsigned>(c));
            out += "<nonxmlchar value='";
            out += value;
            out += "'/>";
        }
    }
    return out;
}

void Base64Writer::emitGroup(const std::uint8_t* group, std::size_t count) {
    const std::uint32_t v = (std::uint32_t{group[0]} << 16) | (count > 1 ? std::uint32_t{group[1]} << 8 : 0) |
                            (count > 2 ? std::uint32_t{group[2]} : 0);
    line_.push_back(kAlphabet[(v >> 18) & 0x3F]);
    line_.push_back(kAlphabet[(v >> 12) & 0x3F]);
    line_.push_back(count > 1 ? kAlphabet[(v >> 6) & 0x3F] : '=');
    line_.push_back(count > 2 ? kAlphabet[v & 0x3F] : '=');
    column_ += 4;
    if (column_ >= kLineLength) {
        line_.push_back('\n');
        column_ = 0;
        out_.raw(line_);
        line_.clear();
    }
}

void Base64Writer::write(std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    while (carried_ > 0 && carried_ < 3 && i < bytes.size())
        carry_[carried_++] = bytes[i++];
    if (carried_ == 3) {
        emitGroup(carry_, 3);
        carried_ = 0;
    }
    for (; i + 3 <= bytes.size(); i += 3)
        emitGroup(bytes.data() + i, 3);
    for (; i < bytes.size(); ++i)
        carry_[carried_++] = bytes[i];
}

void Base64Writer::finish() {
    if (carried_ > 0)
        emitGroup(carry_, carried_);
    carried_ = 0;
    if (column_ > 0)
        line_.push_back('\n');
    column_ = 0;
    out_.raw(line_);
    line_.clear();
}

Tag::Tag(Output& out, std::string_view name) : out_(out) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about assigning a literal at -O2.
    text_.reserve(name.size() + 1);
    text_.push_back('<');
    text_.append(name);
}

Tag& Tag::attr(std::string_view name, std::string_view utf8Value) {
    text_ += ' ';
    text_ += name;
    text_ += "='";
    text_ += escapeAttribute(utf8Value);
    text_ += '\'';
    return *this;
}

void Tag::empty() {
    text_ += "/>";
    out_.raw(text_);
}

void Tag::open() {
    text_ += '>';
    out_.raw(text_);
}

void Tag::close(Output& out, std::string_view name) {
    std::string text = "</";
    text += name;
    text += '>';
    out.raw(text);
}

}  // namespace notesrt::dxl
