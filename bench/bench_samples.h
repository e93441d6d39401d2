// The real sample databases every benchmark reads, sorted by name; empty when the folder is missing.
#pragma once

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace nsfrex_bench {

inline std::vector<std::filesystem::path> sampleDatabases() {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path dir = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf";
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace nsfrex_bench
