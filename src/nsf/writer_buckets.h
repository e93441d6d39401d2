// Buckets the writer fills: summary and non-summary buckets (records addressed by slot, bucket.h)
// and the RRV buckets of the note ID table (rrv_bucket.h).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/database.h"

namespace nsf::detail {

// Packs records into buckets in the order given. A bucket is 8 KB unless a record needs more; the
// larger sizes are those seen in the samples (16 and 32 KB, footer = size / 1024).
class BucketPacker {
public:
    struct Place {
        std::uint32_t bucket = 0;  // 1-based
        std::uint32_t slot = 0;    // 1-based
    };

    BucketPacker(std::size_t normalSize, std::uint32_t maxSlots) : normalSize_(normalSize), maxSlots_(maxSlots) {}

    // The largest record any bucket takes.
    static std::size_t largestRecord() noexcept;
    // Nothing when the record is larger than largestRecord().
    std::optional<Place> add(std::vector<std::uint8_t> record);
    std::vector<std::uint8_t>& record(Place place) { return buckets_.at(place.bucket - 1).records.at(place.slot - 1); }
    std::size_t count() const noexcept { return buckets_.size(); }
    std::size_t sizeOf(std::size_t index) const { return buckets_.at(index).size; }
    // The bytes of bucket `index` (0-based).
    std::vector<std::uint8_t> image(std::size_t index, TimeDate stamp) const;

private:
    struct Bucket {
        std::size_t size = 0;
        std::size_t used = 0;  // header and records
        std::vector<std::vector<std::uint8_t>> records;
    };
    static std::size_t footerOf(std::size_t size) noexcept { return size / 1024; }
    static bool fits(const Bucket& b, std::size_t record) noexcept;

    std::size_t normalSize_;
    std::uint32_t maxSlots_;
    std::vector<Bucket> buckets_;
};

// The note ID table: RRV buckets of 4096 bytes, each covering 508 IDs from its first ID in steps of 4.
struct RrvBucketImage {
    std::uint32_t firstId = 0;
    bool nonData = false;  // IDs below the first data ID (design notes and their objects)
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;  // (A, B) of first + 4*i
    std::vector<std::uint8_t> bytes() const;
};

inline constexpr std::size_t kWrittenRrvBucketSize = 4096;
inline constexpr NoteId kFirstDataId = 0x8F6;

// Buckets for every ID of `entries` (ID -> (A, B)). IDs below kFirstDataId go to non-data buckets.
// Every ID must be reachable in steps of 4 from the first ID of its bucket: within each kind the IDs
// must agree modulo 4 (false otherwise).
std::optional<std::vector<RrvBucketImage>> buildRrvBuckets(
    const std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>>& entries);

}  // namespace nsf::detail
