#include "text_convert.h"

#include <limits>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include "text.h"

namespace nsfrex {

void LmbcsDecoder::CloseConverter::operator()(UConverter* converter) const noexcept { ucnv_close(converter); }

LmbcsDecoder::LmbcsDecoder() = default;
LmbcsDecoder::~LmbcsDecoder() = default;
LmbcsDecoder::LmbcsDecoder(LmbcsDecoder&&) noexcept = default;
LmbcsDecoder& LmbcsDecoder::operator=(LmbcsDecoder&&) noexcept = default;

Result<std::string> LmbcsDecoder::toUtf8(std::span<const std::uint8_t> lmbcs) {
    if (lmbcs.empty()) return std::string{};
    if (lmbcs.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / 2))
        return failure("text too long to convert");
    // Printable ASCII stands for itself in every LMBCS group, and a byte of it at the start of the text
    // or after another is a whole character: that prefix is copied, ICU converts from the first other byte.
    std::size_t ascii = 0;
    while (ascii < lmbcs.size() && lmbcs[ascii] >= 0x20 && lmbcs[ascii] < 0x80) ++ascii;
    std::string prefix(reinterpret_cast<const char*>(lmbcs.data()), ascii);
    if (ascii == lmbcs.size()) return prefix;
    lmbcs = lmbcs.subspan(ascii);

    UErrorCode status = U_ZERO_ERROR;
    if (!converter_) {
        // Group 1 is the default for bytes without a group prefix: Notes stores Western text that way.
        converter_.reset(ucnv_open("LMBCS-1", &status));
        if (U_FAILURE(status)) return failure(cat("ICU has no LMBCS-1 converter: ", u_errorName(status)));
    }
    ucnv_reset(converter_.get());

    const auto cbIn = static_cast<std::int32_t>(lmbcs.size());
    const auto* source = reinterpret_cast<const char*>(lmbcs.data());
    // One LMBCS byte normally gives at most one UTF-16 unit; the second pass is only a safety net.
    std::vector<UChar> utf16(lmbcs.size() + 1);
    std::int32_t cchUtf16 = ucnv_toUChars(converter_.get(), utf16.data(), static_cast<std::int32_t>(utf16.size()),
                                          source, cbIn, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        utf16.resize(static_cast<std::size_t>(cchUtf16) + 1);
        status = U_ZERO_ERROR;
        ucnv_reset(converter_.get());
        cchUtf16 = ucnv_toUChars(converter_.get(), utf16.data(), static_cast<std::int32_t>(utf16.size()), source,
                                 cbIn, &status);
    }
    if (U_FAILURE(status)) return failure(cat("LMBCS conversion failed: ", u_errorName(status)));

    std::int32_t cbUtf8 = 0;
    status = U_ZERO_ERROR;
    u_strToUTF8(nullptr, 0, &cbUtf8, utf16.data(), cchUtf16, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return failure(cat("UTF-8 conversion failed: ", u_errorName(status)));
    std::string utf8 = std::move(prefix);
    utf8.resize(ascii + static_cast<std::size_t>(cbUtf8));
    status = U_ZERO_ERROR;
    u_strToUTF8(utf8.data() + ascii, cbUtf8, nullptr, utf16.data(), cchUtf16, &status);
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
