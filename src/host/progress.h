// One updating status line on a terminal: notes done of the total, bytes written and the rate.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace nsfrex {

class Progress {
public:
    // Disabled, it prints nothing at all.
    Progress(bool enabled, std::string label, int totalNotes);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress() { finish(); }

    void addBytes(std::uint64_t bytes) noexcept;
    void noteDone() noexcept;
    std::uint64_t bytes() const noexcept { return bytes_; }
    // Clears the line so that the next message starts on a clean one.
    void finish() noexcept;

private:
    void show(bool force) noexcept;

    bool enabled_;
    bool shown_ = false;
    std::string label_;
    int totalNotes_;
    int notesDone_ = 0;
    std::uint64_t bytes_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastShown_;
};

// "1.5 MB", "512 B": sizes for people.
std::string humanBytes(double bytes);

}  // namespace nsfrex
