#include "options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "module.h"
#include "text.h"

namespace nsfrex {
namespace {

constexpr std::string_view kLogLevelVariable = "TAMSEL_NSFREX_LOG_LEVEL";
constexpr std::string_view kLogFileVariable = "TAMSEL_NSFREX_LOG_FILE";
constexpr std::array<std::string_view, 6> kLogLevels{"ERROR", "WARN", "INFO", "DIAG", "DUMP", "ALL"};
// The settings the module reads; others are kept (a configuration may serve several tools) but warned of.
constexpr std::array<std::string_view, 9> kKnownSettings{
    "nsfrex.ExportDXL", "nsfrex.ExportDXL_PureXML", "nsfrex.ExtractAllNotes", "nsfrex.ExtractAllFields",
    "nsfrex.TempDir", "nsfrex.MailLogoFieldName", "nsfrex.MailLogoFieldDefaultValue", "nsfrex.AltSentField",
    "dxlrex.ShowAttachmentName"};

std::string upper(std::string_view text) {
    std::string result(text);
    std::ranges::transform(result, result.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

void warnIfUnknownSetting(std::string_view assignment) {
    const std::string name = upper(assignment.substr(0, assignment.find('=')));
    if (std::ranges::any_of(kKnownSettings, [&](std::string_view known) { return upper(known) == name; })) return;
    std::string message = cat("nsfrex: warning: -c ", assignment, ": the module reads no such setting; it reads");
    for (std::size_t i = 0; i < kKnownSettings.size(); ++i) message += cat(i == 0 ? " " : ", ", kKnownSettings[i]);
    std::fprintf(stderr, "%s\n", message.c_str());
}

}  // namespace

bool ArgCursor::takeFlag(std::string_view name) {
    if (atEnd() || current() != name) return false;
    ++index_;
    return true;
}

std::optional<Result<std::string>> ArgCursor::takeValue(std::string_view name) {
    if (atEnd()) return std::nullopt;
    const std::string_view arg = current();
    if (arg == name) {
        ++index_;
        if (atEnd()) return failure(cat(name, " needs a value"));
        // "-o -o" is a forgotten value, not a folder named "-o" (write ./-o or --output=-o for that).
        const std::string_view value = current();
        if (value.size() > 1 && value[0] == '-')
            return failure(cat(name, " needs a value, not the option ", value, " (write ", name.starts_with("--") ? cat(name, "=") : std::string("./"), value, " if you mean it)"));
        return std::string(next());
    }
    // --name=value; short options (-c) take theirs only as the next argument.
    if (name.starts_with("--") && arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        ++index_;
        return std::string(arg.substr(name.size() + 1));
    }
    return std::nullopt;
}

Result<bool> takeCommonOption(ArgCursor& cursor, CommonOptions& options) {
    const bool wasIdFile = std::exchange(options.lastWasIdFile, false);
    if (auto value = cursor.takeValue("--config")) {
        if (!*value) return std::unexpected(value->error());
        options.configFile = std::move(**value);
    } else if (auto setting = cursor.takeValue("-c")) {
        if (!*setting) return std::unexpected(setting->error());
        warnIfUnknownSetting(**setting);
        options.settings.push_back(std::move(**setting));
    } else if (auto dir = cursor.takeValue("--temp-dir")) {
        if (!*dir) return std::unexpected(dir->error());
        options.tempDir = std::move(**dir);
    } else if (auto id = cursor.takeValue("--id")) {
        if (!*id) return std::unexpected(id->error());
        options.credentials.addIdFile(std::move(**id));
        options.lastWasIdFile = true;
    } else if (auto password = cursor.takeValue("--password")) {
        if (!*password) return std::unexpected(password->error());
        if (!wasIdFile) return failure("--password must follow the --id it belongs to");
        options.credentials.addPassword(std::move(**password));
    } else if (auto level = cursor.takeValue("--log-level")) {
        if (!*level) return std::unexpected(level->error());
        std::string word = upper(**level);
        if (word == "WARNING") word = "WARN";
        if (std::ranges::find(kLogLevels, word) == kLogLevels.end())
            return failure(cat("unknown log level ", **level, " (ERROR, WARN, INFO, DIAG, DUMP, ALL)"));
        options.logLevel = std::move(word);
    } else if (auto file = cursor.takeValue("--log-file")) {
        if (!*file) return std::unexpected(file->error());
        options.logFile = std::move(**file);
    } else if (cursor.takeFlag("--root")) {
        options.root = true;
    } else {
        return false;  // whatever comes between --id and --password breaks the pair
    }
    return true;
}

Result<HostSettings> hostSettings(const CommonOptions& options) {
    HostSettings settings;
    if (options.configFile) {
        if (auto loaded = settings.config.loadFile(*options.configFile); !loaded) return std::unexpected(loaded.error());
    }
    for (const auto& setting : options.settings) {
        if (auto set = settings.config.set(setting); !set) return std::unexpected(set.error());
    }
    if (!options.tempDir.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(options.tempDir, error))
            return failure(cat("--temp-dir ", options.tempDir.string(), ": no such folder"));
        settings.tempPath = options.tempDir;
    }
    auto directory = moduleDirectory();
    if (!directory) return std::unexpected(std::move(directory.error()));
    settings.libraryDirectory = std::move(*directory);
    return settings;
}

Result<void> applyLogEnvironment(const CommonOptions& options) {
    std::string level = options.logLevel;
    // ERROR by default: at WARN the module logs, for every note, that a note which is simply not
    // encrypted could not be decrypted.
    if (level.empty() && !options.logFile.empty()) level = "ERROR";
    if (!level.empty() && setenv(kLogLevelVariable.data(), level.c_str(), 1) != 0)
        return failure(cat("cannot set ", kLogLevelVariable));
    if (!options.logFile.empty()) {
        std::error_code error;
        const auto absolute = std::filesystem::absolute(options.logFile, error);
        if (error) return failure(cat("--log-file ", options.logFile.string(), ": ", error.message()));
        if (setenv(kLogFileVariable.data(), absolute.c_str(), 1) != 0)
            return failure(cat("cannot set ", kLogFileVariable));
    }
    return {};
}

std::uint32_t openFlags(const CommonOptions& options) noexcept {
    return options.root ? CNVO_CREATEROOTDIR : 0u;
}

}  // namespace nsfrex
