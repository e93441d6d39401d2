// index.json: what one database's output folder holds, subfile by subfile, so that scripts need neither
// `nsfrex ls` nor `nsfrex meta`. The text depends only on its input (no run time, no absolute paths
// beyond the database path as given), so two runs over the same database give the same bytes. A
// folder holding it is complete: the folder is renamed into place only after index.json is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
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
    // For notes: whether the note is encrypted, and if so whether it was decrypted.
    std::optional<bool> encrypted;
    std::optional<bool> decrypted;
};

// What identifies the database file a folder was made from: a changed file is extracted again.
struct DatabaseStamp {
    std::uint64_t size = 0;
    std::string modified;  // ISO 8601 UTC with nanoseconds
    bool operator==(const DatabaseStamp&) const = default;
};

struct Manifest {
    std::string database;  // the database's file name
    std::string path;      // the database's path as given
    DatabaseStamp stamp;
    std::string format;
    bool root = false;
    std::optional<std::uint64_t> documents;     // data notes in the database; empty when unknown
    std::optional<std::uint64_t> notPresented;  // of those, the ones the module presents no file for
    std::uint64_t encryptedNotDecrypted = 0;
    std::vector<ManifestEntry> subfiles;
    std::vector<nsf::Damage> damage;  // what of the database could not be read
};

std::string manifestJson(const Manifest& manifest);
// The same text in three pieces, so that a large database's entries can be written as they are done:
// everything up to the subfile list (`manifest.subfiles` is not read), one entry, and the end.
std::string manifestHeadJson(const Manifest& manifest);
std::string manifestEntryJson(const ManifestEntry& entry, bool first);
std::string_view manifestTailJson(bool noSubfiles);

// The header of an index.json this host wrote: enough to tell whether it still matches its database.
struct ManifestHeader {
    DatabaseStamp stamp;
    std::string format;
    bool root = false;
    bool operator==(const ManifestHeader&) const = default;
};
std::optional<ManifestHeader> readManifestHeader(std::string_view json);

}  // namespace nsfrex
