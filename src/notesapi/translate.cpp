// OSTranslate: LMBCS to and from UTF-8, UTF-16 and ASCII, with 16- or 32-bit lengths.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/ustring.h>

#include "api_guard.h"
#include "notesapi/osmisc.h"
#include "notesapi/status.h"
#include "nsf/lmbcs.h"

namespace notesrt {
namespace {

nsf::Bytes asBytes(std::string_view s) {
    return nsf::Bytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// Length of the UTF-8 sequence a lead byte starts (1 for anything that is not a valid lead).
std::size_t utf8SequenceLength(unsigned char lead) noexcept {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out(utf8.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length,
                         utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &err);
    out.resize(U_SUCCESS(err) ? static_cast<std::size_t>(length) : 0);
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out(utf16.size() * 3 + 1, '\0');
    int32_t length = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length,
                       reinterpret_cast<const UChar*>(utf16.data()), static_cast<int32_t>(utf16.size()), 0xFFFD,
                       nullptr, &err);
    out.resize(U_SUCCESS(err) ? static_cast<std::size_t>(length) : 0);
    return out;
}

// UTF-8 to LMBCS, cut at a character boundary so that it fits in `limit` bytes.
std::vector<std::uint8_t> utf8ToLmbcsFit(std::string_view utf8, std::size_t limit) {
    std::vector<std::uint8_t> all = nsf::utf8ToLmbcs(utf8);
    if (all.size() <= limit)
        return all;
    // Too long: rebuild character by character until the next one does not fit.
    std::vector<std::uint8_t> out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t len = std::min(utf8SequenceLength(static_cast<unsigned char>(utf8[pos])), utf8.size() - pos);
        const std::vector<std::uint8_t> one = nsf::utf8ToLmbcs(utf8.substr(pos, len));
        if (out.size() + one.size() > limit)
            break;
        out.insert(out.end(), one.begin(), one.end());
        pos += len;
    }
    return out;
}

std::string caseMapped(std::string utf8, bool upper) {
    for (char& c : utf8) {
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return utf8;
}

// Converts `in` by `mode` into at most `outLength` bytes; nullopt for an unknown mode.
std::optional<std::size_t> translate(WORD mode, std::string_view in, char* out, std::size_t outLength) {
    auto emit = [&](const void* data, std::size_t n) {
        if (n > 0)
            std::memcpy(out, data, n);
        if (n < outLength)
            out[n] = '\0';  // terminated when there is room; callers use the returned length
        return n;
    };
    switch (mode) {
    case OS_TRANSLATE_LMBCS_TO_UTF8:
    case OS_TRANSLATE_LMBCS_TO_NATIVE: {  // the native character set here is UTF-8
        const std::string utf8 = nsf::lmbcsToUtf8(asBytes(in));
        return emit(utf8.data(), nsf::utf8FittingPrefix(utf8, outLength));
    }
    case OS_TRANSLATE_UTF8_TO_LMBCS:
    case OS_TRANSLATE_NATIVE_TO_LMBCS: {
        const auto lmbcs = utf8ToLmbcsFit(in, outLength);
        return emit(lmbcs.data(), lmbcs.size());
    }
    case OS_TRANSLATE_LMBCS_TO_ASCII: {
        std::string ascii;
        const std::string utf8 = nsf::lmbcsToUtf8(asBytes(in));
        for (std::size_t pos = 0; pos < utf8.size();) {
            const auto lead = static_cast<unsigned char>(utf8[pos]);
            ascii.push_back(lead < 0x80 ? static_cast<char>(lead) : '?');
            pos += std::min(utf8SequenceLength(lead), utf8.size() - pos);
        }
        return emit(ascii.data(), std::min(ascii.size(), outLength));
    }
    case OS_TRANSLATE_LMBCS_TO_UNICODE: {
        const std::u16string utf16 = utf8ToUtf16(nsf::lmbcsToUtf8(asBytes(in)));
        std::size_t units = std::min(utf16.size(), outLength / 2);
        if (units > 0 && units < utf16.size() && (utf16[units - 1] & 0xFC00) == 0xD800)
            --units;  // never split a surrogate pair
        std::size_t n = 0;
        for (std::size_t i = 0; i < units; ++i) {  // little-endian, whatever the alignment of out
            out[n++] = static_cast<char>(utf16[i] & 0xFF);
            out[n++] = static_cast<char>(utf16[i] >> 8);
        }
        if (n + 1 < outLength)
            out[n] = out[n + 1] = '\0';
        return n;
    }
    case OS_TRANSLATE_UNICODE_TO_LMBCS: {
        std::u16string utf16(in.size() / 2, u'\0');
        for (std::size_t i = 0; i < utf16.size(); ++i)
            utf16[i] = static_cast<char16_t>(static_cast<unsigned char>(in[2 * i]) |
                                             (static_cast<unsigned char>(in[2 * i + 1]) << 8));
        const auto lmbcs = utf8ToLmbcsFit(utf16ToUtf8(utf16), outLength);
        return emit(lmbcs.data(), lmbcs.size());
    }
    case OS_TRANSLATE_LOWER_TO_UPPER:
    case OS_TRANSLATE_UPPER_TO_LOWER: {
        const std::string utf8 = caseMapped(nsf::lmbcsToUtf8(asBytes(in)), mode == OS_TRANSLATE_LOWER_TO_UPPER);
        const auto lmbcs = utf8ToLmbcsFit(utf8, outLength);
        return emit(lmbcs.data(), lmbcs.size());
    }
    default:
        return std::nullopt;
    }
}

// The input: `length` bytes, or up to the first NUL when length is the "unknown" marker.
std::string_view inputOf(const char* in, std::size_t length, std::size_t unknown) {
    if (length == unknown)
        return std::string_view(in, ::strnlen(in, unknown));
    return std::string_view(in, length);
}

}  // namespace
}  // namespace notesrt

using namespace notesrt;

extern "C" {

WORD OSTranslate(WORD TranslateMode, const char* In, WORD InLength, char* Out, WORD OutLength) {
    return guardValue<WORD>("OSTranslate", 0, [&]() -> WORD {
        if (In == nullptr || Out == nullptr || OutLength == 0)
            return 0;
        const auto n = translate(TranslateMode, inputOf(In, InLength, MAXWORD), Out, OutLength);
        return static_cast<WORD>(n.value_or(0));
    });
}

DWORD OSTranslate32(WORD TranslateMode, const char* In, DWORD InLength, char* Out, DWORD OutLength) {
    return guardValue<DWORD>("OSTranslate32", 0, [&]() -> DWORD {
        if (In == nullptr || Out == nullptr || OutLength == 0)
            return 0;
        const auto n = translate(TranslateMode, inputOf(In, InLength, MAXDWORD), Out, OutLength);
        return static_cast<DWORD>(n.value_or(0));
    });
}

}  // extern "C"
