// What a child process hands back to the parent about its database.
#include "extract_jobs.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

namespace nsfrex {
namespace {

TEST(ExtractJobs, OutcomeSurvivesTheTripThroughTheResultFile) {
    DatabaseOutcome outcome;
    outcome.files = 12345678901;
    outcome.bytes = 42;
    outcome.documents = 31;
    outcome.notPresented = 30;
    outcome.encryptedNotDecrypted = 1;
    outcome.state = DatabaseState::Interrupted;
    outcome.outputFailed = true;
    outcome.seconds = 1.25;
    outcome.failures = {{7, "tab\there", "module status 6 (a Notes operation failed)"},
                        {-1, "index.json", "line\nbreak\r\nand more"},
                        {3, "", ""}};
    const DatabaseOutcome back = parseOutcome(serializeOutcome(outcome), 1);
    EXPECT_EQ(back.exitStatus, 1);
    EXPECT_EQ(back.files, 12345678901u);
    EXPECT_EQ(back.bytes, 42u);
    EXPECT_EQ(std::tuple(back.documents, back.notPresented, back.encryptedNotDecrypted), std::tuple(31u, 30u, 1u));
    EXPECT_EQ(back.state, DatabaseState::Interrupted);
    EXPECT_TRUE(back.outputFailed);  // the parent starts no more databases
    EXPECT_DOUBLE_EQ(back.seconds, 1.25);
    ASSERT_EQ(back.failures.size(), 3u);
    EXPECT_EQ(back.failures[0].index, 7);
    EXPECT_EQ(back.failures[0].name, "tab here");
    EXPECT_EQ(back.failures[0].message, "module status 6 (a Notes operation failed)");
    EXPECT_EQ(back.failures[1].index, -1);
    EXPECT_EQ(back.failures[1].message, "line break  and more");
    EXPECT_EQ(back.failures[2].name, "");

    // A child that died before writing leaves nothing; what is there is read as far as it goes.
    const DatabaseOutcome empty = parseOutcome("", 2);
    EXPECT_EQ(empty.exitStatus, 2);
    EXPECT_EQ(empty.state, DatabaseState::NotExtracted);
    EXPECT_TRUE(empty.failures.empty());
    const DatabaseOutcome cut = parseOutcome("3\t100\n5\tname", 1);
    EXPECT_EQ(cut.files, 3u);
    EXPECT_TRUE(cut.failures.empty());
}

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
