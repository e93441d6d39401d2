#include "lmbcs_byte_table.h"

#include <cstring>
#include <memory>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <unicode/ucnv.h>
#include <unicode/utf16.h>
#include <unicode/ustring.h>

namespace nsf {
namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// True when all eight bytes of `w` are printable ASCII (0x20 to 0x7F): none has its high bit set and
// none lies below 0x20.
inline bool allPrintableAscii(std::uint64_t w) noexcept { return ((w | ((w - kOnes * 0x20) & ~w)) & kHighBits) == 0; }

}  // namespace

const LmbcsByteTable* LmbcsByteTable::get() {
    static const std::optional<LmbcsByteTable> table = build();
    return table ? &*table : nullptr;
}

std::optional<LmbcsByteTable> LmbcsByteTable::build() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, void (*)(UConverter*)> cnv(ucnv_open("LMBCS-1", &status), ucnv_close);
    if (U_FAILURE(status)) return std::nullopt;
    LmbcsByteTable t;
    for (unsigned b = 0; b < 256; ++b) {
        // Below 0x20 only the controls that stand for themselves; the other bytes there open a group.
        if (b < 0x20 && b != 0 && b != '\t' && b != '\n' && b != '\r') continue;
        const char ch = static_cast<char>(b);
        UChar units[2];
        status = U_ZERO_ERROR;
        ucnv_reset(cnv.get());
        const std::int32_t cUnits = ucnv_toUChars(cnv.get(), units, 2, &ch, 1, &status);
        if (U_FAILURE(status) || cUnits != 1 || U16_IS_SURROGATE(units[0]) || units[0] == 0xFFFD || units[0] == 0x1A)
            continue;
        std::int32_t length = 0;
        status = U_ZERO_ERROR;
        u_strToUTF8(t.utf8_[b], 4, &length, units, 1, &status);
        if (U_FAILURE(status) || length < 1 || length > 3) continue;
        t.length_[b] = static_cast<std::uint8_t>(length);
    }
    return t;
}

std::pair<std::size_t, std::size_t> LmbcsByteTable::convert(Bytes lmbcs, std::span<char> out) const noexcept {
    const std::uint8_t* pb = lmbcs.data();
    const std::size_t cb = lmbcs.size();
    char* pch = out.data();
    const std::size_t cch = out.size();
    std::size_t i = 0, o = 0;
    while (i < cb) {
        // Printable ASCII, the bulk of most text, sixteen or eight bytes at a time.
#if defined(__SSE2__)
        // A signed comparison: bytes from 0x80 up are negative, so "below 0x20" finds them too.
        if (cb - i >= 16 && cch - o >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + i));
            if (_mm_movemask_epi8(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20))) == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(pch + o), v);
                i += 16;
                o += 16;
                continue;
            }
        }
#endif
        if (cb - i >= 8 && cch - o >= 8) {
            std::uint64_t w;
            std::memcpy(&w, pb + i, sizeof w);
            if (allPrintableAscii(w)) {
                std::memcpy(pch + o, &w, sizeof w);
                i += 8;
                o += 8;
                continue;
            }
        }
        const std::uint8_t b = pb[i];
        const std::size_t cbChar = length_[b];
        if (cbChar == 0 || cch - o < cbChar) break;
        std::memcpy(pch + o, utf8_[b], 4 <= cch - o ? 4 : cbChar);
        ++i;
        o += cbChar;
    }
    return {i, o};
}

}  // namespace nsf
