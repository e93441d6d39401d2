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

// `text` padded with blanks to `width` characters.
inline std::string padRight(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width) out.append(width - out.size(), ' ');
    return out;
}

}  // namespace nsfrex
