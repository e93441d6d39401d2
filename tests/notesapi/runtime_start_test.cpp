// The runtime's configuration from its argument or the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "runtime_fixture.h"

namespace {

namespace fs = std::filesystem;

STATUS initWith(const std::string& arg) {
    std::string prog = "test";
    std::string a = arg;
    char* argv[] = {prog.data(), a.data(), nullptr};
    return NotesInitExtended(2, argv);
}

TEST(RuntimeStart, ConfigurationFromArgumentOrEnvironment) {
    notesapi_test::ScratchFolder dir("notesapi_start_");
    const fs::path ini = dir.write("notes.ini", "[Notes]\nKeyFileName = user.id \nDirectory=/data\n"
                                                "Count=42\nnoequals\nkeyfilename=second\n");
    ::unsetenv("NOTES_INI");
    ASSERT_EQ(initWith("=" + ini.string()), NOERROR);
    char buf[MAXENVVALUE];
    ASSERT_TRUE(OSGetEnvironmentString("KEYFILENAME", buf, sizeof buf));
    EXPECT_STREQ(buf, "user.id");  // trimmed, case-insensitive name, first definition wins
    EXPECT_EQ(OSGetEnvironmentLong("count"), 42);
    EXPECT_EQ(OSGetEnvironmentLong("missing"), 0);
    // A short buffer is truncated, never overrun.
    char small[4] = {'a', 'a', 'a', 'a'};
    ASSERT_TRUE(OSGetEnvironmentString("Directory", small, sizeof small));
    EXPECT_STREQ(small, "/da");
    EXPECT_TRUE(OSGetEnvironmentString("Directory", nullptr, 0));
    EXPECT_FALSE(OSGetEnvironmentString(nullptr, buf, sizeof buf));
    NotesTerm();

    ::setenv("NOTES_INI", ini.c_str(), 1);
    ASSERT_EQ(NotesInitExtended(0, nullptr), NOERROR);
    EXPECT_TRUE(OSGetEnvironmentString("Directory", buf, sizeof buf));
    NotesTerm();
    ::unsetenv("NOTES_INI");
}

}  // namespace
