#include "nsf/lmbcs.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace nsf {
namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const noexcept { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Opening a converter costs far more than a short conversion, and a converter is not thread-safe, so each
// thread keeps its own. Null when ICU lacks the converter data; callers then fall back to plain ASCII.
UConverter* threadConverter() {
    thread_local ConverterPtr converter = [] {
        UErrorCode status = U_ZERO_ERROR;
        ConverterPtr c(ucnv_open("LMBCS-1", &status));
        if (U_FAILURE(status)) return ConverterPtr{};
        // Corrupt strings must not stop a document from converting.
        ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
        ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
        return c;
    }();
    if (converter) ucnv_reset(converter.get());
    return converter.get();
}

// Bytes that stand for themselves in LMBCS (and in UTF-8); every other byte below 0x20 is a group byte.
bool isPlainByte(std::uint8_t b) noexcept {
    return (b >= 0x20 && b < 0x80) || b == 0x00 || b == 0x09 || b == 0x0A || b == 0x0D;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 to UTF-8; an unpaired surrogate (LMBCS group 0x14 can carry one) becomes U+FFFD.
void appendUtf16(std::string& out, const UChar* units, std::size_t count) {
    // At most three UTF-8 bytes per unit (a surrogate pair gives four for two).
    const std::size_t at = out.size();
    out.resize(at + count * 3);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data() + at, static_cast<int32_t>(count * 3), &length, units, static_cast<int32_t>(count),
                       0xFFFD, nullptr, &status);
    out.resize(U_SUCCESS(status) ? at + static_cast<std::size_t>(length) : at);
}

std::string decode(Bytes lmbcs) {
    // Plain bytes up to the first other one are characters of their own, in UTF-8 as in LMBCS; only the
    // rest needs the converter (a mail's text is mostly ASCII with a few accented letters).
    const auto plainEnd = std::find_if_not(lmbcs.begin(), lmbcs.end(), isPlainByte);
    std::string out(plainEnd - lmbcs.begin(), '\0');
    std::copy(lmbcs.begin(), plainEnd, out.begin());
    if (plainEnd == lmbcs.end()) return out;
    const Bytes rest = lmbcs.subspan(static_cast<std::size_t>(plainEnd - lmbcs.begin()));
    UConverter* conv = threadConverter();
    if (conv == nullptr) {
        for (std::uint8_t b : rest) appendUtf8(out, isPlainByte(b) ? b : 0xFFFD);
        return out;
    }
    // A character takes at least one LMBCS byte and at most two UTF-16 units come from six bytes, so one
    // unit per input byte is enough; the loop still copes with an overflow.
    thread_local std::vector<UChar> units;
    units.resize(rest.size() + 8);
    const char* src = reinterpret_cast<const char*>(rest.data());
    const char* srcEnd = src + rest.size();
    for (;;) {
        UChar* dst = units.data();
        UErrorCode status = U_ZERO_ERROR;
        ucnv_toUnicode(conv, &dst, units.data() + units.size(), &src, srcEnd, nullptr, true, &status);
        appendUtf16(out, units.data(), static_cast<std::size_t>(dst - units.data()));
        if (status != U_BUFFER_OVERFLOW_ERROR) break;
    }
    return out;
}

std::vector<std::uint8_t> encode(std::string_view utf8) {
    std::vector<std::uint8_t> out;
    bool plain = true;
    for (char c : utf8) plain = plain && isPlainByte(static_cast<std::uint8_t>(c));
    if (plain) return {utf8.begin(), utf8.end()};

    UErrorCode status = U_ZERO_ERROR;
    std::vector<UChar> units(utf8.size() + 1);
    int32_t unitCount = 0;
    u_strFromUTF8WithSub(units.data(), static_cast<int32_t>(units.size()), &unitCount, utf8.data(),
                         static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return {};  // only when the text exceeds 2 GiB

    UConverter* conv = threadConverter();
    if (conv == nullptr) {
        for (int32_t i = 0; i < unitCount; ++i) out.push_back(units[i] < 0x80 ? static_cast<std::uint8_t>(units[i]) : '?');
        return out;
    }
    // The longest LMBCS form of a UTF-16 unit is three bytes (group 0x14, two data bytes).
    out.resize(static_cast<std::size_t>(unitCount) * 3 + 16);
    const UChar* src = units.data();
    const UChar* srcEnd = units.data() + unitCount;
    std::size_t written = 0;
    for (;;) {
        char* dst = reinterpret_cast<char*>(out.data()) + written;
        char* dstEnd = reinterpret_cast<char*>(out.data()) + out.size();
        status = U_ZERO_ERROR;
        ucnv_fromUnicode(conv, &dst, dstEnd, &src, srcEnd, nullptr, true, &status);
        written = static_cast<std::size_t>(dst - reinterpret_cast<char*>(out.data()));
        if (status != U_BUFFER_OVERFLOW_ERROR) break;
        out.resize(out.size() * 2);
    }
    out.resize(written);
    return out;
}

}  // namespace

std::string lmbcsToUtf8(Bytes lmbcs) { return decode(lmbcs); }

std::string lmbcsTextToUtf8(Bytes lmbcs) {
    std::string text = decode(lmbcs);
    // UTF-8 never has a 0 byte inside a multibyte character, so every 0 left after conversion is a NUL.
    for (char& c : text)
        if (c == '\0') c = '\n';
    return text;
}

std::vector<std::uint8_t> utf8ToLmbcs(std::string_view utf8) { return encode(utf8); }

std::vector<std::uint8_t> utf8TextToLmbcs(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
        text += utf8[i] == '\n' ? '\0' : utf8[i];
    }
    return encode(text);
}

}  // namespace nsf
