// The path the module is given for a database. The module names a database's subfiles after the text
// between the last '/' before the path's first '.' and that '.', so the same database would be named
// differently under "my.dbs/" or "~/.cache/". The alias is a link named like the database file in a
// private folder whose path holds no '.', pointing at a descriptor of the database held open: whatever
// happens to the original path meanwhile, the module reads the file that was checked here.
#pragma once

#include <filesystem>
#include <string>

#include "output_folder.h"
#include "result.h"

namespace nsfrex {

class DatabaseAlias {
public:
    // Fails when the database cannot be opened or is not a regular file, naming the cause.
    static Result<DatabaseAlias> create(const std::filesystem::path& database);

    DatabaseAlias(DatabaseAlias&& other) noexcept;
    DatabaseAlias& operator=(DatabaseAlias&&) = delete;
    DatabaseAlias(const DatabaseAlias&) = delete;
    ~DatabaseAlias();

    // "<private folder>/<database file name>".
    const std::string& path() const noexcept { return path_; }

private:
    DatabaseAlias(UniqueFd file, std::string folder, std::string path)
        : file_(std::move(file)), folder_(std::move(folder)), path_(std::move(path)) {}

    UniqueFd file_;
    std::string folder_;  // empty once moved from
    std::string path_;
};

// Where private folders go: $TMPDIR when its path holds no '.', else /tmp.
std::filesystem::path dotFreeTempBase();

}  // namespace nsfrex
