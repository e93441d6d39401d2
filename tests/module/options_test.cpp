// Options: the exact "1" rule of the flags and the separator appended to TempDir.
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "entry/options.h"
#include "entry/tempdir.h"
#include "log/log.h"
#include "module/support/test_host.h"

using namespace nsfrex_test;

namespace {

struct OptionsFixture : ::testing::Test {
    ScratchDir dir;
    std::string logPath = dir.file("options.log");
    TestHost host;
    NsfContext ctx{};

    void SetUp() override { ctx.pZAPI = host.zapi(); }
    void TearDown() override
    {
        nsfDeleteTempDir(&ctx);
        nsfLogClose(&ctx);
    }
    void Set(const std::string &key, const std::string &value) { host.SetOption("nsfrex", key, value); }
    void Read()
    {
        LogSetup env(logPath, "ALL", "FALSE");
        nsfLogOpen(&ctx);
        EXPECT_EQ(nsfInitOptions(&ctx), NSF_OK);
    }
};

} // namespace

TEST_F(OptionsFixture, FlagsAreOnOnlyForExactlyOne)
{
    Set("ExportDXL", "1");
    Set("ExportDXL_PureXML", "TRUE");
    Set("ExtractAllNotes", " 1");
    Set("ExtractAllFields", "1");
    Set("TempDir", "/t");
    Read();
    EXPECT_EQ(ctx.bExportDXL, 1);
    EXPECT_EQ(ctx.bExportDXL_PureXML, 0);
    EXPECT_EQ(ctx.bExtractAllNotes, 0);
    EXPECT_EQ(ctx.bExtractAllFields, 1);
    auto lines = ReadLines(logPath);
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInitOptions(): bExportDXL 1, bExtractAllNotes 0, bExtractAllFields 1"));

    for (const char *psz : {"true", "yes", "01", "1 ", "", "2", "11"}) {
        TestHost other;
        other.SetOption("nsfrex", "ExportDXL", psz);
        other.SetOption("nsfrex", "TempDir", "/t");
        NsfContext c{};
        c.pZAPI = other.zapi();
        nsfInitOptions(&c);
        EXPECT_EQ(c.bExportDXL, 0) << '"' << psz << '"';
    }
}

TEST_F(OptionsFixture, TempDirGetsASeparatorWhenItFits)
{
    struct Case {
        std::string value, expected;
    } rgCases[] = {
        {"/tmp", "/tmp/"},
        {"/tmp/", "/tmp//"},  // always appended
        {"C:\\tmp", "C:\\tmp/"},
        {std::string(258, 'a'), std::string(258, 'a') + "/"},
        {std::string(259, 'b'), std::string(259, 'b')},  // fills the field: no room
        {std::string(300, 'c'), std::string(259, 'c')},  // delivered without terminator: cut at the last byte
    };
    for (const Case &c : rgCases) {
        TestHost other;
        other.SetOption("nsfrex", "TempDir", c.value);
        NsfContext cx{};
        cx.pZAPI = other.zapi();
        nsfInitOptions(&cx);
        EXPECT_EQ(std::string(cx.szTempDir), c.expected) << c.value.size();
        EXPECT_EQ(cx.bTempDirCreated, 0);  // the host's directory is never ours to delete
    }

    Set("TempDir", "/data/tmp");
    Read();
    auto lines = ReadLines(logPath);
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInitOptions(): szTempDir..."));
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInitOptions(): /data/tmp/"));
}
