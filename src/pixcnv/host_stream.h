// The host's memory stream as the image library uses it: whole-stream reads and writes through the
// stream's own functions, with every result checked.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "nsfrex/host.h"

namespace nsfrex::pixcnv {

class HostStream {
public:
    // Null when `handle` is null or the stream lacks a function the library calls.
    static std::optional<HostStream> from(void* handle);

    MemoryStream* get() const { return stream_; }
    std::optional<std::int64_t> position() const;
    bool seek(std::int64_t offset) const;  // from the start
    // Everything from the start to the end; null when the stream cannot be read whole.
    std::optional<std::vector<std::uint8_t>> readAll() const;
    bool write(std::span<const std::uint8_t> bytes) const;
    bool writeZeros(std::uint64_t count) const;

private:
    explicit HostStream(MemoryStream* stream) : stream_(stream) {}
    MemoryStream* stream_;
};

}  // namespace nsfrex::pixcnv
