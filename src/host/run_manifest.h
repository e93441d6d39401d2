// DIR/nsfrex-run.json: one extract run as a whole, for scripts that drive large runs: every database
// of the run with its folder, state, counts, bytes, time and failures, and the totals. A shard writes
// nsfrex-run-K-of-N.json instead, so that shards sharing DIR do not overwrite each other's.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "extract_database.h"
#include "result.h"

namespace nsfrex {

struct RunDatabase {
    std::filesystem::path path;
    std::string folder;
    DatabaseOutcome outcome;
};

struct RunSummary {
    std::string format;
    std::string shard;  // "K/N", or empty
    std::string started;  // ISO 8601 UTC
    double seconds = 0;
    int exitStatus = 0;
    std::vector<RunDatabase> databases;
};

std::string runManifestName(std::string_view shard);
std::string runManifestJson(const RunSummary& run);
// Written under a temporary name and renamed: never seen half-written.
Result<void> writeRunManifest(const std::filesystem::path& outDir, const RunSummary& run);

// The current time as "YYYY-MM-DDTHH:MM:SSZ".
std::string utcNow();

}  // namespace nsfrex
