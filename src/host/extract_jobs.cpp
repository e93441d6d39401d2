#include "extract_jobs.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>

#include "console.h"
#include "extract_mail.h"
#include "mail_exporter.h"
#include "module.h"
#include "stop_signal.h"
#include "text.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

std::string flat(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

}  // namespace

std::string serializeOutcome(const DatabaseOutcome& outcome) {
    std::string out = cat(std::to_string(outcome.files), "\t", std::to_string(outcome.bytes), "\t",
                          std::to_string(outcome.documents), "\t", std::to_string(outcome.notPresented), "\t",
                          std::to_string(outcome.encryptedNotDecrypted), "\t", static_cast<int>(outcome.state), "\t",
                          outcome.outputFailed ? 1 : 0, "\t", std::to_string(std::llround(outcome.seconds * 1000)), "\n");
    for (const SubfileFailure& f : outcome.failures) out += cat(f.index, "\t", flat(f.name), "\t", flat(f.message), "\n");
    return out;
}

DatabaseOutcome parseOutcome(std::string_view text, int exitStatus) {
    DatabaseOutcome outcome;
    outcome.exitStatus = exitStatus;
    if (text.empty()) outcome.state = DatabaseState::NotExtracted;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        if (first) {
            first = false;
            std::vector<std::uint64_t> fields;
            for (std::string_view rest = line; !rest.empty();) {
                const std::size_t tab = rest.find('\t');
                std::uint64_t value = 0;
                std::from_chars(rest.data(), rest.data() + std::min(tab, rest.size()), value);
                fields.push_back(value);
                rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
            }
            fields.resize(8, 0);
            outcome.files = fields[0];
            outcome.bytes = fields[1];
            outcome.documents = fields[2];
            outcome.notPresented = fields[3];
            outcome.encryptedNotDecrypted = fields[4];
            if (fields[5] <= static_cast<std::uint64_t>(DatabaseState::Interrupted))
                outcome.state = static_cast<DatabaseState>(fields[5]);
            outcome.outputFailed = fields[6] != 0;
            outcome.seconds = static_cast<double>(fields[7]) / 1000;
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

void markNotStarted(DatabaseOutcome& outcome) {
    const int signal = stopSignal();
    outcome.state = signal != 0 ? DatabaseState::Interrupted : DatabaseState::NotExtracted;
    outcome.exitStatus = signal != 0 ? stoppedExitStatus(signal) : 2;
}

namespace {

struct Child {
    std::size_t database = 0;
    std::FILE* results = nullptr;
};

}  // namespace

void runDatabaseJobs(std::vector<DatabaseJob>& databases, const fs::path& outDir, const ExtractRequest& request,
                     int parallel, bool showCount) {
    // Loaded once for the whole run rather than once in each database's process.
    const std::shared_ptr<void> module = preloadLibrary(kModuleFileName, kModuleLoadFlags);
    const bool mail = request.format == ExtractFormat::Eml || request.format == ExtractFormat::Mbox;
    const std::shared_ptr<void> exporter = mail ? preloadLibrary(kMailExporterFileName, kMailExporterLoadFlags) : nullptr;
    // The children are waited for one by one: a SIGCHLD ignored by whoever started this process would
    // have the system reap them, and waitpid would find none.
    struct sigaction waitable{}, previous{};
    waitable.sa_handler = SIG_DFL;
    ::sigaction(SIGCHLD, &waitable, &previous);
    std::map<pid_t, Child> running;
    std::size_t next = 0;
    std::size_t finished = 0;
    const auto showProgress = [&] {
        if (showCount)
            writeText(STDERR_FILENO, cat("\rnsfrex extract: databases ", finished, "/", databases.size(), " done\x1b[K"));
    };
    showProgress();
    bool halted = false;  // a stop signal or an output that cannot be written: no new database starts
    int forwarded = 0;
    while ((next < databases.size() && !halted) || !running.empty()) {
        if (stopSignal() != 0) halted = true;
        if (stopSignal() != 0 && forwarded == 0) {
            forwarded = stopSignal();
            for (const auto& [pid, child] : running) ::kill(pid, forwarded);
        }
        while (!halted && next < databases.size() && running.size() < static_cast<std::size_t>(parallel)) {
            DatabaseJob& database = databases[next];
            std::FILE* results = std::tmpfile();
            std::fflush(nullptr);
            const pid_t parent = ::getpid();
            const pid_t pid = results != nullptr ? ::fork() : -1;
            if (pid == 0) {
                // A parent killed outright takes its children along, so that no orphan goes on writing
                // into a folder the next run removes as stale.
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (::getppid() != parent) ::_exit(2);  // it died before the line above
                const DatabaseOutcome outcome = extractDatabase(database.path, outDir, database.folder, request);
                writeText(::fileno(results), serializeOutcome(outcome));
                ::_exit(outcome.exitStatus);
            }
            if (pid < 0) {
                writeText(STDERR_FILENO, cat("nsfrex extract: ", database.path.string(), ": cannot start a process\n"));
                database.outcome.exitStatus = 2;
                database.outcome.state = DatabaseState::NotExtracted;
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
        if (pid < 0 && errno == EINTR) continue;  // a stop signal: passed on at the top of the loop
        if (pid < 0) {
            // No child left to wait for although some are listed: their outcomes are lost.
            for (const auto& [lost, child] : running) {
                std::fclose(child.results);
                databases[child.database].outcome.exitStatus = 2;
                databases[child.database].outcome.state = DatabaseState::NotExtracted;
                ++finished;
            }
            running.clear();
            continue;
        }
        const auto found = running.find(pid);
        if (found == running.end()) continue;
        DatabaseJob& database = databases[found->second.database];
        std::string text;
        std::rewind(found->second.results);
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, found->second.results)) > 0) text.append(buffer, n);
        std::fclose(found->second.results);
        running.erase(found);
        if (WIFEXITED(status)) {
            database.outcome = parseOutcome(text, WEXITSTATUS(status));
            if (database.outcome.outputFailed) halted = true;
        } else {
            if (showCount) writeText(STDERR_FILENO, "\r\x1b[K");
            writeText(STDERR_FILENO, cat("nsfrex extract: ", database.path.string(), ": the extraction stopped with signal ",
                                         WIFSIGNALED(status) ? WTERMSIG(status) : 0, "\n"));
            database.outcome.exitStatus = 2;
            database.outcome.state = DatabaseState::NotExtracted;
        }
        ++finished;
        showProgress();
    }
    for (; next < databases.size(); ++next) markNotStarted(databases[next].outcome);
    if (showCount) writeText(STDERR_FILENO, "\r\x1b[K");
    ::sigaction(SIGCHLD, &previous, nullptr);
}


}  // namespace nsfrex
