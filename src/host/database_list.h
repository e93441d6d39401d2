// The databases of one extract run, in a stable order: the command line's paths in their order, a
// folder (with -r) replaced by every .nsf and .ntf file below it in byte order of their paths, then
// the paths of --files-from. A database named twice is done once. Shards take every N-th database
// of that order, so that N shard runs together do the whole list, each database once.
#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "result.h"

namespace nsfrex {

struct Shard {
    std::size_t index = 0;  // K of K/N, from 0
    std::size_t count = 1;  // N
};

// "K/N" with 0 <= K < N.
std::optional<Shard> parseShard(std::string_view text);

// Paths from a --files-from stream: one per line (a trailing '\r' and empty lines dropped), or
// NUL-separated.
std::vector<std::filesystem::path> readPathList(std::istream& in, bool nulSeparated);

// Expands folders (only with `recursive`; without, a folder is an error) and drops repeats of a
// database already listed (the same file, however it was named).
Result<std::vector<std::filesystem::path>> expandDatabases(const std::vector<std::filesystem::path>& given,
                                                           bool recursive);

}  // namespace nsfrex
