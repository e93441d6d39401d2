// Extraction of one database into its own folder: the planned tree, every chosen subfile written through
// the module's extraction slots, and index.json.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options.h"

namespace nsfrex {

enum class ExtractFormat { Auto, Text, Fields, Dxl };
std::string_view formatName(ExtractFormat format) noexcept;
std::optional<ExtractFormat> parseExtractFormat(std::string_view text) noexcept;

enum class Verbosity { Quiet, Normal, Verbose };

struct ExtractRequest {
    CommonOptions options;
    ExtractFormat format = ExtractFormat::Auto;
    bool withAttachments = false;  // notes through slot 7 together with their attachments
    bool force = false;            // replace an existing output folder
    bool salvage = false;          // also read the notes the note table no longer reaches
    std::vector<std::int32_t> indexes;  // empty: every subfile
    Verbosity verbosity = Verbosity::Normal;
    bool progress = false;  // an updating status line on stderr
};

struct SubfileFailure {
    int index = -1;  // -1: not a subfile (the manifest)
    std::string name;
    std::string message;
};

struct DatabaseOutcome {
    int exitStatus = 0;  // 0 everything extracted, 1 some subfiles failed, 2 the database was not extracted
    std::vector<SubfileFailure> failures;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

// Extracts `database` into `outDir`/`folderName` (a safe name). Why a database could not be extracted
// at all is printed on stderr at once, naming the database; failed subfiles are returned.
DatabaseOutcome extractDatabase(const std::filesystem::path& database, const std::filesystem::path& outDir,
                                const std::string& folderName, const ExtractRequest& request);

}  // namespace nsfrex
