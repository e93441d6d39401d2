// Command-line options shared by the commands that open a database through the module.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "credentials.h"
#include "result.h"
#include "zapi.h"

namespace nsfrex {

// Walks a command's arguments. Long options take their value as the next argument or after '='.
class ArgCursor {
public:
    explicit ArgCursor(Args args) : args_(args) {}

    bool atEnd() const noexcept { return index_ >= args_.size(); }
    std::string_view current() const noexcept { return args_[index_]; }
    std::string_view next() noexcept { return args_[index_++]; }

    bool takeFlag(std::string_view name);
    // Empty when the current argument is not `name`; an error when it is but its value is missing.
    std::optional<Result<std::string>> takeValue(std::string_view name);

private:
    Args args_;
    std::size_t index_ = 0;
};

struct CommonOptions {
    std::optional<std::filesystem::path> configFile;
    std::vector<std::string> settings;  // -c section.key=value, in order
    std::filesystem::path tempDir;
    Credentials credentials;
    bool lastWasIdFile = false;  // a --password belongs to the --id just before it
    std::string logLevel;
    std::filesystem::path logFile;
    bool root = false;
};

// Consumes one common option at the cursor: true when it did, false when the argument is not one.
Result<bool> takeCommonOption(ArgCursor& cursor, CommonOptions& options);

// The configuration file first, then the -c settings over it.
Result<HostSettings> hostSettings(const CommonOptions& options);

// The module reads its log settings from the environment when it opens a database.
Result<void> applyLogEnvironment(const CommonOptions& options);

std::uint32_t openFlags(const CommonOptions& options) noexcept;

inline constexpr std::string_view kCommonOptionsHelp =
    "Options for reading a database:\n"
    "  --config FILE             read settings from an INI file (sections [nsfrex], [dxlrex])\n"
    "  -c SECTION.KEY=VALUE      set one setting; wins over the file (repeatable)\n"
    "  --temp-dir DIR            folder for the module's temporary files\n"
    "  --id FILE [--password P]  a Notes user ID file and its password (repeatable, tried in order)\n"
    "  --log-level LEVEL         module log: ERROR, WARN, INFO, DIAG, DUMP or ALL\n"
    "  --log-file FILE           write the module log to FILE (level ERROR unless --log-level)\n"
    "  --root                    add a root folder holding every note\n";

}  // namespace nsfrex
