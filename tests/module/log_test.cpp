// The diagnostic log: when there is none, and the file's name from the environment.
#include <string.h>
#include <unistd.h>

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "log/log.h"
#include "module/support/test_host.h"

using namespace nsfrex_test;

namespace {

/* A zeroed context whose log has been opened by nsfLogOpen with the given environment. */
struct LogContext {
    TestHost host;
    NsfContext ctx{};
    LogContext() { ctx.pZAPI = host.zapi(); }
    ~LogContext() { nsfLogClose(&ctx); }
};

std::string Tid()
{
    return std::to_string((long)gettid());
}

} // namespace

TEST(Log, FileNameFromDirectoryAndFallback)
{
    char sz[400];
    nsfLogMakePath("/var/log/x.log", "/ignored", 1, 2, sz, sizeof sz);
    EXPECT_STREQ(sz, "/var/log/x.log");

    nsfLogMakePath(nullptr, "C:/logs", 4711, 12, sz, sizeof sz);
    EXPECT_STREQ(sz, "C:/logs/nsfrex_4711_12.log");
    nsfLogMakePath("", "C:\\logs", 4711, 12, sz, sizeof sz);
    EXPECT_STREQ(sz, "C:\\logs/nsfrex_4711_12.log");  // '/' is the separator written here
    nsfLogMakePath(nullptr, "logs", 1, 2, sz, sizeof sz);
    EXPECT_STREQ(sz, "logs/nsfrex_1_2.log");
    nsfLogMakePath(nullptr, "/tmp/", 1, 2, sz, sizeof sz);
    EXPECT_STREQ(sz, "/tmp/nsfrex_1_2.log");
    nsfLogMakePath(nullptr, "D:\\x/y\\", 1, 2, sz, sizeof sz);
    EXPECT_STREQ(sz, "D:\\x/y\\nsfrex_1_2.log");
    nsfLogMakePath(nullptr, "", 7, 8, sz, sizeof sz);
    EXPECT_STREQ(sz, "nsfrex_7_8.log");
    nsfLogMakePath(nullptr, nullptr, 7, 8, sz, sizeof sz);
    EXPECT_STREQ(sz, "nsfrex_7_8.log");

    // Directory plus name: 259 characters fit, 260 do not.
    const std::string name = "nsfrex_1_2.log";  // 14 characters
    std::string dirFits = "/" + std::string(259 - 14 - 2, 'd') + "/";
    ASSERT_EQ(dirFits.size() + name.size(), 259u);
    nsfLogMakePath(nullptr, dirFits.c_str(), 1, 2, sz, sizeof sz);
    EXPECT_EQ(std::string(sz), dirFits + name);
    std::string dirTooLong = "/" + std::string(259 - 14 - 1, 'd') + "/";
    ASSERT_EQ(dirTooLong.size() + name.size(), 260u);
    nsfLogMakePath(nullptr, dirTooLong.c_str(), 1, 2, sz, sizeof sz);
    EXPECT_STREQ(sz, "nsfrex_1_2.log");
    std::string dir255 = "/" + std::string(254, 'd');  // a separator is appended: 256 + name
    nsfLogMakePath(nullptr, dir255.c_str(), 1, 2, sz, sizeof sz);
    EXPECT_STREQ(sz, "nsfrex_1_2.log");

    // A fixed file name is cut at 259 characters.
    std::string longFile(300, 'f');
    nsfLogMakePath(longFile.c_str(), nullptr, 1, 2, sz, sizeof sz);
    EXPECT_EQ(strlen(sz), 259u);
}

TEST(Log, OpenInDirectoryUsesProcessAndThreadIds)
{
    ScratchDir dir;
    EnvVar file("TAMSEL_NSFREX_LOG_FILE", "");  // empty: ignored
    EnvVar dirVar("TAMSEL_NSFREX_LOG_DIR", dir.path().c_str());
    EnvVar level("TAMSEL_NSFREX_LOG_LEVEL", "DIAG");
    LogContext lc;
    nsfLogOpen(&lc.ctx);
    EXPECT_EQ(lc.ctx.nLogLevel, LOG_DIAG);
    nsfLog(&lc.ctx, LOG_DIAG, "f", "m");
    std::string expected = dir.path() + "/nsfrex_" + std::to_string((long)getpid()) + "_" + Tid() + ".log";
    EXPECT_TRUE(std::filesystem::exists(expected)) << expected;
}

TEST(Log, RelativeDirectoryReceivesTheFile)
{
    ScratchDir dir;
    std::filesystem::create_directory(dir.file("logs"));
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EnvVar file("TAMSEL_NSFREX_LOG_FILE", nullptr);
    EnvVar dirVar("TAMSEL_NSFREX_LOG_DIR", "logs");
    EnvVar level("TAMSEL_NSFREX_LOG_LEVEL", "DIAG");
    {
        LogContext lc;
        nsfLogOpen(&lc.ctx);
        nsfLog(&lc.ctx, LOG_DIAG, "f", "m");
    }
    std::filesystem::current_path(cwd);
    const std::string name = "nsfrex_" + std::to_string((long)getpid()) + "_" + Tid() + ".log";
    EXPECT_TRUE(std::filesystem::exists(dir.file("logs/" + name))) << name;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "only the folder logs";
}
