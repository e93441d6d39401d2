// The superblock and the bucket descriptor block are written in alternating copies; the current one is
// the valid copy with the highest write count. When no copy is valid, the last copy's error explains why.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "database_header.h"
#include "nsf/error.h"

namespace nsf::detail {

template <typename Block, typename ReadCopy>
Expected<Block> readNewestCopy(Bytes file, std::span<const Extent> copies, ReadCopy readCopy,
                               const char* structure, const char* noneNamed, std::uint64_t headerSize) {
    std::optional<Block> best;
    std::optional<Error> lastError;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (copies[i].size == 0) continue;
        auto copy = readCopy(file, copies[i], static_cast<int>(i));
        if (!copy) {
            lastError = copy.error();
            continue;
        }
        if (!best || copy->writeCount > best->writeCount) best = std::move(*copy);
    }
    if (best) return std::move(*best);
    if (lastError) return std::unexpected(*lastError);
    return fail(ErrorKind::Corrupt, structure, noneNamed, headerSize);
}

}  // namespace nsf::detail
