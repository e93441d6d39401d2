// The real sample databases every benchmark reads, sorted by name; empty when the folder is missing.
#pragma once

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "nsf/database.h"

namespace nsfrex_bench {

inline std::vector<std::filesystem::path> sampleDatabases() {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path dir = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf";
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Calls visit(database, item) for every item of every note that is not deleted, in every sample
// database that opens.
template <typename Visit>
void forEachSampleItem(Visit&& visit) {
    for (const auto& file : sampleDatabases()) {
        auto db = nsf::openDatabaseFile(file);
        if (!db) continue;
        auto notes = (*db)->notes();
        if (!notes) continue;
        for (const nsf::NoteEntry& entry : *notes) {
            if (entry.deleted) continue;
            auto note = (*db)->readNote(entry.id);
            if (!note) continue;
            for (const nsf::Item& item : note->items) visit(**db, item);
        }
    }
}

}  // namespace nsfrex_bench
