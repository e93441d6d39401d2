#include "bucket_descriptor_block.h"

#include <optional>
#include <string>

#include "checksum.h"
#include "cx_decompress.h"
#include "newest_copy.h"

namespace nsf::detail {
namespace {

constexpr const char* kName = "bucket descriptor block";
constexpr std::uint64_t kMaxUncompressed = 64ull << 20;

Expected<BucketDescriptorBlock> readCopy(Bytes file, const Extent& extent, int copy) {
    using namespace bdb_layout;
    auto region = slice(file, extent.offset, extent.size);
    if (!region || region->size() < kHeaderSize + 4 + kFooterSize)
        return fail(ErrorKind::Truncated, kName, "slot too small", extent.offset);
    const std::uint8_t* h = region->data();
    auto u16 = [&](std::size_t off) { return loadLE<std::uint16_t>(h + off); };
    auto u32 = [&](std::size_t off) { return loadLE<std::uint32_t>(h + off); };
    if (u16(kSignature) != kSignatureValue) return fail(ErrorKind::BadSignature, kName, "expected 01 00", extent.offset);
    const std::uint32_t headerCheck =
        xor32(region->subspan(0, kHeaderCheck)) ^ xor32(region->subspan(kHeaderCheck + 4, kHeaderSize - kHeaderCheck - 4));
    if (headerCheck != u32(kHeaderCheck))
        return fail(ErrorKind::BadChecksum, kName, "header XOR does not match", extent.offset + kHeaderCheck);
    const std::uint32_t stored = u32(kStoredSize);
    if (stored < kHeaderSize + 4 + kFooterSize || stored > region->size())
        return fail(ErrorKind::Corrupt, kName, "stored size does not fit its slot", extent.offset + kStoredSize);
    if (u16(kCompression) != 1)
        return fail(ErrorKind::Unsupported, kName, "compression type " + std::to_string(u16(kCompression)),
                    extent.offset + kCompression);
    Bytes body = region->subspan(kHeaderSize, stored - kHeaderSize - kFooterSize);
    if (xor32(body) != loadLE<std::uint32_t>(h + stored - 4))
        return fail(ErrorKind::BadChecksum, kName, "body XOR does not match", extent.offset + stored - 4);
    auto compressed = slice(body, 4, loadLE<std::uint32_t>(body.data()));
    if (!compressed)
        return fail(ErrorKind::Corrupt, kName, "compressed length exceeds the stored body", extent.offset + kHeaderSize);

    const std::uint64_t uncompressedSize = u32(kUncompressedSize);
    const std::uint64_t nRrv = u32(kRrvCount), nNames = u32(kNameCount), textSize = u32(kTextSize),
                        nHash = u32(kHashCount);
    if (uncompressedSize > kMaxUncompressed)
        return fail(ErrorKind::Corrupt, kName, "uncompressed size too large", extent.offset + kUncompressedSize);
    // All four counts are below 2^32, so this sum cannot overflow 64 bits.
    if (kRrvDescriptorSize * nRrv + item_table_layout::kEntrySize * nNames + 4 + textSize + 2 * nHash !=
        uncompressedSize)
        return fail(ErrorKind::Corrupt, kName, "table sizes do not add up to the uncompressed size", extent.offset);

    auto data = cxDecompress(*compressed, uncompressedSize, kName, extent.offset + kHeaderSize + 4);
    if (!data) return std::unexpected(data.error());
    Bytes plain(*data);

    BucketDescriptorBlock bdb;
    bdb.copy = copy;
    bdb.writeCount = u32(kWriteCount);
    bdb.rrvBuckets.reserve(nRrv);
    for (std::uint64_t i = 0; i < nRrv; ++i) {
        const std::uint8_t* d = plain.data() + i * kRrvDescriptorSize;
        const std::uint32_t pos = loadLE<std::uint32_t>(d);
        RrvBucketDescriptor desc{std::uint64_t{pos & ~1u} * 256, (pos & 1u) != 0, loadLE<std::uint32_t>(d + 4)};
        if (!bdb.rrvBuckets.empty() && desc.firstId < bdb.rrvBuckets.back().firstId)
            return fail(ErrorKind::Corrupt, kName, "RRV bucket descriptors out of order", extent.offset);
        bdb.rrvBuckets.push_back(desc);
    }
    auto names = ItemNameTable::parse(plain.subspan(nRrv * kRrvDescriptorSize), static_cast<std::uint32_t>(nNames),
                                      static_cast<std::uint32_t>(textSize), extent.offset);
    if (!names) return std::unexpected(names.error());
    bdb.names = std::move(*names);
    return bdb;
}

}  // namespace

Expected<BucketDescriptorBlock> readBucketDescriptorBlock(Bytes file, const DatabaseHeader& header) {
    return readNewestCopy<BucketDescriptorBlock>(file, header.bdbs, readCopy, bdb_layout::kWriteCount, kName, "the database header names no bucket descriptor block", header.headerSize);
}

}  // namespace nsf::detail
