#include "extract_tree.h"

#include <map>

#include "safe_name.h"
#include "text.h"

namespace nsfrex {
namespace {

bool holdsChildren(std::int32_t type) noexcept { return type == TMSubFileType_Main || type == TMSubFileType_Folder; }

std::string joinPath(std::string_view folder, std::string_view name) {
    return folder.empty() ? std::string(name) : cat(folder, "/", name);
}

}  // namespace

std::vector<PlannedSubfile> planTree(std::span<const SubfileEntry> subfiles, std::string_view rootName) {
    std::vector<PlannedSubfile> plan(subfiles.size());
    std::map<std::string, FolderNames> folders;  // by folder path; "" is the database folder
    folders[""].claim(kManifestName);
    folders[""].claim(kManifestTemporaryName);
    std::vector<std::string> childFolder(subfiles.size());  // chosen when the first child arrives
    std::vector<bool> hasChildFolder(subfiles.size(), false);

    for (std::size_t i = 0; i < subfiles.size(); ++i) {
        const SubfileEntry& entry = subfiles[i];
        // The module lists a parent before its children; anything else is placed at the top.
        const int parent = entry.parent;
        const bool validParent = parent >= 0 && static_cast<std::size_t>(parent) < i &&
                                 holdsChildren(subfiles[static_cast<std::size_t>(parent)].type);
        std::string folder;
        if (validParent) {
            const auto p = static_cast<std::size_t>(parent);
            if (!hasChildFolder[p]) {
                // A note's attachments go to a folder beside the note, named after its file.
                const std::string& notePath = plan[p].path;
                const std::size_t slash = notePath.rfind('/');
                const std::string parentFolder = slash == std::string::npos ? std::string() : notePath.substr(0, slash);
                const std::string_view noteName = std::string_view(notePath).substr(slash == std::string::npos ? 0 : slash + 1);
                const std::string name = folders[parentFolder].claim(safeFileName(splitExtension(noteName).stem, cat("subfile_", parent)));
                childFolder[p] = joinPath(parentFolder, name);
                hasChildFolder[p] = true;
            }
            folder = childFolder[p];
            plan[p].children.push_back(static_cast<int>(i));
        }

        PlannedSubfile& planned = plan[i];
        const std::string fallback = cat("subfile_", entry.index);
        if (entry.type == TMSubFileType_Folder) {
            planned.isFolder = true;
            const std::string name = folders[folder].claim(safeFileName(entry.name.value_or(std::string(rootName)), fallback));
            planned.path = joinPath(folder, name);
            childFolder[i] = planned.path;  // a folder holds its children itself
            hasChildFolder[i] = true;
        } else {
            planned.path = joinPath(folder, folders[folder].claim(safeFileName(entry.name.value_or(""), fallback)));
        }
    }
    return plan;
}

}  // namespace nsfrex
