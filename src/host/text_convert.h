// Notes text (LMBCS) to UTF-8 through ICU, for the module's fpTextConvert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "result.h"

struct UConverter;

namespace nsfrex {

class LmbcsDecoder {
public:
    LmbcsDecoder();
    ~LmbcsDecoder();
    LmbcsDecoder(LmbcsDecoder&&) noexcept;
    LmbcsDecoder& operator=(LmbcsDecoder&&) noexcept;

    // Bytes that are not valid LMBCS become U+FFFD rather than failing the whole text.
    Result<std::string> toUtf8(std::span<const std::uint8_t> lmbcs);

    // The same conversion written straight into `out`, for text in which every byte is a character by
    // itself (printable ASCII, tab, line ends, NUL and the single-byte characters of group 1): the number
    // of bytes written. Nothing when the text needs the whole decoder or its UTF-8 does not fit; the
    // caller then uses toUtf8.
    std::optional<std::size_t> toUtf8Into(std::span<const std::uint8_t> lmbcs, std::span<char> out);

private:
    // UTF-8 of every byte that ICU decodes to one character whatever surrounds it; length 0 for the
    // others (group bytes, and bytes that decode to a substitute). Filled from ICU itself, once.
    struct ByteTable {
        std::uint8_t rgcb[256];
        char rgutf8[256][4];
    };
    Result<UConverter*> converter();
    const ByteTable* byteTable();
    // Converts bytes from the start of `lmbcs` while each is a character by itself and its UTF-8 fits
    // in `out`; returns the input bytes consumed and the output bytes written.
    std::pair<std::size_t, std::size_t> convertWholeBytes(const ByteTable& table, std::span<const std::uint8_t> lmbcs,
                                                          std::span<char> out) const noexcept;

    std::unique_ptr<ByteTable> table_;
    bool tableTried_ = false;

    struct CloseConverter {
        void operator()(UConverter* converter) const noexcept;
    };
    std::unique_ptr<UConverter, CloseConverter> converter_;
};

// The length of the longest prefix of `utf8` not longer than `limit` that ends on a character boundary.
std::size_t utf8PrefixLength(std::string_view utf8, std::size_t limit) noexcept;

}  // namespace nsfrex
