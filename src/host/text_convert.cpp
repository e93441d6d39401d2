#include "text_convert.h"

#include <cstring>
#include <string_view>

#include "nsf/lmbcs.h"

namespace nsfrex {
namespace {

// The length of the longest prefix of `utf8` not longer than `limit` that ends on a character boundary.
std::size_t utf8PrefixLength(std::string_view utf8, std::size_t limit) noexcept {
    if (utf8.size() <= limit) return utf8.size();
    std::size_t cut = limit;
    // Step back over continuation bytes (10xxxxxx) to the start of the character that does not fit.
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

}  // namespace

TextConversion convertLmbcsToUtf8(std::span<const std::uint8_t> lmbcs, std::span<char> out) {
    // Most text runs hold single-byte characters only: straight into the caller's block, no string between.
    if (const auto written = nsf::lmbcsToUtf8Into(lmbcs, out)) return {*written, true};
    const auto utf8 = nsf::lmbcsToUtf8Strict(lmbcs);
    if (!utf8) return {};
    const std::size_t n = utf8PrefixLength(*utf8, out.size());
    std::memcpy(out.data(), utf8->data(), n);
    return {n, n == utf8->size()};
}

}  // namespace nsfrex
