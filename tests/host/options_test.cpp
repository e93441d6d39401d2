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

TEST(CommonOptions, ParsesEveryOptionInBothForms) {
    CommonOptions options;
    auto rest = parse({"--config", "host.ini", "-c", "nsfrex.ExportDXL=1", "db.nsf", "--temp-dir=/tmp",
                       "-c", "dxlrex.ShowAttachmentName=1", "--id", "a.id", "--password", "pa", "--id=b.id",
                       "--log-level", "diag", "--log-file", "nsfrex.log", "--root", "-o", "out"},
                      options);
    ASSERT_TRUE(rest) << rest.error();
    EXPECT_EQ(*rest, (std::vector<std::string>{"db.nsf", "-o", "out"}));  // -o belongs to the command
    EXPECT_EQ(options.configFile, "host.ini");
    EXPECT_EQ(options.settings, (std::vector<std::string>{"nsfrex.ExportDXL=1", "dxlrex.ShowAttachmentName=1"}));
    EXPECT_EQ(options.tempDir, "/tmp");
    EXPECT_EQ(options.logLevel, "DIAG");
    EXPECT_EQ(options.logFile, "nsfrex.log");
    EXPECT_TRUE(options.root);
    EXPECT_EQ(openFlags(options), CNVO_CREATEROOTDIR);

    CredentialList* list = options.credentials.list();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->cItems, 3);
    EXPECT_EQ(list->rgpItems[0]->dwType, static_cast<std::uint32_t>(CRED_USER_ID_FILE));
    EXPECT_STREQ(list->rgpItems[0]->pszValue, "a.id");
    EXPECT_EQ(list->rgpItems[1]->dwType, static_cast<std::uint32_t>(CRED_PASSWORD));
    EXPECT_STREQ(list->rgpItems[1]->pszValue, "pa");
    EXPECT_EQ(list->rgpItems[2]->dwType, static_cast<std::uint32_t>(CRED_USER_ID_FILE));
    EXPECT_STREQ(list->rgpItems[2]->pszValue, "b.id");

    CommonOptions none;
    EXPECT_EQ(none.credentials.list(), nullptr);
    EXPECT_EQ(openFlags(none), 0u);
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

TEST(CommonOptions, SettingsTakeTheFileThenTheFlags) {
    test::ScratchDir dir;
    const auto ini = dir / "host.ini";
    std::ofstream(ini) << "[nsfrex]\nExportDXL=0\nExtractAllNotes=1\n";
    CommonOptions options;
    ASSERT_TRUE(parse({"-c", "nsfrex.ExportDXL=1", "--config", ini.string(), "--temp-dir", dir.path().string()},
                      options));
    auto settings = hostSettings(options);
    ASSERT_TRUE(settings) << settings.error();
    EXPECT_EQ(settings->config.find("nsfrex", "ExportDXL"), "1");  // the flag wins, wherever it stands
    EXPECT_EQ(settings->config.find("nsfrex", "ExtractAllNotes"), "1");
    EXPECT_EQ(settings->tempPath, dir.path());
    EXPECT_FALSE(settings->libraryDirectory.empty());

    CommonOptions badDir;
    badDir.tempDir = dir / "missing";
    EXPECT_FALSE(hostSettings(badDir));
    CommonOptions badFile;
    badFile.configFile = dir / "missing.ini";
    EXPECT_FALSE(hostSettings(badFile));
    CommonOptions badSetting;
    badSetting.settings.push_back("nokey=1");
    EXPECT_FALSE(hostSettings(badSetting));
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
