// Options: the keys asked for, the exact "1" rule of the flags, the separator appended to TempDir,
// truncation of the text keys, and the log lines.
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

TEST_F(OptionsFixture, KeysAreAskedInOrderWithTheirBufferSizes)
{
    Set("TempDir", "/t");
    Read();
    const auto &rq = host.optionRequests();
    const std::vector<std::pair<std::string, uint32_t>> expected = {
        {"ExportDXL", 32}, {"ExportDXL_PureXML", 32}, {"ExtractAllNotes", 32},           {"ExtractAllFields", 32},
        {"TempDir", 260},  {"MailLogoFieldName", 32}, {"MailLogoFieldDefaultValue", 64}, {"AltSentField", 32}};
    ASSERT_EQ(rq.size(), expected.size());
    for (size_t i = 0; i < rq.size(); i++) {
        EXPECT_EQ(rq[i].section, "nsfrex");
        EXPECT_EQ(rq[i].key, expected[i].first);
        EXPECT_EQ(rq[i].cbOut, expected[i].second) << rq[i].key;
        EXPECT_EQ(rq[i].defaultValue, "");
        EXPECT_EQ(rq[i].nReserved, 0);
    }
}

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

TEST_F(OptionsFixture, WithoutTempDirAPrivateDirectoryIsMade)
{
    strcpy(host.zapi()->szTempPath, (dir.path() + "/").c_str());
    Read();
    std::string expected = dir.path() + "/nsfrex_" + std::to_string((long)getpid());
    EXPECT_EQ(std::string(ctx.szTempDir), expected);
    EXPECT_TRUE(std::filesystem::is_directory(expected));
}

TEST_F(OptionsFixture, TextKeysAreCutToTheirFields)
{
    Set("TempDir", "/t");
    Set("MailLogoFieldName", std::string(40, 'L'));
    Set("MailLogoFieldDefaultValue", std::string(70, 'D'));
    Set("AltSentField", "$AltSent");
    Read();
    EXPECT_EQ(std::string(ctx.szMailLogoFieldName), std::string(31, 'L'));
    EXPECT_EQ(std::string(ctx.szMailLogoFieldDefaultValue), std::string(63, 'D'));
    EXPECT_EQ(std::string(ctx.szAltSentField), "$AltSent");
    auto lines = ReadLines(logPath);
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInitOptions(): MailLogoFieldName " + std::string(31, 'L')));
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInitOptions(): MailLogoFieldDefaultValue " + std::string(63, 'D')));
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInitOptions(): AltSentField $AltSent"));
}

TEST_F(OptionsFixture, MissingKeysKeepTheirDefaults)
{
    Set("TempDir", "/t");
    memset(ctx.szMailLogoFieldName, 'x', sizeof ctx.szMailLogoFieldName);
    Read();
    EXPECT_EQ(ctx.bExportDXL + ctx.bExportDXL_PureXML + ctx.bExtractAllNotes + ctx.bExtractAllFields, 0);
    EXPECT_STREQ(ctx.szMailLogoFieldName, "");
    EXPECT_STREQ(ctx.szMailLogoFieldDefaultValue, "");
    EXPECT_STREQ(ctx.szAltSentField, "");
    auto lines = ReadLines(logPath);
    EXPECT_EQ(CountContaining(lines, "MailLogoFieldName"), 0);
    EXPECT_EQ(CountContaining(lines, "AltSentField"), 0);
}
