#include "database_header.h"

#include <algorithm>
#include <string>

namespace nsf::detail {

Expected<DatabaseHeader> parseDatabaseHeader(Bytes file, std::uint32_t headerSize) {
    using namespace database_header_layout;
    auto headerBytes = slice(file, 0, headerSize);
    if (!headerBytes || headerSize < kMinimumSize)
        return fail(ErrorKind::Truncated, "database header", "header does not fit in the file", 0);
    auto u16 = [&](std::size_t off) { return loadLE<std::uint16_t>(headerBytes->data() + off); };
    auto u32 = [&](std::size_t off) { return loadLE<std::uint32_t>(headerBytes->data() + off); };

    DatabaseHeader h;
    h.headerSize = headerSize;
    h.ods = u32(kOds);
    if (h.ods < 41 || h.ods > 55)
        return fail(ErrorKind::Unsupported, "database header",
                    "on-disk structure version " + std::to_string(h.ods) + " (supported: 41 to 55)", kOds);
    std::copy_n(headerBytes->data() + kDatabaseId, 8, h.databaseId.begin());
    std::copy_n(headerBytes->data() + kReplicaInfo, 8, h.replicaId.begin());
    h.databaseClass = u16(kDatabaseClass);
    h.databaseFlags = u16(kDatabaseFlags);
    h.rrvBucketSize = u16(kRrvBucketSize);
    h.summaryBucketSize = u16(kSummaryBucketSize);

    const std::uint8_t* info = headerBytes->data() + kInfoBuffer;
    const std::uint8_t* infoEnd = std::find(info, info + kInfoBufferSize, std::uint8_t{0});
    h.infoBuffer.assign(info, infoEnd);
    for (std::size_t i = 0; i < kSpecialIdCount; ++i) h.specialIds[i] = u32(kSpecialIds + 4 * i);

    // An extent that does not lie inside the file is kept as "no copy here"; choosing among the
    // copies (superblock.cpp, bucket_descriptor_block.cpp) fails only when no copy is usable.
    auto extent = [&](std::size_t posOffset, std::size_t sizeOffset) {
        Extent e{std::uint64_t{u32(posOffset)} * 256, u32(sizeOffset)};
        if (e.size == 0 || !slice(file, e.offset, e.size)) return Extent{};
        return e;
    };
    for (std::size_t i = 0; i < 4; ++i) h.superblocks[i] = extent(kSuperblocks + 8 * i, kSuperblocks + 8 * i + 4);
    h.bdbs = {extent(kBdb1Pos, kBdb1Size), extent(kBdb2Pos, kBdb2Size)};

    const std::uint8_t* lsec = headerBytes->data() + kDbInfo3;
    h.lsecFieldsSet = std::any_of(lsec, lsec + kDbInfo3Size, [](std::uint8_t b) { return b != 0; });
    return h;
}

}  // namespace nsf::detail
