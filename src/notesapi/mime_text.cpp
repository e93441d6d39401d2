// Transfer decoding and character sets for MIME part bodies. Every loop here moves
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

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAlnum(char c) { return isAlpha(c) || (c >= '0' && c <= '9'); }

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

std::string decodeEncodedWords(std::string_view value) {
    std::string out;
    std::size_t pendingSpace = 0;  // start of white space after an encoded word, kept unless one follows
    bool afterWord = false;
    std::size_t i = 0;
    while (i < value.size()) {
        if (value.substr(i, 2) == "=?") {
            const std::size_t q1 = value.find('?', i + 2);
            const std::size_t q2 = q1 == std::string_view::npos ? q1 : value.find('?', q1 + 1);
            const std::size_t end = q2 == std::string_view::npos ? q2 : value.find("?=", q2 + 1);
            if (end != std::string_view::npos && q2 == q1 + 2) {
                std::string_view charset = value.substr(i + 2, q1 - i - 2);
                charset = charset.substr(0, charset.find('*'));  // RFC 2231 language suffix
                const char encoding = lowerAscii(value[q1 + 1]);
                const std::string_view text = value.substr(q2 + 1, end - q2 - 1);
                std::string bytes;
                if (encoding == 'b') {
                    bytes = decodeBase64(text);
                } else if (encoding == 'q') {
                    std::string qp(text);
                    std::ranges::replace(qp, '_', ' ');
                    bytes = decodeQuotedPrintable(qp);
                }
                if (encoding == 'b' || encoding == 'q') {
                    if (afterWord)
                        out.resize(pendingSpace);  // white space between encoded words is not text
                    out += charsetToUtf8(bytes, charset);
                    i = end + 2;
                    afterWord = true;
                    pendingSpace = out.size();
                    continue;
                }
            }
        }
        if (value[i] != ' ' && value[i] != '\t')
            afterWord = false;
        out.push_back(value[i++]);
    }
    return out;
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
