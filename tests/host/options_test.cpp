#include "options.h"

#include <cstdlib>
#include <fstream>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "host_test_support.h"

namespace nsfrex {
namespace {

// Parses like a command: common options are taken, everything else is collected.
Result<std::vector<std::string>> parse(std::vector<std::string_view> args, CommonOptions& options) {
    ArgCursor cursor{Args(args)};
    std::vector<std::string> rest;
    while (!cursor.atEnd()) {
        auto taken = takeCommonOption(cursor, options);
        if (!taken) return std::unexpected(taken.error());
        if (!*taken) rest.emplace_back(cursor.next());
    }
    return rest;
}

TEST(CommonOptions, RejectsMissingValuesStrayPasswordsAndUnknownLevels) {
    for (const auto& args : std::vector<std::vector<std::string_view>>{
             {"--config"}, {"-c"}, {"--id"}, {"--id", "a.id", "--password"}, {"--password", "p"},
             {"--id", "a.id", "db.nsf", "--password", "p"}, {"--id", "a", "--password", "p", "--password", "q"},
             {"--log-level", "verbose"}, {"--log-level", "INFORMATION"}}) {
        CommonOptions options;
        EXPECT_FALSE(parse(args, options)) << args.front() << " ... (" << args.size() << " arguments)";
    }
    CommonOptions options;
    EXPECT_TRUE(parse({"--log-level", "warning"}, options));
    EXPECT_EQ(options.logLevel, "WARN");
}

TEST(CommonOptions, LogOptionsBecomeTheModuleEnvironment) {
    unsetenv("TAMSEL_NSFREX_LOG_LEVEL");
    unsetenv("TAMSEL_NSFREX_LOG_FILE");
    CommonOptions quiet;
    ASSERT_TRUE(applyLogEnvironment(quiet));
    EXPECT_EQ(std::getenv("TAMSEL_NSFREX_LOG_LEVEL"), nullptr);
    EXPECT_EQ(std::getenv("TAMSEL_NSFREX_LOG_FILE"), nullptr);

    // A log file alone gets a level that writes something; the path becomes absolute.
    CommonOptions fileOnly;
    fileOnly.logFile = "relative.log";
    ASSERT_TRUE(applyLogEnvironment(fileOnly));
    EXPECT_STREQ(std::getenv("TAMSEL_NSFREX_LOG_LEVEL"), "ERROR");
    EXPECT_EQ(std::filesystem::path(std::getenv("TAMSEL_NSFREX_LOG_FILE")),
              std::filesystem::current_path() / "relative.log");

    CommonOptions level;
    level.logLevel = "DUMP";
    ASSERT_TRUE(applyLogEnvironment(level));
    EXPECT_STREQ(std::getenv("TAMSEL_NSFREX_LOG_LEVEL"), "DUMP");
    unsetenv("TAMSEL_NSFREX_LOG_LEVEL");
    unsetenv("TAMSEL_NSFREX_LOG_FILE");
}

}  // namespace
}  // namespace nsfrex
