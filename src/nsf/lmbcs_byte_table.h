// LMBCS bytes that are characters by themselves, converted from a table rather than by ICU.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "nsf/byte_reader.h"

namespace nsf {

// The UTF-8 of every byte that ICU's LMBCS-1 converter decodes to one character whatever stands around
// it: printable ASCII, tab, line ends, NUL and the single-byte characters of group 1. Group bytes and
// bytes that decode to a substitute have no entry. Filled from ICU itself, once per process, so the table
// and ICU cannot disagree.
class LmbcsByteTable {
public:
    // The table, or null when ICU has no LMBCS-1 converter.
    static const LmbcsByteTable* get();

    // The length of the UTF-8 of byte `b`; 0 when it is no character by itself.
    std::size_t utf8Length(std::uint8_t b) const noexcept { return length_[b]; }

    // Converts bytes from the start of `lmbcs` while each is a character by itself and its UTF-8 fits
    // in `out`: the input bytes consumed and the output bytes written.
    std::pair<std::size_t, std::size_t> convert(Bytes lmbcs, std::span<char> out) const noexcept;

private:
    LmbcsByteTable() = default;
    static std::optional<LmbcsByteTable> build();

    std::uint8_t length_[256] = {};
    char utf8_[256][4] = {};
};

}  // namespace nsf
