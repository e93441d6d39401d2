#include "text_convert.h"

#include <cstring>

#include "nsf/lmbcs.h"

namespace nsfrex {

TextConversion convertLmbcsToUtf8(std::span<const std::uint8_t> lmbcs, std::span<char> out) {
    // Most text runs hold single-byte characters only: straight into the caller's block, no string between.
    if (const auto written = nsf::lmbcsToUtf8Into(lmbcs, out)) return {*written, true};
    const auto utf8 = nsf::lmbcsToUtf8Strict(lmbcs);
    if (!utf8) return {};
    const std::size_t n = nsf::utf8FittingPrefix(*utf8, out.size());
    std::memcpy(out.data(), utf8->data(), n);
    return {n, n == utf8->size()};
}

}  // namespace nsfrex
