#include "text_convert.h"

#include <cstring>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <unicode/ucnv.h>
#include <unicode/utf16.h>
#include <unicode/ustring.h>

#include "text.h"

namespace nsfrex {

void LmbcsDecoder::CloseConverter::operator()(UConverter* converter) const noexcept { ucnv_close(converter); }

LmbcsDecoder::LmbcsDecoder() = default;
LmbcsDecoder::~LmbcsDecoder() = default;
LmbcsDecoder::LmbcsDecoder(LmbcsDecoder&&) noexcept = default;
LmbcsDecoder& LmbcsDecoder::operator=(LmbcsDecoder&&) noexcept = default;

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// True when all eight bytes of `w` are printable ASCII (0x20 to 0x7F): none has its high bit set and
// none lies below 0x20.
inline bool allPrintableAscii(std::uint64_t w) noexcept {
    return ((w | ((w - kOnes * 0x20) & ~w)) & kHighBits) == 0;
}

}  // namespace

Result<UConverter*> LmbcsDecoder::converter() {
    if (!converter_) {
        UErrorCode status = U_ZERO_ERROR;
        // Group 1 is the default for bytes without a group prefix: Notes stores Western text that way.
        converter_.reset(ucnv_open("LMBCS-1", &status));
        if (U_FAILURE(status)) return failure(cat("ICU has no LMBCS-1 converter: ", u_errorName(status)));
    }
    return converter_.get();
}

const LmbcsDecoder::ByteTable* LmbcsDecoder::byteTable() {
    if (tableTried_) return table_.get();
    tableTried_ = true;
    auto cnv = converter();
    if (!cnv) return nullptr;
    auto table = std::make_unique<ByteTable>();
    for (unsigned b = 0; b < 256; ++b) {
        table->rgcb[b] = 0;
        // Below 0x20 only the controls that stand for themselves; the other bytes there open a group.
        if (b < 0x20 && b != 0 && b != '\t' && b != '\n' && b != '\r') continue;
        const char ch = static_cast<char>(b);
        UChar rgch[2];
        UErrorCode status = U_ZERO_ERROR;
        ucnv_reset(*cnv);
        const std::int32_t cch = ucnv_toUChars(*cnv, rgch, 2, &ch, 1, &status);
        if (U_FAILURE(status) || cch != 1 || U16_IS_SURROGATE(rgch[0]) || rgch[0] == 0xFFFD || rgch[0] == 0x1A)
            continue;
        std::int32_t cb = 0;
        status = U_ZERO_ERROR;
        u_strToUTF8(table->rgutf8[b], 4, &cb, rgch, 1, &status);
        if (U_FAILURE(status) || cb < 1 || cb > 3) continue;
        table->rgcb[b] = static_cast<std::uint8_t>(cb);
    }
    ucnv_reset(*cnv);
    table_ = std::move(table);
    return table_.get();
}

std::pair<std::size_t, std::size_t> LmbcsDecoder::convertWholeBytes(const ByteTable& table,
                                                                    std::span<const std::uint8_t> lmbcs,
                                                                    std::span<char> out) const noexcept {
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
        const std::size_t cbChar = table.rgcb[b];
        if (cbChar == 0 || cch - o < cbChar) break;
        std::memcpy(pch + o, table.rgutf8[b], 4 <= cch - o ? 4 : cbChar);
        ++i;
        o += cbChar;
    }
    return {i, o};
}

std::optional<std::size_t> LmbcsDecoder::toUtf8Into(std::span<const std::uint8_t> lmbcs, std::span<char> out) {
    const ByteTable* table = byteTable();
    if (table == nullptr) return std::nullopt;
    const auto [cbRead, cbWritten] = convertWholeBytes(*table, lmbcs, out);
    if (cbRead != lmbcs.size()) return std::nullopt;
    return cbWritten;
}

Result<std::string> LmbcsDecoder::toUtf8(std::span<const std::uint8_t> lmbcs) {
    if (lmbcs.empty()) return std::string{};
    if (lmbcs.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / 2))
        return failure("text too long to convert");
    // A byte that is a character by itself at the start of the text or after another such byte is
    // converted from the table; ICU converts from the first other byte.
    std::string prefix;
    std::size_t cbPrefix = 0;
    if (const ByteTable* table = byteTable()) {
        prefix.resize(lmbcs.size() * 3);
        const auto [cbRead, cbWritten] = convertWholeBytes(*table, lmbcs, prefix);
        prefix.resize(cbWritten);
        cbPrefix = cbRead;
    }
    if (cbPrefix == lmbcs.size()) return prefix;
    lmbcs = lmbcs.subspan(cbPrefix);

    auto cnv = converter();
    if (!cnv) return std::unexpected(cnv.error());
    ucnv_reset(*cnv);
    UErrorCode status = U_ZERO_ERROR;

    const auto cbIn = static_cast<std::int32_t>(lmbcs.size());
    const auto* source = reinterpret_cast<const char*>(lmbcs.data());
    // One LMBCS byte normally gives at most one UTF-16 unit; the second pass is only a safety net.
    std::vector<UChar> utf16(lmbcs.size() + 1);
    std::int32_t cchUtf16 = ucnv_toUChars(*cnv, utf16.data(), static_cast<std::int32_t>(utf16.size()), source, cbIn,
                                          &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        utf16.resize(static_cast<std::size_t>(cchUtf16) + 1);
        status = U_ZERO_ERROR;
        ucnv_reset(*cnv);
        cchUtf16 = ucnv_toUChars(*cnv, utf16.data(), static_cast<std::int32_t>(utf16.size()), source, cbIn, &status);
    }
    if (U_FAILURE(status)) return failure(cat("LMBCS conversion failed: ", u_errorName(status)));

    std::int32_t cbUtf8 = 0;
    status = U_ZERO_ERROR;
    u_strToUTF8(nullptr, 0, &cbUtf8, utf16.data(), cchUtf16, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return failure(cat("UTF-8 conversion failed: ", u_errorName(status)));
    const std::size_t cbHead = prefix.size();
    std::string utf8 = std::move(prefix);
    utf8.resize(cbHead + static_cast<std::size_t>(cbUtf8));
    status = U_ZERO_ERROR;
    u_strToUTF8(utf8.data() + cbHead, cbUtf8, nullptr, utf16.data(), cchUtf16, &status);
    if (U_FAILURE(status)) return failure(cat("UTF-8 conversion failed: ", u_errorName(status)));
    return utf8;
}

std::size_t utf8PrefixLength(std::string_view utf8, std::size_t limit) noexcept {
    if (utf8.size() <= limit) return utf8.size();
    std::size_t cut = limit;
    // Step back over continuation bytes (10xxxxxx) to the start of the character that does not fit.
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

}  // namespace nsfrex
