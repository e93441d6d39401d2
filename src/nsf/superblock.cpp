#include "superblock.h"

#include <optional>
#include <string>

#include "checksum.h"
#include "cx_decompress.h"
#include "newest_copy.h"

namespace nsf::detail {
namespace {

constexpr const char* kName = "superblock";

// The largest uncompressed superblock accepted: 64 descriptor pages of each kind plus generous
// tables. Real superblocks of the samples are about 31 KB.
constexpr std::uint64_t kMaxUncompressed = 64ull << 20;

Expected<Superblock> readCopy(Bytes file, const Extent& extent, int copy) {
    using namespace superblock_layout;
    auto region = slice(file, extent.offset, extent.size);
    if (!region || region->size() < kHeaderSize + 4 + kFooterSize)
        return fail(ErrorKind::Truncated, kName, "superblock slot too small", extent.offset);
    const std::uint8_t* h = region->data();
    auto u16 = [&](std::size_t off) { return loadLE<std::uint16_t>(h + off); };
    auto u32 = [&](std::size_t off) { return loadLE<std::uint32_t>(h + off); };
    if (u16(kSignature) != kSignatureValue)
        return fail(ErrorKind::BadSignature, kName, "expected 0E 00", extent.offset);
    const std::uint32_t stored = u32(kStoredSize);
    if (stored < kHeaderSize + 4 + kFooterSize || stored > region->size())
        return fail(ErrorKind::Corrupt, kName, "stored size " + std::to_string(stored) + " does not fit its slot",
                    extent.offset + kStoredSize);
    if (u16(kCompression) != 1)
        return fail(ErrorKind::Unsupported, kName, "compression type " + std::to_string(u16(kCompression)),
                    extent.offset + kCompression);
    Bytes body = region->subspan(kHeaderSize, stored - kHeaderSize - kFooterSize);
    const std::uint32_t storedCheck = loadLE<std::uint32_t>(h + stored - 4);
    if (xor32(body) != storedCheck)
        return fail(ErrorKind::BadChecksum, kName, "body XOR does not match", extent.offset + stored - 4);
    const std::uint32_t compressedLength = loadLE<std::uint32_t>(body.data());
    auto compressed = slice(body, 4, compressedLength);
    if (!compressed)
        return fail(ErrorKind::Corrupt, kName, "compressed length exceeds the stored body",
                    extent.offset + kHeaderSize);
    const std::uint64_t uncompressedSize = u32(kUncompressedSize);
    if (uncompressedSize > kMaxUncompressed)
        return fail(ErrorKind::Corrupt, kName, "uncompressed size too large", extent.offset + kUncompressedSize);

    const std::uint64_t summaryCount = u32(kSummaryBuckets);
    const std::uint64_t nonSummaryCount = u32(kNonSummaryBuckets);
    const std::uint64_t summaryPages = u32(kSummaryPages);
    const std::uint64_t nonSummaryPages = u32(kNonSummaryPages);
    const std::uint64_t bitmaps = u32(kBitmaps);
    const std::uint64_t rrvSize = u32(kRrvBucketSize);
    // Check the counts against the size before anything is sized by them.
    if (summaryPages > 1024 || nonSummaryPages > 1024 || bitmaps > (1u << 20) || rrvSize > (1u << 20))
        return fail(ErrorKind::Corrupt, kName, "implausible page or bitmap count", extent.offset);
    if (summaryCount > summaryPages * kSummaryPerPage || nonSummaryCount > nonSummaryPages * kNonSummaryPerPage)
        return fail(ErrorKind::Corrupt, kName, "more buckets than the descriptor pages hold", extent.offset);
    const std::uint64_t rrvAt = summaryPages * kSummaryPageSize + nonSummaryPages * kNonSummaryPageSize +
                                bitmaps * kBitmapDescriptorSize;
    if (rrvAt + rrvSize > uncompressedSize)
        return fail(ErrorKind::Corrupt, kName, "descriptor pages exceed the uncompressed size", extent.offset);

    auto data = cxDecompress(*compressed, uncompressedSize, kName, extent.offset + kHeaderSize + 4);
    if (!data) return std::unexpected(data.error());
    Bytes plain(*data);

    Superblock sb;
    sb.copy = copy;
    sb.writeCount = u32(kWriteCount);
    sb.summaryBuckets.reserve(summaryCount);
    for (std::uint64_t i = 0; i < summaryCount; ++i) {
        const std::uint64_t at = (i / kSummaryPerPage) * kSummaryPageSize + kSummaryDescriptorsAt +
                                 (i % kSummaryPerPage) * kSummaryDescriptorSize;
        sb.summaryBuckets.push_back(std::uint64_t{loadLE<std::uint32_t>(plain.data() + at)} * 256);
    }
    const std::uint64_t nonSummaryBase = summaryPages * kSummaryPageSize;
    sb.nonSummaryBuckets.reserve(nonSummaryCount);
    for (std::uint64_t i = 0; i < nonSummaryCount; ++i) {
        const std::uint64_t at = nonSummaryBase + (i / kNonSummaryPerPage) * kNonSummaryPageSize +
                                 kNonSummaryDescriptorsAt + (i % kNonSummaryPerPage) * kNonSummaryDescriptorSize;
        sb.nonSummaryBuckets.push_back(std::uint64_t{loadLE<std::uint32_t>(plain.data() + at)} * 256);
    }
    const std::uint32_t livePos = u32(kLiveRrvPos);
    if (livePos != 0 && livePos != 0xFFFFFFFF && rrvSize != 0) {
        sb.liveRrvOffset = std::uint64_t{livePos} * 256;
        sb.liveRrvBucket.assign(plain.begin() + static_cast<std::ptrdiff_t>(rrvAt),
                                plain.begin() + static_cast<std::ptrdiff_t>(rrvAt + rrvSize));
    }
    return sb;
}

}  // namespace

Expected<Superblock> readSuperblock(Bytes file, const DatabaseHeader& header) {
    return readNewestCopy<Superblock>(file, header.superblocks, readCopy, superblock_layout::kWriteCount, kName, "the database header names no superblock", header.headerSize);
}

}  // namespace nsf::detail
