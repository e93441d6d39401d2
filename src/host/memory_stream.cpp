#include "memory_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "memory_service.h"

namespace nsfrex {
namespace {

// Far above anything a stream holds, far enough below INT64_MAX that position arithmetic cannot overflow.
constexpr std::int64_t kMaxStreamSize = std::int64_t{1} << 40;

HostAllocator& allocatorOf(MemoryStream* stream) { return *static_cast<HostAllocator*>(stream->pHostData); }

bool reserve(MemoryStream* stream, std::int64_t cbNeeded) {
    if (cbNeeded <= stream->cbCapacity) return true;
    std::int64_t capacity = std::max<std::int64_t>(stream->cbCapacity, 256);
    while (capacity < cbNeeded) capacity *= 2;
    void* grown = allocatorOf(stream).reallocate(stream->pbData, static_cast<std::size_t>(capacity));
    if (grown == nullptr) return false;
    stream->pbData = static_cast<std::uint8_t*>(grown);
    stream->cbCapacity = capacity;
    return true;
}

std::int32_t streamPrepare(MemoryStream*) { return 1; }

std::int32_t streamRead(MemoryStream* stream, void* pv, std::int32_t cb) {
    if (cb < 0 || (pv == nullptr && cb > 0)) return -1;
    const std::int64_t available = std::max<std::int64_t>(stream->cbData - stream->nPosition, 0);
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(cb, available));
    if (n > 0) std::memcpy(pv, stream->pbData + stream->nPosition, static_cast<std::size_t>(n));
    stream->nPosition += n;
    return n;
}

std::int32_t streamWrite(MemoryStream* stream, const void* pv, std::int32_t cb) {
    if (cb < 0 || (pv == nullptr && cb > 0)) return -1;
    if (cb == 0) return 0;
    const std::int64_t end = stream->nPosition + cb;
    if (end > kMaxStreamSize || !reserve(stream, end)) return -1;
    if (stream->nPosition > stream->cbData)
        std::memset(stream->pbData + stream->cbData, 0, static_cast<std::size_t>(stream->nPosition - stream->cbData));
    std::memcpy(stream->pbData + stream->nPosition, pv, static_cast<std::size_t>(cb));
    stream->nPosition = end;
    stream->cbData = std::max(stream->cbData, end);
    return cb;
}

std::int32_t streamSeek(MemoryStream* stream, std::int64_t off, std::int32_t origin) {
    std::int64_t base = 0;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = stream->nPosition; break;
        case 2: base = stream->cbData; break;
        default: return -1;
    }
    // base is at most kMaxStreamSize, so only an offset out of that range could overflow the sum.
    if (off < -kMaxStreamSize || off > kMaxStreamSize) return -1;
    const std::int64_t position = base + off;
    if (position < 0 || position > kMaxStreamSize) return -1;
    stream->nPosition = position;
    return 0;
}

std::int64_t streamTell(MemoryStream* stream) { return stream->nPosition; }

void streamRelease(MemoryStream* stream) {
    HostAllocator& allocator = allocatorOf(stream);
    allocator.release(stream->pbData);
    allocator.release(stream);
}

}  // namespace

MemoryStream* openMemoryStream(HostAllocator& allocator, ZAPI* zapi) {
    auto* stream = static_cast<MemoryStream*>(allocator.allocate(sizeof(MemoryStream)));
    if (stream == nullptr) return nullptr;
    *stream = MemoryStream{};
    stream->pHostData = &allocator;
    stream->hStream = stream;  // the image library gets the stream itself as its handle
    stream->pZAPI = zapi;
    stream->fpPrepare = streamPrepare;
    stream->fpRead = streamRead;
    stream->fpWrite = streamWrite;
    stream->fpSeek = streamSeek;
    stream->fpTell = streamTell;
    stream->fpRelease = streamRelease;
    return stream;
}

}  // namespace nsfrex
