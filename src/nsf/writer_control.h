// The writer's control structures: the superblock, the bucket descriptor block and the database
// header, in the ODS 43 layouts superblock.h, bucket_descriptor_block.h and database_header.h read.
#pragma once

#include <cstdint>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/database.h"

namespace nsf::detail {

struct SuperblockContents {
    std::vector<std::uint32_t> summaryBucketPos;     // pos (offset / 256) of each summary bucket
    std::vector<std::uint32_t> nonSummaryBucketPos;  // pos of each non-summary bucket
    std::uint32_t liveRrvPos = 0;                    // the data RRV bucket kept live here (0: none)
    std::vector<std::uint8_t> liveRrvBucket;         // its bytes (kRrvBucketSize)
    std::uint32_t lowId = 0, highId = 0;             // the data RRV IDs in use
    TimeDate stamp;
};

// A superblock copy: header, CX body, footer.
std::vector<std::uint8_t> superblockImage(const SuperblockContents& sb, std::uint32_t writeCount);
// The largest superblock copy `superblockImage` can give for these bucket counts.
std::size_t superblockBound(std::size_t summaryBuckets, std::size_t nonSummaryBuckets);

struct RrvDescriptor {
    std::uint32_t pos = 0;
    bool nonData = false;
    std::uint32_t firstId = 0;
};

// A bucket descriptor block copy. `names` is NameTableWriter::entriesAndText().
std::vector<std::uint8_t> bdbImage(const std::vector<RrvDescriptor>& rrv, Bytes names, std::uint32_t nameCount,
                                   std::uint32_t textSize, TimeDate stamp, std::uint32_t writeCount);
std::size_t bdbBound(std::size_t rrvBuckets, std::size_t namesBytes);

struct HeaderContents {
    const DatabaseInfo* info = nullptr;
    std::uint32_t superblockPos[3] = {};
    std::uint32_t superblockSize[3] = {};
    std::uint32_t bdbPos[2] = {};
    std::uint32_t bdbSize[2] = {};
    std::uint32_t dataRrvPos = 0;
    std::uint32_t nonDataRrvPos = 0;
    std::uint64_t fileSize = 0;
    TimeDate stamp;
};

inline constexpr std::uint32_t kWrittenOds = 43;
inline constexpr std::size_t kWrittenHeaderSize = 1024;

// The file header and database header (kWrittenHeaderSize bytes).
std::vector<std::uint8_t> databaseHeaderImage(const HeaderContents& h);

}  // namespace nsf::detail
