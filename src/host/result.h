// Host operations fail with a message meant for the person running the command.
#pragma once

#include <expected>
#include <string>

namespace nsfrex {

template <typename T>
using Result = std::expected<T, std::string>;

inline std::unexpected<std::string> failure(std::string message) {
    return std::unexpected<std::string>(std::move(message));
}

}  // namespace nsfrex
