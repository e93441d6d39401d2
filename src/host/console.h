// Output to stdout and stderr with one write per call, so that the lines of databases extracted in
// parallel processes stay whole (below the pipe's atomic size) and never sit in a stdio buffer at fork.
#pragma once

#include <unistd.h>

#include <string_view>

namespace nsfrex {

inline void writeText(int fd, std::string_view text) noexcept {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) return;  // nowhere left to report to
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace nsfrex
