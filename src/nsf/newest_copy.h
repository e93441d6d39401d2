// The superblock and the bucket descriptor block are written in alternating copies; the current one is
// the valid copy with the highest write count (the first such copy when several share it). When no copy
// is valid, the last copy's error explains why.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "database_header.h"
#include "nsf/error.h"

namespace nsf::detail {

// `writeCountAt`: where a copy's header holds its write count. Copies are read (checked and
// decompressed) newest first by the count their header states, and only until one is valid.
template <typename Block, typename ReadCopy>
Expected<Block> readNewestCopy(Bytes file, std::span<const Extent> copies, ReadCopy readCopy, std::size_t writeCountAt,
                               const char* structure, const char* noneNamed, std::uint64_t headerSize) {
    struct Candidate {
        std::uint32_t writeCount = 0;  // 0 when the header lies outside the file: reading it fails anyway
        std::size_t index = 0;
    };
    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (copies[i].size == 0) continue;
        auto head = slice(file, copies[i].offset, writeCountAt + 4);
        candidates.push_back({head ? loadLE<std::uint32_t>(head->data() + writeCountAt) : 0u, i});
    }
    // Highest count first, ties in file order (a plain sort: no temporary buffer).
    std::ranges::sort(candidates, [](const Candidate& a, const Candidate& b) {
        return a.writeCount != b.writeCount ? a.writeCount > b.writeCount : a.index < b.index;
    });
    std::optional<Error> lastError;
    std::size_t lastIndex = 0;
    for (const Candidate& c : candidates) {
        auto copy = readCopy(file, copies[c.index], static_cast<int>(c.index));
        if (copy) return std::move(*copy);
        if (!lastError || c.index > lastIndex) {
            lastError = copy.error();
            lastIndex = c.index;
        }
    }
    if (lastError) return std::unexpected(*lastError);
    return fail(ErrorKind::Corrupt, structure, noneNamed, headerSize);
}

}  // namespace nsf::detail
