// Starting and stopping the runtime and reading its configuration.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "notesapi/notes.h"

namespace {

namespace fs = std::filesystem;

class ScratchDir {
public:
    ScratchDir() : path_(fs::temp_directory_path() / ("notesapi_start_" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path write(const std::string& name, const std::string& text) const {
        const fs::path p = path_ / name;
        std::ofstream(p) << text;
        return p;
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

STATUS initWith(const std::string& arg) {
    std::string prog = "test";
    std::string a = arg;
    char* argv[] = {prog.data(), a.data(), nullptr};
    return NotesInitExtended(2, argv);
}

TEST(RuntimeStart, StartsWithoutConfigurationAndIsCounted) {
    ::unsetenv("NOTES_INI");
    ASSERT_EQ(NotesInitExtended(0, nullptr), NOERROR);
    ASSERT_EQ(NotesInitExtended(0, nullptr), NOERROR);
    char buf[16] = "x";
    EXPECT_FALSE(OSGetEnvironmentString("Directory", buf, sizeof buf));
    EXPECT_STREQ(buf, "");
    NotesTerm();
    // Still started once: a database open is refused only after the last stop.
    DBHANDLE h = 7;
    EXPECT_EQ(NSFDbOpen("/nonexistent/x.nsf", &h), ERR_NOEXIST);
    EXPECT_EQ(h, NULLHANDLE);
    NotesTerm();
    EXPECT_EQ(NSFDbOpen("/nonexistent/x.nsf", &h), ERR_RUNTIME_NOT_INITIALIZED);
    NotesTerm();  // an unmatched stop is harmless
}

TEST(RuntimeStart, ConfigurationFromArgumentOrEnvironment) {
    ScratchDir dir;
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

TEST(RuntimeStart, NamedButMissingConfigurationFailsTheStart) {
    ScratchDir dir;
    ::unsetenv("NOTES_INI");
    EXPECT_EQ(initWith("=" + (dir.path() / "absent.ini").string()), ERR_NO_NOTESINI);
    ::setenv("NOTES_INI", (dir.path() / "absent.ini").c_str(), 1);
    EXPECT_EQ(NotesInitExtended(0, nullptr), ERR_NO_NOTESINI);
    // A directory is not a configuration file either.
    ::setenv("NOTES_INI", dir.path().c_str(), 1);
    EXPECT_EQ(NotesInitExtended(0, nullptr), ERR_NO_NOTESINI);
    ::unsetenv("NOTES_INI");
    // The failed starts did not count: the runtime is stopped.
    DBHANDLE h = 0;
    EXPECT_EQ(NSFDbOpen("/nonexistent/x.nsf", &h), ERR_RUNTIME_NOT_INITIALIZED);
}

}  // namespace
