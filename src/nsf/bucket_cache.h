// Restored copies of the buckets a database reader has read lately. Record spans handed out point
// into these copies; each span's owner keeps its bucket alive, so eviction never invalidates one.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

using BucketBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

class BucketCache {
public:
    explicit BucketCache(std::size_t capacityBytes) : capacity_(capacityBytes) {}

    // The restored bucket at `offset` of `file` (readBucket), from the cache when it is there.
    // Safe to call from several threads.
    Expected<BucketBytes> get(Bytes file, std::uint64_t offset, const char* structure);

private:
    using Entry = std::pair<std::uint64_t, BucketBytes>;
    std::mutex mutex_;
    std::size_t capacity_;
    std::size_t held_ = 0;
    std::list<Entry> recent_;  // most recently used first
    std::unordered_map<std::uint64_t, std::list<Entry>::iterator> index_;
};

}  // namespace nsf::detail
