// Several databases extracted in child processes, at most N at a time, so that no two share the module's
// process-wide state (the Notes runtime, the current ID file, the time zone); the parent collects each
// child's outcome and exit status.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "extract_database.h"

namespace nsfrex {

struct DatabaseJob {
    std::filesystem::path path;
    std::string folder;  // its output folder's name under DIR
    DatabaseOutcome outcome;
};

// `showCount`: an updating "databases N/M done" line on stderr. No database is started after a stop
// signal (which is passed on to the running children) or after one whose output could not be written.
void runDatabaseJobs(std::vector<DatabaseJob>& jobs, const std::filesystem::path& outDir, const ExtractRequest& request,
                     int parallel, bool showCount);

// How a child hands its outcome to the parent: a line of its counts and state, then one line per failure
// "index<TAB>name<TAB>message", tabs and line ends inside the texts made blanks.
// A database the run stopped before: interrupted after a stop signal, else not extracted.
void markNotStarted(DatabaseOutcome& outcome);

std::string serializeOutcome(const DatabaseOutcome& outcome);
DatabaseOutcome parseOutcome(std::string_view text, int exitStatus);

}  // namespace nsfrex
