#include "open_database.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "host_test_support.h"

namespace nsfrex {
namespace {

// The test program sits beside the module, as the nsfrex command does.
TEST(OpenDatabase, OpensThroughTheModuleWithTheCommonOptions) {
    test::ScratchDir dir;
    CommonOptions options;
    options.tempDir = dir.path();
    options.settings.push_back("nsfrex.ExportDXL=1");
    options.logFile = dir / "module.log";
    options.logLevel = "INFO";
    {
        auto opened = openDatabase(options, test::sampleDatabase("notedata_simple.nsf"));
        ASSERT_TRUE(opened) << opened.error();
        EXPECT_EQ(opened->host->config().find("nsfrex", "ExportDXL"), "1");
        EXPECT_STREQ(opened->host->zapi()->szTempPath, (dir.path().string() + "/").c_str());
        EXPECT_NE(opened->session.context(), nullptr);
    }
    unsetenv("TAMSEL_NSFREX_LOG_LEVEL");
    unsetenv("TAMSEL_NSFREX_LOG_FILE");
    // The module wrote its log where the option said.
    std::ifstream log(dir / "module.log");
    std::ostringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("nsfrex"), std::string::npos) << text.str();

    CommonOptions bad;
    bad.settings.push_back("broken");
    auto refused = openDatabase(bad, test::sampleDatabase("notedata_simple.nsf"));
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("broken"), std::string::npos) << refused.error();
}

}  // namespace
}  // namespace nsfrex
