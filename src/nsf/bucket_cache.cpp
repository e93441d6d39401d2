#include "bucket_cache.h"

#include "bucket.h"

namespace nsf::detail {

Expected<BucketBytes> BucketCache::get(Bytes file, std::uint64_t offset, const char* structure,
                                       const FileSource* source) {
    std::lock_guard lock(mutex_);
    if (auto it = index_.find(offset); it != index_.end()) {
        recent_.splice(recent_.begin(), recent_, it->second);
        return it->second->second;
    }
    auto bucket = readBucket(file, offset, structure);
    if (!bucket) return std::unexpected(bucket.error());
    auto bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(*bucket));
    // The pages mapped around the bucket's own go with them: a listing reads every bucket once.
    releaseRead(source, file, offset, bytes->size());
    held_ += bytes->size();
    recent_.emplace_front(offset, bytes);
    index_.emplace(offset, recent_.begin());
    while (held_ > capacity_ && recent_.size() > 1) {
        held_ -= recent_.back().second->size();
        index_.erase(recent_.back().first);
        recent_.pop_back();
    }
    return bytes;
}

}  // namespace nsf::detail
