// Everything a command needs to read one database through the module, built from its common options and
// torn down in the right order: the database closes first, then the module unloads, then the host goes.
#pragma once

#include <filesystem>
#include <memory>

#include "module.h"
#include "options.h"
#include "result.h"
#include "zapi.h"

namespace nsfrex {

struct OpenDatabase {
    std::unique_ptr<HostServices> host;
    ModuleLibrary module;
    ModuleSession session;
};

Result<OpenDatabase> openDatabase(CommonOptions& options, const std::filesystem::path& database);

}  // namespace nsfrex
