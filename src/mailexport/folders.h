// The folders of a database and the notes each holds.
#pragma once

#include <string>
#include <vector>

#include "notesapi/global.h"

namespace nsfmail {

struct Folder {
    std::string name;  // UTF-8, levels separated by '\'
    std::vector<NOTEID> notes;
};

std::vector<Folder> listFolders(DBHANDLE db);

}  // namespace nsfmail
