// Building messages: the standard library of this compiler has no std::format yet.
#pragma once

#include <concepts>
#include <string>
#include <string_view>

namespace nsfrex {

namespace detail {
inline void append(std::string& out, std::string_view text) { out.append(text); }
inline void append(std::string& out, char c) { out.push_back(c); }
template <std::integral T>
    requires(!std::same_as<T, char> && !std::same_as<T, bool>)
void append(std::string& out, T value) {
    out.append(std::to_string(value));
}
}  // namespace detail

// cat("status ", 4, ": ", reason): text pieces and integers joined into one string.
template <typename... Parts>
std::string cat(const Parts&... parts) {
    std::string out;
    (detail::append(out, parts), ...);
    return out;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 (no overlong forms, surrogates or code
// points beyond U+10FFFF).
inline std::size_t utf8SequenceLength(std::string_view text, std::size_t i) noexcept {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) return 1;
    const std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second >= 0xA0) || (c == 0xF0 && second < 0x90) ||
        (c == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

// `text` padded with blanks to `width` characters.
inline std::string padRight(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width) out.append(width - out.size(), ' ');
    return out;
}

}  // namespace nsfrex
