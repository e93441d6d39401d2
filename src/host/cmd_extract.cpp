// nsfrex extract DB... -o DIR: each database into a folder of its own under DIR, laid out as the module's
// tree, with index.json. Several databases run in child processes (-j at a time), so that no two share
// the module's process-wide state; the parent collects their failures and exit statuses.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "console.h"
#include "extract_database.h"
#include "extract_jobs.h"
#include "options.h"
#include "progress.h"
#include "safe_name.h"
#include "text.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxJobs = 64;

int usage(std::string_view message) {
    std::fprintf(stderr,
                 "nsfrex extract: %.*s\nusage: nsfrex extract [OPTIONS] DB... -o DIR [--format auto|text|fields|dxl] "
                 "[--index N ...] [--with-attachments] [--salvage] [--force] [-j N] [-q | -v]\n",
                 static_cast<int>(message.size()), message.data());
    return 2;
}

std::optional<int> parseNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

}  // namespace

int runExtract(Args args) {
    ExtractRequest request;
    std::optional<fs::path> outDir;
    std::vector<fs::path> paths;
    int jobs = 1;
    bool quiet = false;
    bool verbose = false;
    ArgCursor cursor(args);
    while (!cursor.atEnd()) {
        auto common = takeCommonOption(cursor, request.options);
        if (!common) return usage(common.error());
        if (*common) continue;
        std::optional<Result<std::string>> value;
        if ((value = cursor.takeValue("-o")) || (value = cursor.takeValue("--output"))) {
            if (!*value) return usage(value->error());
            outDir = **value;
        } else if ((value = cursor.takeValue("--index"))) {
            if (!*value) return usage(value->error());
            const auto index = parseNumber(**value);
            if (!index) return usage(cat("bad index ", **value));
            request.indexes.push_back(*index);
        } else if ((value = cursor.takeValue("--format"))) {
            if (!*value) return usage(value->error());
            const auto format = parseExtractFormat(**value);
            if (!format) return usage(cat("unknown format ", **value));
            request.format = *format;
        } else if ((value = cursor.takeValue("-j")) || (value = cursor.takeValue("--jobs"))) {
            if (!*value) return usage(value->error());
            const auto number = parseNumber(**value);
            if (!number || *number < 1 || *number > kMaxJobs) return usage(cat("-j takes a number from 1 to ", kMaxJobs));
            jobs = *number;
        } else if (cursor.takeFlag("--with-attachments")) {
            request.withAttachments = true;
        } else if (cursor.takeFlag("--salvage")) {
            request.salvage = true;
        } else if (cursor.takeFlag("--force")) {
            request.force = true;
        } else if (cursor.takeFlag("-q") || cursor.takeFlag("--quiet")) {
            quiet = true;
        } else if (cursor.takeFlag("-v") || cursor.takeFlag("--verbose")) {
            verbose = true;
        } else {
            const std::string_view arg = cursor.next();
            if (arg.size() > 1 && arg[0] == '-') return usage(cat("unknown option ", arg));
            paths.emplace_back(arg);
        }
    }
    if (paths.empty()) return usage("expected at least one database file");
    if (!outDir || outDir->empty()) return usage("expected -o DIR");
    if (quiet && verbose) return usage("-q and -v exclude each other");

    std::error_code error;
    fs::create_directories(*outDir, error);
    if (error || !fs::is_directory(*outDir)) {
        writeText(STDERR_FILENO, cat("nsfrex extract: cannot make the folder ", outDir->string(),
                                     error ? cat(": ", error.message()) : std::string(), "\n"));
        return 2;
    }

    // Folder names are chosen here, before any work starts, so that they do not depend on -j.
    std::vector<DatabaseJob> databases;
    FolderNames folderNames;
    for (const fs::path& path : paths)
        databases.push_back({path, folderNames.claim(safeFileName(path.stem().string(), "database")), {}});

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    request.verbosity = quiet ? Verbosity::Quiet : verbose ? Verbosity::Verbose : Verbosity::Normal;
    const bool statusLines = terminal && request.verbosity == Verbosity::Normal;
    request.progress = statusLines && jobs == 1;
    if (databases.size() == 1)
        databases.front().outcome = extractDatabase(databases.front().path, *outDir, databases.front().folder, request);
    else
        runDatabaseJobs(databases, *outDir, request, jobs, statusLines && jobs > 1);

    int exitStatus = 0;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::size_t failures = 0;
    for (const DatabaseJob& database : databases) {
        exitStatus = std::max(exitStatus, database.outcome.exitStatus);
        files += database.outcome.files;
        bytes += database.outcome.bytes;
        failures += database.outcome.failures.size();
        for (const SubfileFailure& f : database.outcome.failures) {
            const std::string where = f.index >= 0 ? cat("subfile ", f.index, " (", f.name, ")") : f.name;
            writeText(STDERR_FILENO, cat("nsfrex extract: ", database.path.string(), ": ", where, ": ", f.message, "\n"));
        }
    }
    if (statusLines)
        writeText(STDERR_FILENO, cat("nsfrex extract: ", databases.size(), databases.size() == 1 ? " database, " : " databases, ",
                                     std::to_string(files), " files, ", humanBytes(static_cast<double>(bytes)), ", ",
                                     failures, failures == 1 ? " failure" : " failures", "\n"));
    return exitStatus;
}

}  // namespace nsfrex
