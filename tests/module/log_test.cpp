// The diagnostic log: line layout, level filter and names, hex dump layout, file naming, environment.
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

TEST(Log, LineLayoutWithAndWithoutFunctionName)
{
    ScratchDir dir;
    std::string path = dir.file("a.log");
    LogSetup env(path, "ALL", "FALSE");
    LogContext lc;
    nsfLogOpen(&lc.ctx);
    ASSERT_EQ(lc.ctx.nLogLevel, LOG_ALL);
    EXPECT_EQ(lc.ctx.bLogTimestamp, 0);
    EXPECT_EQ(lc.ctx.bLogAPI, 0);

    lc.ctx.nIndex = 3;
    lc.ctx.cSubFiles = 17;
    nsfLog(&lc.ctx, LOG_WARNING, "nsfDoThing", "something odd");
    nsfLog(&lc.ctx, LOG_INFO, nullptr, "");
    nsfLog(&lc.ctx, LOG_INFO, nullptr, "bare text");
    nsfLog(&lc.ctx, LOG_INFO, "nsfDoThing", nullptr);  // no message: nothing
    nsfLogValue(&lc.ctx, LOG_INFO, "nsfInit", "IOobj64.pFileName...", "/data/mail.nsf");
    nsfLogf(&lc.ctx, LOG_ERROR, "nsfF", "value %d 0x%x", 42, 42);
    EXPECT_STREQ(lc.ctx.szText, "value 42 0x2a");  // formatted in the scratch text

    // Written line by line: visible before the file is closed.
    EXPECT_EQ(ReadFile(path), "[3/17] WARNING nsfDoThing(): something odd\n"
                              "\n"
                              "bare text\n"
                              "[3/17] INFO nsfInit(): IOobj64.pFileName...\n"
                              "[3/17] INFO nsfInit(): /data/mail.nsf\n"
                              "[3/17] ERROR nsfF(): value 42 0x2a\n");
}

TEST(Log, TimestampPrefixAndAppending)
{
    ScratchDir dir;
    std::string path = dir.file("t.log");
    {
        std::ofstream(path) << "earlier line\n";
    }
    EnvVar file("TAMSEL_NSFREX_LOG_FILE", path.c_str());
    EnvVar level("TAMSEL_NSFREX_LOG_LEVEL", "INFO");
    EnvVar stamp("TAMSEL_NSFREX_LOG_TIMESTAMP", nullptr);
    EnvVar api("TAMSEL_NSFREX_LOG_API", "true");
    LogContext lc;
    nsfLogOpen(&lc.ctx);
    EXPECT_EQ(lc.ctx.bLogTimestamp, 1);
    EXPECT_EQ(lc.ctx.bLogAPI, 1);  // "TRUE" in any case
    nsfLog(&lc.ctx, LOG_INFO, "nsfX", "hello");
    nsfLogClose(&lc.ctx);
    EXPECT_EQ(lc.ctx.pLogFile, nullptr);

    auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier line");
    EXPECT_TRUE(std::regex_match(lines[1],
                                 std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \[0/0\] INFO nsfX\(\): hello)")))
        << lines[1];

    EnvVar stampOff("TAMSEL_NSFREX_LOG_TIMESTAMP", "false");
    EnvVar apiOther("TAMSEL_NSFREX_LOG_API", "yes");
    LogContext lc2;
    nsfLogOpen(&lc2.ctx);
    EXPECT_EQ(lc2.ctx.bLogTimestamp, 0);
    EXPECT_EQ(lc2.ctx.bLogAPI, 0);
}

TEST(Log, LevelFilterAndNames)
{
    ScratchDir dir;
    std::string path = dir.file("l.log");
    LogSetup env(path, "WARNING", "FALSE");
    LogContext lc;
    nsfLogOpen(&lc.ctx);
    ASSERT_EQ(lc.ctx.nLogLevel, LOG_WARNING);
    for (int32_t n = -1; n <= 8; n++)
        nsfLog(&lc.ctx, n, "f", ("level " + std::to_string(n)).c_str());
    nsfLogDump(&lc.ctx, LOG_INFO, reinterpret_cast<const uint8_t *>("xyz"), 3);  // above the level
    EXPECT_EQ(ReadFile(path), "[0/0] NOTES_API f(): level 1\n"
                              "[0/0] ERROR f(): level 2\n"
                              "[0/0] WARNING f(): level 3\n");

    EXPECT_STREQ(nsfLogLevelName(1), "NOTES_API");
    EXPECT_STREQ(nsfLogLevelName(4), "INFO");
    EXPECT_STREQ(nsfLogLevelName(5), "DIAG");
    EXPECT_STREQ(nsfLogLevelName(6), "DUMP");
    EXPECT_STREQ(nsfLogLevelName(7), "ALL");
    EXPECT_STREQ(nsfLogLevelName(0), "NONE");
    EXPECT_STREQ(nsfLogLevelName(8), "NONE");
    EXPECT_STREQ(nsfLogLevelName(-3), "NONE");
}

TEST(Log, LevelWordsMatchByCaseSensitivePrefix)
{
    EXPECT_EQ(nsfLogLevelFromText("ERROR"), 2);
    EXPECT_EQ(nsfLogLevelFromText("ERRORS_ONLY"), 2);
    EXPECT_EQ(nsfLogLevelFromText("WARN"), 3);
    EXPECT_EQ(nsfLogLevelFromText("WARNING"), 3);
    EXPECT_EQ(nsfLogLevelFromText("INFORMATION"), 4);
    EXPECT_EQ(nsfLogLevelFromText("DIAG"), 5);
    EXPECT_EQ(nsfLogLevelFromText("DUMPALL"), 6);
    EXPECT_EQ(nsfLogLevelFromText("ALL"), 7);
    EXPECT_EQ(nsfLogLevelFromText("info"), 0);
    EXPECT_EQ(nsfLogLevelFromText(" INFO"), 0);
    EXPECT_EQ(nsfLogLevelFromText("NOTES_API"), 0);  // level 1 has no word
    EXPECT_EQ(nsfLogLevelFromText("WAR"), 0);
    EXPECT_EQ(nsfLogLevelFromText(""), 0);
    EXPECT_EQ(nsfLogLevelFromText(nullptr), 0);
}

TEST(Log, NoLevelOrUnopenableFileMeansNoLog)
{
    ScratchDir dir;
    {
        LogSetup env(dir.file("none.log"), "info");
        LogContext lc;
        nsfLogOpen(&lc.ctx);
        EXPECT_EQ(lc.ctx.nLogLevel, 0);
        EXPECT_EQ(lc.ctx.pLogFile, nullptr);
        nsfLog(&lc.ctx, LOG_ERROR, "f", "x");
        EXPECT_FALSE(std::filesystem::exists(dir.file("none.log")));
    }
    {
        LogSetup env(dir.file("missing/sub/dir.log"), "ALL");
        LogContext lc;
        EXPECT_EQ(nsfLogOpen(&lc.ctx), NSF_OK);
        EXPECT_EQ(lc.ctx.nLogLevel, 0);  // silently disabled
        EXPECT_EQ(lc.ctx.pLogFile, nullptr);
        nsfLog(&lc.ctx, LOG_ERROR, "f", "x");
        nsfLogDump(&lc.ctx, LOG_ERROR, reinterpret_cast<const uint8_t *>("x"), 1);
    }
    {
        EnvVar level("TAMSEL_NSFREX_LOG_LEVEL", nullptr);
        LogContext lc;
        nsfLogOpen(&lc.ctx);
        EXPECT_EQ(lc.ctx.nLogLevel, 0);
    }
}

TEST(Log, HexDumpLayout)
{
    ScratchDir dir;
    std::string path = dir.file("d.log");
    LogSetup env(path, "DUMP", "FALSE");
    LogContext lc;
    nsfLogOpen(&lc.ctx);

    uint8_t rgb[20];
    for (int i = 0; i < 20; i++)
        rgb[i] = static_cast<uint8_t>(0x3E + i);  // '>' .. 'Q'
    rgb[1] = 0x00;
    rgb[2] = 0x7F;
    rgb[3] = 0x1F;
    rgb[4] = 0xFF;
    strcpy(lc.ctx.szText, "kept");
    nsfLogDump(&lc.ctx, LOG_DUMP, rgb, 20);
    EXPECT_STREQ(lc.ctx.szText, "kept");  // the caller's scratch text is not used by the dump

    auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "0       3e 00 7f 1f ff 43 44 45 46 47 48 49 4a 4b 4c 4d   >    CDEFGHIJKLM");
    EXPECT_EQ(lines[1], "10      4e 4f 50 51 " + std::string(12 * 3, ' ') + "  NOPQ");

    // Offsets beyond 0xffff stay left-aligned; a run of exactly 16 bytes has no padding.
    std::vector<uint8_t> big(0x10010, 'a');
    nsfLogDump(&lc.ctx, LOG_DUMP, big.data(), static_cast<uint32_t>(big.size()));
    lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 2u + 0x1001u);
    EXPECT_EQ(lines[2 + 0x1000].substr(0, 9), "10000   6");
    std::string full;
    for (int i = 0; i < 16; i++)
        full += "61 ";
    EXPECT_EQ(lines[2 + 0xfff], "fff0    " + full + "  " + std::string(16, 'a'));

    // Nothing for a null pointer or an empty run.
    size_t cLines = lines.size();
    nsfLogDump(&lc.ctx, LOG_DUMP, nullptr, 4);
    nsfLogDump(&lc.ctx, LOG_DUMP, rgb, 0);
    EXPECT_EQ(ReadLines(path).size(), cLines);
}

TEST(Log, FileNameFromDirectoryAndFallback)
{
    char sz[400];
    nsfLogMakePath("/var/log/x.log", "/ignored", 1, 2, sz, sizeof sz);
    EXPECT_STREQ(sz, "/var/log/x.log");

    nsfLogMakePath(nullptr, "C:/logs", 4711, 12, sz, sizeof sz);
    EXPECT_STREQ(sz, "C:/logs/nsfrex_4711_12.log");
    nsfLogMakePath("", "C:\\logs", 4711, 12, sz, sizeof sz);
    EXPECT_STREQ(sz, "C:\\logs\\nsfrex_4711_12.log");
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
