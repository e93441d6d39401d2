#include "nsf/lmbcs.h"

#include "lmbcs_byte_table.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

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

// The index of the first surrogate in `units` that is not half of a pair.
std::size_t firstUnpairedSurrogate(std::span<const UChar> units) noexcept {
    std::size_t i = 0;
    while (i < units.size()) {
        if (U16_IS_LEAD(units[i]) && i + 1 < units.size() && U16_IS_TRAIL(units[i + 1]))
            i += 2;
        else if (U16_IS_SURROGATE(units[i]))
            return i;
        else
            ++i;
    }
    return units.size();
}

// UTF-16 to UTF-8 at the end of `out`. An unpaired surrogate (LMBCS group 0x14 can carry one) becomes
// U+FFFD, or with `refuse` ends the conversion: then the index of that unit.
std::optional<std::size_t> appendUtf16(std::string& out, std::span<const UChar> units, bool refuse) {
    // ICU takes 32-bit lengths; a piece never ends between the two halves of a pair.
    constexpr std::size_t kPiece = std::size_t{1} << 24;
    for (std::size_t at = 0; at < units.size();) {
        std::size_t count = std::min(kPiece, units.size() - at);
        if (at + count < units.size() && U16_IS_LEAD(units[at + count - 1])) --count;
        const std::size_t start = out.size();
        UErrorCode status = U_ZERO_ERROR;
        // At most three UTF-8 bytes per unit (a surrogate pair gives four for two).
        out.resize_and_overwrite(start + count * 3, [&](char* p, std::size_t capacity) {
            int32_t length = 0;
            u_strToUTF8WithSub(p + start, static_cast<int32_t>(capacity - start), &length, units.data() + at,
                               static_cast<int32_t>(count), refuse ? U_SENTINEL : 0xFFFD, nullptr, &status);
            return U_SUCCESS(status) ? start + static_cast<std::size_t>(length) : start;
        });
        if (U_FAILURE(status)) return at + firstUnpairedSurrogate(units.subspan(at, count));
        at += count;
    }
    return std::nullopt;
}

// The offset in `lmbcs` of the bytes that ICU decodes to unit `unit`.
std::size_t offsetOfUnit(UConverter* conv, Bytes lmbcs, std::size_t unit) {
    std::vector<UChar> units(lmbcs.size() + 8);
    std::vector<int32_t> offsets(units.size(), 0);
    UChar* dst = units.data();
    const char* src = reinterpret_cast<const char*>(lmbcs.data());
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(conv);
    ucnv_toUnicode(conv, &dst, units.data() + units.size(), &src, src + lmbcs.size(), offsets.data(), true, &status);
    const auto produced = static_cast<std::size_t>(dst - units.data());
    return unit < produced && offsets[unit] >= 0 ? static_cast<std::size_t>(offsets[unit]) : 0;
}

// Without ICU's converter only the plain bytes are characters; the others become U+FFFD, or with `refuse`
// end the decoding: then the offset of the first.
std::optional<std::size_t> decodePlain(std::string& out, Bytes lmbcs, bool refuse) {
    for (std::size_t i = 0; i < lmbcs.size(); ++i) {
        if (isPlainByte(lmbcs[i]))
            out += static_cast<char>(lmbcs[i]);
        else if (refuse)
            return i;
        else
            out += "\uFFFD";
    }
    return std::nullopt;
}

// Appends the UTF-8 of the bytes at the start of `lmbcs` that are characters by themselves, with room
// for `room` bytes of it: the input bytes converted.
std::size_t appendFromTable(std::string& out, const LmbcsByteTable& table, Bytes lmbcs, std::size_t room) {
    std::size_t read = 0;
    const std::size_t start = out.size();
    out.resize_and_overwrite(start + room, [&](char* p, std::size_t capacity) {
        const auto converted = table.convert(lmbcs, {p + start, capacity - start});
        read = converted.first;
        return start + converted.second;
    });
    return read;
}

// Decodes `lmbcs` to UTF-8 at the end of `out`. Bytes that do not form a character become U+FFFD; a
// character that UTF-8 cannot hold does too, or with `refuse` ends the decoding: then the offset of
// its first byte, and `out` holds an undefined part of the text.
std::optional<std::size_t> decode(std::string& out, Bytes lmbcs, bool refuse) {
    const LmbcsByteTable* table = LmbcsByteTable::get();
    if (table == nullptr) return decodePlain(out, lmbcs, refuse);
    // Bytes that are characters by themselves come from the table up to the first other one; only the
    // rest needs ICU (a mail's text is mostly ASCII with a few accented letters). Room for one UTF-8
    // byte each first, and for three once a longer character comes.
    std::size_t done = appendFromTable(out, *table, lmbcs, lmbcs.size());
    if (done < lmbcs.size() && table->utf8Length(lmbcs[done]) != 0)
        done += appendFromTable(out, *table, lmbcs.subspan(done), (lmbcs.size() - done) * 3);
    if (done == lmbcs.size()) return std::nullopt;

    const Bytes rest = lmbcs.subspan(done);
    UConverter* conv = threadConverter();
    if (conv == nullptr) {
        const auto refused = decodePlain(out, rest, refuse);
        return refused ? std::optional(done + *refused) : std::nullopt;
    }
    // A character takes at least one LMBCS byte and at most two UTF-16 units come from six bytes, so one
    // unit per input byte is enough; the loop still copes with an overflow.
    thread_local std::vector<UChar> units;
    units.resize(rest.size() + 8);
    const char* src = reinterpret_cast<const char*>(rest.data());
    const char* srcEnd = src + rest.size();
    std::size_t unitsBefore = 0;
    for (;;) {
        UChar* dst = units.data();
        UErrorCode status = U_ZERO_ERROR;
        ucnv_toUnicode(conv, &dst, units.data() + units.size(), &src, srcEnd, nullptr, true, &status);
        const std::span<const UChar> decoded(units.data(), static_cast<std::size_t>(dst - units.data()));
        if (const auto refused = appendUtf16(out, decoded, refuse))
            return done + offsetOfUnit(conv, rest, unitsBefore + *refused);
        if (status != U_BUFFER_OVERFLOW_ERROR) return std::nullopt;
        unitsBefore += decoded.size();
    }
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

std::string lmbcsToUtf8(Bytes lmbcs) {
    std::string out;
    decode(out, lmbcs, false);
    return out;
}

std::string lmbcsTextToUtf8(Bytes lmbcs) {
    std::string text = lmbcsToUtf8(lmbcs);
    // UTF-8 never has a 0 byte inside a multibyte character, so every 0 left after conversion is a NUL.
    for (char& c : text)
        if (c == '\0') c = '\n';
    return text;
}

std::expected<std::string, LmbcsRefusal> lmbcsToUtf8Strict(Bytes lmbcs) {
    std::string out;
    if (const auto refused = decode(out, lmbcs, true)) return std::unexpected(LmbcsRefusal{*refused});
    return out;
}

std::optional<std::size_t> lmbcsToUtf8Into(Bytes lmbcs, std::span<char> out) {
    const LmbcsByteTable* table = LmbcsByteTable::get();
    if (table == nullptr) return std::nullopt;
    const auto [read, written] = table->convert(lmbcs, out);
    if (read != lmbcs.size()) return std::nullopt;
    return written;
}

std::size_t utf8FittingPrefix(std::string_view utf8, std::size_t limit) noexcept {
    if (utf8.size() <= limit) return utf8.size();
    // Step back over continuation bytes (10xxxxxx) to the start of the character that does not fit.
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    return cut;
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
