// extract --format eml / mbox: mail notes as messages written by the mail exporter library
// (libnsfrexmail.so, loaded beside the executable), with rich-text bodies rendered by the module.
#pragma once

#include <filesystem>
#include <string>

#include "extract_database.h"

namespace nsfrex {

inline constexpr std::string_view kMailExporterFileName = "libnsfrexmail.so";
inline constexpr std::string_view kNoFolderMailbox = "No folder";

DatabaseOutcome extractMailDatabase(const std::filesystem::path& database, const std::filesystem::path& outDir,
                                    const std::string& folderName, const ExtractRequest& request);

}  // namespace nsfrex
