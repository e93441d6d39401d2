// The host I/O object handed to one extraction call. Each open creates the next of its target files in
// the output folder (slot 7 opens once for the note and once per attachment); files are created new.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nsfrex/host.h>

#include "output_folder.h"
#include "progress.h"

namespace nsfrex {

class ExtractStream {
public:
    ExtractStream(OutputFolder& folder, std::vector<std::string> targets, Progress& progress);
    ExtractStream(const ExtractStream&) = delete;
    ExtractStream& operator=(const ExtractStream&) = delete;
    ~ExtractStream() { closeFile(); }

    IOobj64* io() noexcept { return &io_; }
    std::size_t opened() const noexcept { return sizes_.size(); }
    // Bytes written to each target opened so far, in order.
    const std::vector<std::uint64_t>& sizes() const noexcept { return sizes_; }
    // What went wrong on the host's side (open, write or close), empty when nothing did.
    const std::string& error() const noexcept { return error_; }
    // Whether that was the output itself failing (a full disk, an I/O error): nothing more can be written.
    bool outputFailed() const noexcept { return outputFailed_; }

    // Removes the files this stream created.
    void discard() noexcept;

private:
    static ExtractStream& of(IOobj64* io) noexcept { return *static_cast<ExtractStream*>(io->pHostData); }
    static std::int32_t ioOpen(IOobj64* io);
    static std::int32_t ioWrite(IOobj64* io, const std::uint8_t* pb, std::uint32_t cb);
    static std::int32_t ioClose(IOobj64* io);
    bool closeFile() noexcept;
    // Writes out what the buffer holds; false (with the error recorded) when that fails.
    bool flush() noexcept;
    bool writeOut(std::string_view bytes) noexcept;
    void fail(std::string message);
    void failOutput(std::string message);

    IOobj64 io_{};
    OutputFolder& folder_;
    std::vector<std::string> targets_;
    Progress& progress_;
    UniqueFd fd_;
    // The module writes a field dump or a mail header a few bytes at a time: gathered here, they cost
    // one system call per buffer instead of one per piece.
    static constexpr std::size_t kBufferBytes = 64u << 10;
    std::string buffer_;
    std::vector<std::uint64_t> sizes_;
    std::string label_;
    std::string error_;
    bool outputFailed_ = false;
};

}  // namespace nsfrex
