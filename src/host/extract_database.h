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
    bool resume = false;           // skip a database whose folder is complete and still matches it
    std::vector<std::int32_t> indexes;  // empty: every subfile
    Verbosity verbosity = Verbosity::Normal;
    bool progress = false;  // an updating status line on stderr
};

struct SubfileFailure {
    int index = -1;  // -1: not a subfile (the manifest)
    std::string name;
    std::string message;
};

enum class DatabaseState {
    Extracted,    // its folder is in place (some subfiles may have failed)
    NotExtracted, // nothing was written
    Unchanged,    // --resume: its folder was complete and the database has not changed
    Interrupted,  // a stop signal came; nothing was left behind
};
std::string_view databaseStateName(DatabaseState state) noexcept;

struct DatabaseOutcome {
    // 0 everything extracted, 1 some subfiles failed, 2 the database was not extracted, 128 + N
    // stopped by signal N
    int exitStatus = 0;
    DatabaseState state = DatabaseState::Extracted;
    bool outputFailed = false;  // writing the output failed (a full disk): the run stops
    std::vector<SubfileFailure> failures;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t documents = 0;     // data notes in the database (0 when unknown)
    std::uint64_t notPresented = 0;  // documents the module presents no file for
    std::uint64_t encryptedNotDecrypted = 0;
    double seconds = 0;
};

// Extracts `database` into `outDir`/`folderName` (a safe name): the files are written into a hidden
// sibling folder (partialFolderName) that is renamed to `folderName` when everything is written, so
// that a folder of that name is always complete. Why a database could not be extracted at all is
// printed on stderr at once, naming the database; failed subfiles are returned.
// The work-in-progress folder of `folderName`; database folder names never start like it.
std::string partialFolderName(std::string_view folderName);
inline constexpr std::string_view kPartialPrefix = ".nsfrex-partial.";

DatabaseOutcome extractDatabase(const std::filesystem::path& database, const std::filesystem::path& outDir,
                                const std::string& folderName, const ExtractRequest& request);

}  // namespace nsfrex
