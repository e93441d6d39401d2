// Numbers on the command line: decimal, or hexadecimal after "0x" (note IDs are usually shown in hex).
#pragma once

#include <charconv>
#include <concepts>
#include <optional>
#include <string_view>

namespace nsfrex {

template <std::integral T>
std::optional<T> parseNumberArgument(std::string_view text) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    T value{};
    if (text.empty() || text.front() == '+') return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace nsfrex
