// nsfrex extract DB... -o DIR: each database into a folder of its own under DIR, laid out as the module's
// tree, with index.json. Several databases run in child processes (-j at a time), so that no two share
// the module's process-wide state; the parent collects their failures and exit statuses.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "extract_database.h"
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
                 "[--index N ...] [--with-attachments] [--force] [-j N] [-q | -v]\n",
                 static_cast<int>(message.size()), message.data());
    return 2;
}

std::optional<int> parseNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

void printText(int fd, const std::string& text) {
    [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
}

// A child reports its outcome through a temporary file: a line "files<TAB>bytes", then one line per
// failure "index<TAB>name<TAB>message", with tabs and line ends inside the texts made blanks.
std::string flat(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

std::string serialize(const DatabaseOutcome& outcome) {
    std::string out = cat(std::to_string(outcome.files), "\t", std::to_string(outcome.bytes), "\n");
    for (const SubfileFailure& f : outcome.failures) out += cat(f.index, "\t", flat(f.name), "\t", flat(f.message), "\n");
    return out;
}

DatabaseOutcome deserialize(std::string_view text, int exitStatus) {
    DatabaseOutcome outcome;
    outcome.exitStatus = exitStatus;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        if (first) {
            first = false;
            std::from_chars(line.data(), line.data() + std::min(tab1, line.size()), outcome.files);
            if (tab1 != std::string_view::npos) std::from_chars(line.data() + tab1 + 1, line.data() + line.size(), outcome.bytes);
            continue;
        }
        if (tab2 == std::string_view::npos) continue;
        SubfileFailure failure;
        std::from_chars(line.data(), line.data() + tab1, failure.index);
        failure.name = std::string(line.substr(tab1 + 1, tab2 - tab1 - 1));
        failure.message = std::string(line.substr(tab2 + 1));
        outcome.failures.push_back(std::move(failure));
    }
    return outcome;
}

struct Database {
    fs::path path;
    std::string folder;  // its output folder's name under DIR
    DatabaseOutcome outcome;
};

struct Child {
    std::size_t database = 0;
    std::FILE* results = nullptr;
};

// Runs every database in a child process, at most `jobs` at a time.
void runChildren(std::vector<Database>& databases, const fs::path& outDir, const ExtractRequest& request, int jobs,
                 bool showCount) {
    std::map<pid_t, Child> running;
    std::size_t next = 0;
    std::size_t finished = 0;
    const auto showProgress = [&] {
        if (showCount)
            printText(STDERR_FILENO, cat("\rnsfrex extract: databases ", finished, "/", databases.size(), " done\x1b[K"));
    };
    showProgress();
    while (next < databases.size() || !running.empty()) {
        while (next < databases.size() && running.size() < static_cast<std::size_t>(jobs)) {
            Database& database = databases[next];
            std::FILE* results = std::tmpfile();
            std::fflush(nullptr);
            const pid_t pid = results != nullptr ? ::fork() : -1;
            if (pid == 0) {
                const DatabaseOutcome outcome = extractDatabase(database.path, outDir, database.folder, request);
                printText(::fileno(results), serialize(outcome));
                ::_exit(outcome.exitStatus);
            }
            if (pid < 0) {
                printText(STDERR_FILENO, cat("nsfrex extract: ", database.path.string(), ": cannot start a process\n"));
                database.outcome.exitStatus = 2;
                if (results != nullptr) std::fclose(results);
                ++finished;
            } else {
                running.emplace(pid, Child{next, results});
            }
            ++next;
        }
        if (running.empty()) continue;
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, 0);
        const auto found = running.find(pid);
        if (found == running.end()) continue;
        Database& database = databases[found->second.database];
        std::string text;
        std::rewind(found->second.results);
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, found->second.results)) > 0) text.append(buffer, n);
        std::fclose(found->second.results);
        running.erase(found);
        if (WIFEXITED(status)) {
            database.outcome = deserialize(text, WEXITSTATUS(status));
        } else {
            if (showCount) printText(STDERR_FILENO, "\r\x1b[K");
            printText(STDERR_FILENO, cat("nsfrex extract: ", database.path.string(), ": the extraction stopped with signal ",
                                         WIFSIGNALED(status) ? WTERMSIG(status) : 0, "\n"));
            database.outcome.exitStatus = 2;
        }
        ++finished;
        showProgress();
    }
    if (showCount) printText(STDERR_FILENO, "\r\x1b[K");
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
        printText(STDERR_FILENO, cat("nsfrex extract: cannot make the folder ", outDir->string(),
                                     error ? cat(": ", error.message()) : std::string(), "\n"));
        return 2;
    }

    // Folder names are chosen here, before any work starts, so that they do not depend on -j.
    std::vector<Database> databases;
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
        runChildren(databases, *outDir, request, jobs, statusLines && jobs > 1);

    int exitStatus = 0;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::size_t failures = 0;
    for (const Database& database : databases) {
        exitStatus = std::max(exitStatus, database.outcome.exitStatus);
        files += database.outcome.files;
        bytes += database.outcome.bytes;
        failures += database.outcome.failures.size();
        for (const SubfileFailure& f : database.outcome.failures) {
            const std::string where = f.index >= 0 ? cat("subfile ", f.index, " (", f.name, ")") : f.name;
            printText(STDERR_FILENO, cat("nsfrex extract: ", database.path.string(), ": ", where, ": ", f.message, "\n"));
        }
    }
    if (statusLines)
        printText(STDERR_FILENO, cat("nsfrex extract: ", databases.size(), databases.size() == 1 ? " database, " : " databases, ",
                                     std::to_string(files), " files, ", humanBytes(static_cast<double>(bytes)), ", ",
                                     failures, failures == 1 ? " failure" : " failures", "\n"));
    return exitStatus;
}

}  // namespace nsfrex
