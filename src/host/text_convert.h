// Notes text (LMBCS) to UTF-8 for the module's fpTextConvert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace nsfrex {

struct TextConversion {
    std::size_t written = 0;  // bytes put into the block
    bool complete = false;  // the whole text is in the block
};

// Converts `lmbcs` into the caller's block. A text that does not fit is cut before the first character
// that does not; a text with a character UTF-8 cannot hold gives nothing at all.
TextConversion convertLmbcsToUtf8(std::span<const std::uint8_t> lmbcs, std::span<char> out);

}  // namespace nsfrex
