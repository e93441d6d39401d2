#include "host_stream.h"

#include <algorithm>
#include <limits>

namespace nsfrex::pixcnv {
namespace {

constexpr int32_t kSeekStart = 0, kSeekEnd = 2;
// The stream functions take 32-bit sizes; larger transfers go in pieces of this size.
constexpr std::size_t kChunk = std::size_t{1} << 30;

}  // namespace

std::optional<HostStream> HostStream::from(void* handle) {
    auto* stream = static_cast<MemoryStream*>(handle);
    if (stream == nullptr || stream->fpRead == nullptr || stream->fpWrite == nullptr || stream->fpSeek == nullptr ||
        stream->fpTell == nullptr)
        return std::nullopt;
    return HostStream(stream);
}

std::optional<std::int64_t> HostStream::position() const {
    const std::int64_t at = stream_->fpTell(stream_);
    if (at < 0) return std::nullopt;
    return at;
}

bool HostStream::seek(std::int64_t offset) const { return stream_->fpSeek(stream_, offset, kSeekStart) == 0; }

std::optional<std::vector<std::uint8_t>> HostStream::readAll() const {
    if (stream_->fpSeek(stream_, 0, kSeekEnd) != 0) return std::nullopt;
    const std::optional<std::int64_t> size = position();
    if (!size || static_cast<std::uint64_t>(*size) > std::numeric_limits<std::uint32_t>::max() || !seek(0))
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*size));
    for (std::size_t done = 0; done < bytes.size();) {
        const auto want = static_cast<int32_t>(std::min(kChunk, bytes.size() - done));
        const int32_t got = stream_->fpRead(stream_, bytes.data() + done, want);
        if (got <= 0 || got > want) return std::nullopt;
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

bool HostStream::write(std::span<const std::uint8_t> bytes) const {
    for (std::size_t done = 0; done < bytes.size();) {
        const auto want = static_cast<int32_t>(std::min(kChunk, bytes.size() - done));
        if (stream_->fpWrite(stream_, bytes.data() + done, want) != want) return false;
        done += static_cast<std::size_t>(want);
    }
    return true;
}

bool HostStream::writeZeros(std::uint64_t count) const {
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(std::min<std::uint64_t>(count, 4096)), 0);
    for (std::uint64_t done = 0; done < count;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), count - done));
        if (!write(std::span(zeros).first(n))) return false;
        done += n;
    }
    return true;
}

}  // namespace nsfrex::pixcnv
