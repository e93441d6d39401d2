#include "config.h"

#include <fstream>

#include <gtest/gtest.h>

#include "host_test_support.h"

namespace nsfrex {
namespace {

TEST(Config, ReadsSectionsCommentsQuotesAndIgnoresCase) {
    Config config;
    ASSERT_TRUE(config.parseIni("; comment\r\n"
                                "# another\n"
                                "[nsfrex]\n"
                                "ExportDXL = 1\n"
                                "  TempDir=/var/tmp  \n"
                                "MailLogoFieldName = \"  padded  \"\n"
                                "Empty =\n"
                                "Equation = a=b\n"
                                "[ dxlrex ]\n"
                                "ShowAttachmentName=1\n",
                                "test.ini"));
    EXPECT_EQ(config.find("nsfrex", "ExportDXL"), "1");
    EXPECT_EQ(config.find("NSFREX", "exportdxl"), "1");
    EXPECT_EQ(config.find("nsfrex", "TempDir"), "/var/tmp");
    EXPECT_EQ(config.find("nsfrex", "MailLogoFieldName"), "  padded  ");
    EXPECT_EQ(config.find("nsfrex", "Empty"), "");
    EXPECT_EQ(config.find("nsfrex", "Equation"), "a=b");
    EXPECT_EQ(config.find("dxlrex", "ShowAttachmentName"), "1");
    // A key belongs to its own section only.
    EXPECT_FALSE(config.find("dxlrex", "ExportDXL"));
    EXPECT_FALSE(config.find("nsfrex", "ShowAttachmentName"));
    EXPECT_FALSE(config.find("nsfrex", "Missing"));
}

TEST(Config, RejectsMalformedLinesWithTheirLineNumber) {
    Config config;
    auto noEquals = config.parseIni("[nsfrex]\nExportDXL\n", "a.ini");
    ASSERT_FALSE(noEquals);
    EXPECT_NE(noEquals.error().find("a.ini:2"), std::string::npos) << noEquals.error();
    EXPECT_FALSE(config.parseIni("[nsfrex\nA=1\n", "b.ini"));
    EXPECT_FALSE(config.parseIni("[]\nA=1\n", "c.ini"));
    EXPECT_FALSE(config.parseIni("A=1\n", "d.ini"));  // outside any section
    EXPECT_FALSE(config.parseIni("[s]\n=1\n", "e.ini"));
}

TEST(Config, CommandLineSettingsWinOverTheFile) {
    test::ScratchDir dir;
    const auto file = dir / "host.ini";
    std::ofstream(file) << "[nsfrex]\nExportDXL=0\nExtractAllNotes=1\n";
    Config config;
    ASSERT_TRUE(config.loadFile(file));
    ASSERT_TRUE(config.set("nsfrex.ExportDXL=1"));
    ASSERT_TRUE(config.set("nsfrex.TempDir=/a=b"));  // the first '=' ends the key
    ASSERT_TRUE(config.set("dxlrex.Show.Attachment=x"));  // the first '.' ends the section
    EXPECT_EQ(config.find("nsfrex", "ExportDXL"), "1");
    EXPECT_EQ(config.find("nsfrex", "ExtractAllNotes"), "1");
    EXPECT_EQ(config.find("nsfrex", "TempDir"), "/a=b");
    EXPECT_EQ(config.find("dxlrex", "Show.Attachment"), "x");
    // The last of two settings for one key wins, whatever its case.
    ASSERT_TRUE(config.set("NSFREX.exportdxl=2"));
    EXPECT_EQ(config.find("nsfrex", "ExportDXL"), "2");

    EXPECT_FALSE(config.set("nsfrex=1"));
    EXPECT_FALSE(config.set("nsfrex.ExportDXL"));
    EXPECT_FALSE(config.set(".ExportDXL=1"));
    EXPECT_FALSE(config.set("nsfrex.=1"));
    EXPECT_FALSE(config.loadFile(dir / "missing.ini"));
}

}  // namespace
}  // namespace nsfrex
