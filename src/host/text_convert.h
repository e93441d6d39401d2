// Notes text (LMBCS) to UTF-8 through ICU, for the module's fpTextConvert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

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

private:
    struct CloseConverter {
        void operator()(UConverter* converter) const noexcept;
    };
    std::unique_ptr<UConverter, CloseConverter> converter_;
};

// The length of the longest prefix of `utf8` not longer than `limit` that ends on a character boundary.
std::size_t utf8PrefixLength(std::string_view utf8, std::size_t limit) noexcept;

}  // namespace nsfrex
