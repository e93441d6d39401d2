// index.json: what one database's output folder holds, subfile by subfile, so that scripts need neither
// `nsfrex ls` nor `nsfrex meta`. The text depends only on its input (no run time, no absolute paths),
// so two runs over the same database give the same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "nsf/damage.h"
#include "subfiles.h"

namespace nsfrex {

struct ManifestEntry {
    SubfileEntry subfile;
    std::optional<std::string> path;  // relative to the database folder; empty when nothing was written
    std::optional<std::uint64_t> size;  // bytes written; empty for folders and failures
    std::string status;               // "ok", "failed" or "skipped"
    std::optional<std::string> error;
    // The module's default mail fields, for notes; a field without a value is null.
    std::optional<std::vector<std::pair<std::string, std::optional<std::string>>>> metadata;
};

struct Manifest {
    std::string database;  // the database's file name
    std::string format;
    bool root = false;
    std::vector<ManifestEntry> subfiles;
    std::vector<nsf::Damage> damage;  // what of the database could not be read
};

std::string manifestJson(const Manifest& manifest);

}  // namespace nsfrex
