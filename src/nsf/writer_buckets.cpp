#include "writer_buckets.h"

#include "bucket.h"
#include "bucket_stamps.h"
#include "checksum.h"
#include "le_buffer.h"
#include "rrv_bucket.h"

namespace nsf::detail {
namespace {

constexpr std::size_t kBucketSizes[] = {8192, 16384, 32768};
constexpr std::size_t kLargestBucket = 32768;

}  // namespace

std::size_t BucketPacker::largestRecord() noexcept {
    return kLargestBucket - bucket_layout::kHeaderSize - kLargestBucket / 1024 - bucket_layout::kSlotEntrySize;
}

bool BucketPacker::fits(const Bucket& b, std::size_t record) noexcept {
    const std::size_t index = (b.records.size() + 1) * bucket_layout::kSlotEntrySize;
    return b.used + record + index + footerOf(b.size) <= b.size;
}

std::optional<BucketPacker::Place> BucketPacker::add(std::vector<std::uint8_t> record) {
    if (record.size() > largestRecord()) return std::nullopt;
    if (buckets_.empty() || buckets_.back().records.size() >= maxSlots_ || !fits(buckets_.back(), record.size())) {
        Bucket b;
        b.used = bucket_layout::kHeaderSize;
        for (std::size_t size : kBucketSizes) {
            if (size < normalSize_) continue;
            b.size = size;
            if (fits(b, record.size())) break;
        }
        buckets_.push_back(std::move(b));
    }
    Bucket& b = buckets_.back();
    b.used += record.size();
    b.records.push_back(std::move(record));
    return Place{static_cast<std::uint32_t>(buckets_.size()), static_cast<std::uint32_t>(b.records.size())};
}

std::vector<std::uint8_t> BucketPacker::image(std::size_t index, TimeDate stamp) const {
    using namespace bucket_layout;
    const Bucket& b = buckets_.at(index);
    // Free space is 0xAA-filled, as in the samples. Built by appending: filling the header of a vector
    // sized at run time trips a false -Warray-bounds in GCC 12 at -O2.
    LeBuffer out;
    out.zeros(kHeaderSize);
    out.bytes().resize(b.size, 0xAA);
    out.bytes()[0] = kSignature0;
    out.bytes()[1] = kSignature1;
    out.put32(kSize, static_cast<std::uint32_t>(b.size));
    out.putTime(10, stamp);
    out.put32(kSlotCount, static_cast<std::uint32_t>(b.records.size()));
    out.put32(kFooterSize, static_cast<std::uint32_t>(footerOf(b.size)));
    std::size_t at = kHeaderSize;
    for (std::size_t s = 0; s < b.records.size(); ++s) {
        const std::vector<std::uint8_t>& r = b.records[s];
        out.putRaw(at, r);
        const std::size_t entry = b.size - footerOf(b.size) - (s + 1) * kSlotEntrySize;
        out.put16(entry, static_cast<std::uint16_t>(at));
        out.put16(entry + 2, static_cast<std::uint16_t>(r.size()));
        at += r.size();
    }
    std::fill(out.bytes().end() - static_cast<std::ptrdiff_t>(footerOf(b.size)), out.bytes().end(), std::uint8_t{0});
    // What real stamps mean is not known; they differ from bucket to bucket. The writer gives bucket
    // i the stamp i mod 15 + 1, never 0, so that a reader that skips the restore misreads the files
    // it writes as it would misread real ones.
    applyStamps(out.bytes(), static_cast<std::uint8_t>(index % 15 + 1));
    return out.take();
}

std::vector<std::uint8_t> RrvBucketImage::bytes() const {
    using namespace rrv_bucket_layout;
    LeBuffer out(kHeaderSize, 0);
    out.bytes()[0] = kSignature0;
    out.bytes()[1] = kSignature1;
    out.put32(kFirstId, firstId);
    for (const auto& [a, b] : entries) {
        out.u32(a);
        out.u32(b);
    }
    while (out.size() < kWrittenRrvBucketSize) out.u32(0xFFFFFFFFu);  // unused entries
    out.put32(kChecksum, xor32(Bytes(out.bytes()).subspan(kHeaderSize)));
    return out.take();
}

std::optional<std::vector<RrvBucketImage>> buildRrvBuckets(
    const std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>>& entries) {
    using namespace rrv_bucket_layout;
    constexpr std::uint32_t kPerBucket = (kWrittenRrvBucketSize - kHeaderSize) / kEntrySize;
    std::vector<RrvBucketImage> out;
    for (const auto& [id, entry] : entries) {
        const bool nonData = id < kFirstDataId;
        RrvBucketImage* b = out.empty() ? nullptr : &out.back();
        if (b == nullptr || b->nonData != nonData || id - b->firstId >= kPerBucket * kIdStep) {
            // The first data bucket starts at the first data ID when it can, as in the samples.
            std::uint32_t first = id;
            if (!nonData && (b == nullptr || b->nonData) && id % kIdStep == kFirstDataId % kIdStep &&
                id - kFirstDataId < kPerBucket * kIdStep)
                first = kFirstDataId;
            out.push_back(RrvBucketImage{first, nonData, {}});
            b = &out.back();
        } else if ((id - b->firstId) % kIdStep != 0) {
            return std::nullopt;  // not reachable from its bucket's first ID
        }
        const std::size_t index = (id - b->firstId) / kIdStep;
        b->entries.resize(index + 1, {0xFFFFFFFFu, 0xFFFFFFFFu});
        b->entries[index] = entry;
    }
    return out;
}

}  // namespace nsf::detail
