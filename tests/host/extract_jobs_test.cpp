// Children of parallel extraction are waited for even when SIGCHLD was ignored.
#include "extract_jobs.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>

namespace nsfrex {
namespace {

// A parent that ignores SIGCHLD passes that on: its children are then reaped by the system and
// waitpid finds none. The jobs still end, each with its child's outcome (here: the output folder
// exists, exit status 2). An alarm ends the program if the wait spins instead.
TEST(ExtractJobs, ChildrenAreWaitedForWhenSigchldWasIgnored) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("nsfrex-jobs-" + std::to_string(::getpid()));
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    std::vector<DatabaseJob> jobs{{dir / "a.nsf", "a", {}}, {dir / "b.nsf", "b", {}}};
    struct sigaction ignore{}, old{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGCHLD, &ignore, &old), 0);
    ::alarm(60);
    runDatabaseJobs(jobs, dir, ExtractRequest{}, 2, false);
    ::alarm(0);
    ::sigaction(SIGCHLD, &old, nullptr);
    fs::remove_all(dir);
    EXPECT_EQ(jobs[0].outcome.exitStatus, 2);
    EXPECT_EQ(jobs[1].outcome.exitStatus, 2);
}

}  // namespace
}  // namespace nsfrex
