// Where each subfile of a database goes on disk, relative to the database's output folder: the module's
// tree, with a note's attachments in a folder named after the note's file (without its extension) beside
// it, and the notes of a root folder inside a folder of that name. Planned before anything is written,
// so that the layout depends on the subfile table alone.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "subfiles.h"

namespace nsfrex {

inline constexpr std::string_view kManifestName = "index.json";
// index.json is written under this name first; no subfile is given either.
inline constexpr std::string_view kManifestTemporaryName = "index.json.partial";

struct PlannedSubfile {
    std::string path;         // '/'-separated, relative to the database folder; never empty
    bool isFolder = false;    // a folder subfile: `path` is a folder to create
    std::vector<int> children;  // the subfiles placed inside this one's folder, in index order
};

// One entry per subfile, in index order. `rootName` names a folder subfile that has no name of its own.
std::vector<PlannedSubfile> planTree(std::span<const SubfileEntry> subfiles, std::string_view rootName);

}  // namespace nsfrex
