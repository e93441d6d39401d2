#include "writer_control.h"

#include <algorithm>

#include "bucket_descriptor_block.h"
#include "checksum.h"
#include "cx_compress.h"
#include "database_header.h"
#include "item_table.h"
#include "le_buffer.h"
#include "superblock.h"
#include "writer_buckets.h"

namespace nsf::detail {
namespace {

std::size_t ceilDiv(std::size_t a, std::size_t b) { return (a + b - 1) / b; }

// CX output never exceeds 9 bits per input byte plus the stream header and end marker.
std::size_t cxBound(std::size_t n) { return ceilDiv(9 * n + 3 + 20, 8); }

std::size_t summaryPages(std::size_t buckets) {
    return std::max<std::size_t>(1, ceilDiv(buckets, superblock_layout::kSummaryPerPage));
}
std::size_t nonSummaryPages(std::size_t buckets) { return ceilDiv(buckets, superblock_layout::kNonSummaryPerPage); }

std::size_t superblockPlainSize(std::size_t summary, std::size_t nonSummary) {
    using namespace superblock_layout;
    return summaryPages(summary) * kSummaryPageSize + nonSummaryPages(nonSummary) * kNonSummaryPageSize +
           kWrittenRrvBucketSize;
}

// Body (u32 compressed length, stream) and footer (TIMEDATE, XOR of the body) after `header`.
std::vector<std::uint8_t> withBodyAndFooter(LeBuffer header, Bytes plain, std::size_t storedSizeAt,
                                            TimeDate stamp) {
    const std::vector<std::uint8_t> packed = cxCompress(plain);
    const std::size_t bodyAt = header.size();
    header.u32(static_cast<std::uint32_t>(packed.size()));
    header.raw(packed);
    const std::uint32_t check = xor32(Bytes(header.bytes()).subspan(bodyAt));
    header.time(stamp);
    header.u32(check);
    header.put32(storedSizeAt, static_cast<std::uint32_t>(header.size()));
    return header.take();
}

}  // namespace

std::size_t superblockBound(std::size_t summaryBuckets, std::size_t nonSummaryBuckets) {
    using namespace superblock_layout;
    return kHeaderSize + 4 + cxBound(superblockPlainSize(summaryBuckets, nonSummaryBuckets)) + kFooterSize;
}

std::vector<std::uint8_t> superblockImage(const SuperblockContents& sb, std::uint32_t writeCount) {
    using namespace superblock_layout;
    const std::size_t sumPages = summaryPages(sb.summaryBucketPos.size());
    const std::size_t nonPages = nonSummaryPages(sb.nonSummaryBucketPos.size());
    LeBuffer plain(superblockPlainSize(sb.summaryBucketPos.size(), sb.nonSummaryBucketPos.size()), 0);
    for (std::size_t i = 0; i < sb.summaryBucketPos.size(); ++i) {
        const std::size_t at =
            (i / kSummaryPerPage) * kSummaryPageSize + kSummaryDescriptorsAt + (i % kSummaryPerPage) * kSummaryDescriptorSize;
        plain.put32(at, sb.summaryBucketPos[i]);
        plain.putTime(at + 4, sb.stamp);
    }
    const std::size_t nonBase = sumPages * kSummaryPageSize;
    for (std::size_t i = 0; i < sb.nonSummaryBucketPos.size(); ++i) {
        const std::size_t at = nonBase + (i / kNonSummaryPerPage) * kNonSummaryPageSize + kNonSummaryDescriptorsAt +
                               (i % kNonSummaryPerPage) * kNonSummaryDescriptorSize;
        plain.put32(at, sb.nonSummaryBucketPos[i]);
    }
    const std::size_t rrvAt = nonBase + nonPages * kNonSummaryPageSize;
    if (!sb.liveRrvBucket.empty()) plain.putRaw(rrvAt, sb.liveRrvBucket);

    LeBuffer h(kHeaderSize, 0);
    h.put16(kSignature, kSignatureValue);
    h.putTime(2, sb.stamp);
    h.put32(kUncompressedSize, static_cast<std::uint32_t>(plain.size()));
    h.put32(kSummaryBuckets, static_cast<std::uint32_t>(sb.summaryBucketPos.size()));
    h.put32(kNonSummaryBuckets, static_cast<std::uint32_t>(sb.nonSummaryBucketPos.size()));
    h.put32(kRrvBucketSize, static_cast<std::uint32_t>(kWrittenRrvBucketSize));
    h.put32(kLiveRrvPos, sb.liveRrvPos);
    h.put32(34, sb.lowId);
    h.put32(38, sb.highId);
    h.put32(kWriteCount, writeCount);
    h.put16(kCompression, 1);
    h.put32(kSummaryPages, static_cast<std::uint32_t>(sumPages));
    h.put32(kNonSummaryPages, static_cast<std::uint32_t>(nonPages));
    return withBodyAndFooter(std::move(h), plain.bytes(), kStoredSize, sb.stamp);
}

std::size_t bdbBound(std::size_t rrvBuckets, std::size_t namesBytes) {
    using namespace bdb_layout;
    return kHeaderSize + 4 + cxBound(rrvBuckets * kRrvDescriptorSize + namesBytes) + kFooterSize;
}

std::vector<std::uint8_t> bdbImage(const std::vector<RrvDescriptor>& rrv, Bytes names, std::uint32_t nameCount,
                                   std::uint32_t textSize, TimeDate stamp, std::uint32_t writeCount) {
    using namespace bdb_layout;
    LeBuffer plain;
    for (const RrvDescriptor& d : rrv) {
        plain.u32(d.pos | (d.nonData ? 1u : 0u));
        plain.u32(d.firstId);
    }
    plain.raw(names);  // no hash table: the reader finds names by index

    LeBuffer h(kHeaderSize, 0);
    h.put16(kSignature, kSignatureValue);
    h.put16(2, 2);  // version
    h.put16(kCompression, 1);
    h.put32(kUncompressedSize, static_cast<std::uint32_t>(plain.size()));
    h.put32(kWriteCount, writeCount);
    h.putTime(18, stamp);
    h.put32(kNameCount, nameCount);
    h.put32(kTextSize, textSize);
    h.put32(kRrvCount, static_cast<std::uint32_t>(rrv.size()));
    h.put32(kHashCount, 0);
    // The stored size is part of the header check, so the body is packed first.
    std::vector<std::uint8_t> out = withBodyAndFooter(std::move(h), plain.bytes(), kStoredSize, stamp);
    Bytes all(out);
    const std::uint32_t check = xor32(all.subspan(0, kHeaderCheck)) ^
                                xor32(all.subspan(kHeaderCheck + 4, kHeaderSize - kHeaderCheck - 4));
    for (int i = 0; i < 4; ++i) out[kHeaderCheck + i] = static_cast<std::uint8_t>(check >> (8 * i));
    return out;
}

std::vector<std::uint8_t> databaseHeaderImage(const HeaderContents& c) {
    using namespace database_header_layout;
    const DatabaseInfo& info = *c.info;
    LeBuffer h(kWrittenHeaderSize, 0);
    h.put16(0, 0x001A);
    h.put32(2, static_cast<std::uint32_t>(kWrittenHeaderSize));
    h.put32(kOds, kWrittenOds);
    h.putRaw(kDatabaseId, info.databaseId);
    h.put32(kNonDataRrvPos, c.nonDataRrvPos);
    h.putTime(kDbInfo + 28, c.stamp);  // last bucket modification
    h.put32(kDataRrvPos, c.dataRrvPos);
    h.put32(kDbInfo + 60, kFirstDataId);
    h.put16(kRrvBucketSize, static_cast<std::uint16_t>(kWrittenRrvBucketSize));
    h.put16(kSummaryBucketSize, 8192);
    h.put32(kFileSize256, static_cast<std::uint32_t>(c.fileSize / 256));
    h.putRaw(kReplicaInfo, info.replicaId);
    // The info buffer keeps a NUL within its 128 bytes.
    const std::size_t infoLength = std::min<std::size_t>(info.infoBuffer.size(), kInfoBufferSize - 1);
    h.putRaw(kInfoBuffer, Bytes(info.infoBuffer).first(infoLength));
    for (std::size_t i = 0; i < std::min(info.specialNoteIds.size(), kSpecialIdCount); ++i)
        h.put32(kSpecialIds + 4 * i, info.specialNoteIds[i]);
    for (std::size_t i = 0; i < 3; ++i) {
        h.put32(kSuperblocks + 8 * i, c.superblockPos[i]);
        h.put32(kSuperblocks + 8 * i + 4, c.superblockSize[i]);
    }
    h.put32(kBdb1Size, c.bdbSize[0]);
    h.put32(kBdb1Pos, c.bdbPos[0]);
    h.put32(kBdb2Size, c.bdbSize[1]);
    h.put32(kBdb2Pos, c.bdbPos[1]);
    return h.take();
}

}  // namespace nsf::detail
