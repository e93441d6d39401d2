#include "rrv_bucket.h"

#include "checksum.h"

namespace nsf::detail {

std::optional<RrvLocation> decodeRrvEntry(std::uint32_t a, std::uint32_t b) noexcept {
    if (a == 0 || a == 0xFFFFFFFF || a == 0x7FFFFFFF) return std::nullopt;
    RrvLocation loc;
    if (a & 0x80000000u) {
        loc.kind = RrvLocation::Kind::BucketSlot;
        loc.bucket = a & 0xFFFFFFu;
        loc.slot = b & 0x7FFu;
        if (loc.bucket == 0 || loc.slot == 0) return std::nullopt;
    } else {
        loc.kind = RrvLocation::Kind::FilePosition;
        loc.offset = std::uint64_t{a} * 256;
    }
    return loc;
}

Expected<RrvBucket> parseRrvBucket(Bytes data, bool verifyChecksum, std::uint64_t fileOffset) {
    using namespace rrv_bucket_layout;
    if (data.size() < kHeaderSize) return fail(ErrorKind::Truncated, "RRV bucket", "shorter than its header", fileOffset);
    if (data[0] != kSignature0 || data[1] != kSignature1)
        return fail(ErrorKind::BadSignature, "RRV bucket", "expected 06 20", fileOffset);
    if (verifyChecksum && xor32(data.subspan(kHeaderSize)) != loadLE<std::uint32_t>(data.data() + kChecksum))
        return fail(ErrorKind::BadChecksum, "RRV bucket", "entry XOR does not match", fileOffset + kChecksum);
    RrvBucket bucket;
    bucket.firstId = loadLE<std::uint32_t>(data.data() + kFirstId);
    const std::size_t count = (data.size() - kHeaderSize) / kEntrySize;
    bucket.entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = data.data() + kHeaderSize + i * kEntrySize;
        bucket.entries.emplace_back(loadLE<std::uint32_t>(e), loadLE<std::uint32_t>(e + 4));
    }
    return bucket;
}

}  // namespace nsf::detail
