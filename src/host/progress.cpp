#include "progress.h"

#include <unistd.h>

#include <cstdio>

#include "console.h"
#include "text.h"

namespace nsfrex {

namespace {
constexpr auto kRefresh = std::chrono::milliseconds(100);
}

std::string humanBytes(double bytes) {
    constexpr const char* kUnits[] = {"B", "kB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 1000.0 && unit < 4) {
        bytes /= 1000.0;
        ++unit;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
    return buf;
}

Progress::Progress(bool enabled, std::string label, int totalNotes)
    : enabled_(enabled), label_(std::move(label)), totalNotes_(totalNotes), start_(std::chrono::steady_clock::now()),
      lastShown_(start_) {}

void Progress::addBytes(std::uint64_t bytes) noexcept {
    bytes_ += bytes;
    show(false);
}

void Progress::noteDone() noexcept {
    ++notesDone_;
    show(notesDone_ == totalNotes_);
}

void Progress::show(bool force) noexcept {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastShown_ < kRefresh) return;
    lastShown_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    try {
        const std::string line = cat("\r", label_, ": notes ", notesDone_, "/", totalNotes_, ", ", humanBytes(static_cast<double>(bytes_)),
                                     ", ", humanBytes(seconds > 0 ? static_cast<double>(bytes_) / seconds : 0.0), "/s\x1b[K");
        writeText(STDERR_FILENO, line);
        shown_ = true;
    } catch (...) {  // a status line is not worth failing for
    }
}

void Progress::finish() noexcept {
    if (!shown_) return;
    shown_ = false;
    writeText(STDERR_FILENO, "\r\x1b[K");
}

}  // namespace nsfrex
