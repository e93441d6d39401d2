// What a child process hands back to the parent about its database.
#include "extract_jobs.h"

#include <gtest/gtest.h>

namespace nsfrex {
namespace {

TEST(ExtractJobs, OutcomeSurvivesTheTripThroughTheResultFile) {
    DatabaseOutcome outcome;
    outcome.files = 12345678901;
    outcome.bytes = 42;
    outcome.failures = {{7, "tab\there", "module status 6 (a Notes operation failed)"},
                        {-1, "index.json", "line\nbreak\r\nand more"},
                        {3, "", ""}};
    const DatabaseOutcome back = parseOutcome(serializeOutcome(outcome), 1);
    EXPECT_EQ(back.exitStatus, 1);
    EXPECT_EQ(back.files, 12345678901u);
    EXPECT_EQ(back.bytes, 42u);
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
    EXPECT_TRUE(empty.failures.empty());
    const DatabaseOutcome cut = parseOutcome("3\t100\n5\tname", 1);
    EXPECT_EQ(cut.files, 3u);
    EXPECT_TRUE(cut.failures.empty());
}

}  // namespace
}  // namespace nsfrex
