// nsfrex extract DB... -o DIR: each database into a folder of its own under DIR, laid out as the module's
// tree, with index.json. Several databases run in child processes (-j at a time), so that no two share
// the module's process-wide state; the parent collects their outcomes, prints the summary and writes
// the run manifest.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "console.h"
#include "database_list.h"
#include "extract_database.h"
#include "extract_jobs.h"
#include "options.h"
#include "progress.h"
#include "run_manifest.h"
#include "safe_name.h"
#include "stop_signal.h"
#include "text.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxJobs = 64;

int usage(std::string_view message) {
    std::fprintf(stderr,
                 "nsfrex extract: %.*s\nusage: nsfrex extract [OPTIONS] DB... -o DIR [-r] [--files-from FILE [-0]] "
                 "[--format auto|text|fields|dxl] [--index N ...] [--with-attachments] [--force | --resume] "
                 "[--shard K/N] [-j N] [-q | -v]\n",
                 static_cast<int>(message.size()), message.data());
    return 2;
}

std::optional<int> parseNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// A database folder never takes a name this command uses for its own files.
std::string databaseFolderName(const fs::path& database) {
    std::string name = safeFileName(database.stem().string(), "database");
    if (name.starts_with(kPartialPrefix) || name.starts_with("nsfrex-run")) return cat("_", name);
    return name;
}

std::string plural(std::uint64_t n, std::string_view one, std::string_view many) {
    return cat(std::to_string(n), " ", n == 1 ? one : many);
}

std::string summaryLine(const std::vector<RunDatabase>& databases, ExtractFormat format, int signal) {
    std::uint64_t files = 0, bytes = 0, failures = 0, documents = 0, notPresented = 0, encrypted = 0, unchanged = 0;
    for (const RunDatabase& d : databases) {
        files += d.outcome.files;
        bytes += d.outcome.bytes;
        failures += d.outcome.failures.size();
        documents += d.outcome.documents;
        notPresented += d.outcome.notPresented;
        encrypted += d.outcome.encryptedNotDecrypted;
        unchanged += d.outcome.state == DatabaseState::Unchanged ? 1 : 0;
    }
    std::string line = cat("nsfrex extract: ", plural(databases.size(), "database", "databases"), ", ",
                           plural(files, "file", "files"), ", ", humanBytes(static_cast<double>(bytes)), ", ",
                           plural(failures, "failure", "failures"));
    if (notPresented > 0)
        line += cat("; ", std::to_string(notPresented), " of ", plural(documents, "document", "documents"),
                    " not presented as files",
                    format == ExtractFormat::Fields ? std::string() : std::string(" (--format fields presents them)"));
    if (encrypted > 0)
        line += cat("; ", plural(encrypted, "encrypted note", "encrypted notes"), " not decrypted (--id gives the keys)");
    if (unchanged > 0) line += cat("; ", std::to_string(unchanged), " unchanged since the last run (--resume)");
    if (signal != 0) line += cat("; stopped by ", signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal");
    return line + "\n";
}

}  // namespace

int runExtract(Args args) {
    const auto started = std::chrono::steady_clock::now();
    const std::string startedText = utcNow();
    ExtractRequest request;
    std::optional<fs::path> outDir;
    std::vector<fs::path> paths;
    std::optional<std::string> filesFrom;
    bool nulSeparated = false;
    bool recursive = false;
    std::optional<Shard> shard;
    std::string shardText;
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
        } else if ((value = cursor.takeValue("--files-from"))) {
            if (!*value) return usage(value->error());
            filesFrom = **value;
        } else if ((value = cursor.takeValue("--shard"))) {
            if (!*value) return usage(value->error());
            shard = parseShard(**value);
            if (!shard) return usage(cat("--shard takes K/N with 0 <= K < N, not ", **value));
            shardText = **value;
        } else if (cursor.takeFlag("-0") || cursor.takeFlag("--null")) {
            nulSeparated = true;
        } else if (cursor.takeFlag("-r") || cursor.takeFlag("--recursive")) {
            recursive = true;
        } else if (cursor.takeFlag("--with-attachments")) {
            request.withAttachments = true;
        } else if (cursor.takeFlag("--force")) {
            request.force = true;
        } else if (cursor.takeFlag("--resume")) {
            request.resume = true;
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
    if (paths.empty() && !filesFrom) return usage("expected at least one database file");
    if (!outDir || outDir->empty()) return usage("expected -o DIR");
    if (quiet && verbose) return usage("-q and -v exclude each other");
    if (nulSeparated && !filesFrom) return usage("-0 belongs to --files-from");
    if (request.force && request.resume) return usage("--force and --resume exclude each other");

    if (filesFrom) {
        if (*filesFrom == "-") {
            const auto listed = readPathList(std::cin, nulSeparated);
            paths.insert(paths.end(), listed.begin(), listed.end());
        } else {
            std::ifstream in(*filesFrom, std::ios::binary);
            if (!in) return usage(cat("cannot read --files-from ", *filesFrom));
            const auto listed = readPathList(in, nulSeparated);
            paths.insert(paths.end(), listed.begin(), listed.end());
        }
    }
    auto expanded = expandDatabases(paths, recursive);
    if (!expanded) return usage(expanded.error());

    std::error_code error;
    if (fs::exists(*outDir, error) && !fs::is_directory(*outDir, error)) {
        writeText(STDERR_FILENO, cat("nsfrex extract: ", outDir->string(), " is not a folder\n"));
        return 2;
    }

    // Folder names are chosen over the whole list before any work starts, so that they depend neither
    // on -j nor on the shard.
    std::vector<DatabaseJob> databases;
    FolderNames folderNames;
    for (std::size_t i = 0; i < expanded->size(); ++i) {
        const fs::path& path = (*expanded)[i];
        std::string folder = folderNames.claim(databaseFolderName(path));
        if (!shard || i % shard->count == shard->index) databases.push_back({path, std::move(folder), {}});
    }

    catchStopSignals();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    request.verbosity = quiet ? Verbosity::Quiet : verbose ? Verbosity::Verbose : Verbosity::Normal;
    const bool statusLines = terminal && request.verbosity == Verbosity::Normal;
    request.progress = statusLines && jobs == 1;
    if (databases.size() == 1)
        databases.front().outcome = extractDatabase(databases.front().path, *outDir, databases.front().folder, request);
    else if (!databases.empty())
        runDatabaseJobs(databases, *outDir, request, jobs, statusLines && jobs > 1);

    RunSummary run{std::string(formatName(request.format)), shardText, startedText, 0, 0, {}};
    for (DatabaseJob& database : databases) {
        run.exitStatus = std::max(run.exitStatus, database.outcome.exitStatus);
        for (const SubfileFailure& f : database.outcome.failures) {
            const std::string where = f.index >= 0 ? cat("subfile ", f.index, " (", f.name, ")") : f.name;
            writeText(STDERR_FILENO, cat("nsfrex extract: ", database.path.string(), ": ", where, ": ", f.message, "\n"));
        }
        run.databases.push_back({database.path, database.folder, std::move(database.outcome)});
    }
    const int signal = stopSignal();
    if (signal != 0) run.exitStatus = stoppedExitStatus(signal);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // Only into a folder that exists: a run that opened no database leaves nothing behind.
    if (fs::is_directory(*outDir, error)) {
        if (auto written = writeRunManifest(*outDir, run); !written) {
            writeText(STDERR_FILENO, cat("nsfrex extract: ", written.error(), "\n"));
            run.exitStatus = std::max(run.exitStatus, 2);
        }
    }
    if (!quiet) writeText(STDERR_FILENO, summaryLine(run.databases, request.format, signal));
    return run.exitStatus;
}

}  // namespace nsfrex
