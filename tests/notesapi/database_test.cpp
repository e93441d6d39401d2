// Opening databases: each failure with its own status, relative paths and the optional extension.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "runtime_fixture.h"

namespace {

namespace fs = std::filesystem;

class Database : public notesapi_test::ScratchRuntimeTest {
protected:
    Database() : ScratchRuntimeTest("notesapi_db_") {}
};

TEST_F(Database, OpenFailuresHaveTheirPublishedStatus) {
    DBHANDLE h = 99;
    EXPECT_EQ(NSFDbOpen((dir_ / "absent.nsf").c_str(), &h), ERR_NOEXIST);
    EXPECT_EQ(h, NULLHANDLE);
    EXPECT_EQ(NSFDbOpen(dir_.c_str(), &h), ERR_NOT_NSF);
    EXPECT_EQ(NSFDbOpen(write("empty.nsf", "").c_str(), &h), ERR_NOT_NSF);
    EXPECT_EQ(NSFDbOpen(write("text.nsf", std::string(4096, 'x')).c_str(), &h), ERR_NOT_NSF);
    EXPECT_EQ(h, NULLHANDLE);
    EXPECT_EQ(NSFDbOpen("x.nsf", nullptr), ERR_MISC_INVALID_ARGS);

    nsf::MemoryDatabaseBuilder encrypted;
    encrypted.locallyEncrypted();
    NotesTestRegisterDatabase("enc.nsf", [&] { return nsf::Expected<std::unique_ptr<nsf::Database>>(encrypted.build()); });
    EXPECT_EQ(NSFDbOpen("enc.nsf", &h), ERR_LOCALSEC_DBOPENFAILURE);
    NotesTestRegisterDatabase("broken.nsf", [] {
        return nsf::Expected<std::unique_ptr<nsf::Database>>(nsf::fail(nsf::ErrorKind::Unsupported, "header"));
    });
    EXPECT_EQ(NSFDbOpen("broken.nsf", &h), ERR_NSF_VERSION);
}

TEST_F(Database, RelativePathsUseTheDataDirectoryAndTheExtensionMayBeLeftOff) {
    write("garbage.nsf", std::string(100, '\0'));
    const fs::path ini = write("notes.ini", "Directory=" + dir_.string() + "\n");
    NotesTerm();
    std::string prog = "t", arg = "=" + ini.string();
    char* argv[] = {prog.data(), arg.data()};
    ASSERT_EQ(NotesInitExtended(2, argv), NOERROR);
    DBHANDLE h = 0;
    // Found (and rejected as not a database) rather than missing.
    EXPECT_EQ(NSFDbOpen("garbage", &h), ERR_NOT_NSF);
    EXPECT_EQ(NSFDbOpen("garbage.nsf", &h), ERR_NOT_NSF);
    EXPECT_EQ(NSFDbOpen("other", &h), ERR_NOEXIST);
    // An existing file is taken as named, even when a database of its name with ".nsf" exists too.
    write("both", std::string(100, '\0'));
    fs::copy_file(notesapi_test::samplePath("notedata_simple.nsf"), dir_ / "both.nsf");
    EXPECT_EQ(NSFDbOpen("both", &h), ERR_NOT_NSF);
    ASSERT_EQ(NSFDbOpen("both.nsf", &h), NOERROR);
    NSFDbClose(h);
}

TEST_F(Database, RealSampleOpensAndReportsItsVersion) {
    DBHANDLE h = 0;
    ASSERT_EQ(NSFDbOpen(notesapi_test::samplePath("notedata_MIMEMsg.nsf").c_str(), &h), NOERROR);
    BUILDVERSION v{};
    ASSERT_EQ(NSFDbGetMajMinVersion(h, &v), NOERROR);
    EXPECT_EQ(v.MajorVersion, 6u);  // ODS 43
    EXPECT_EQ(v.MinorVersion, 5u);
    EXPECT_EQ(NSFDbClose(h), NOERROR);
}

}  // namespace
