// Opening and closing databases: each failure with its own status, handles checked.
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
}

TEST_F(Database, VersionComesFromTheOnDiskStructure) {
    const std::pair<std::uint16_t, std::pair<DWORD, DWORD>> cases[] = {
        {17, {4, 0}}, {41, {6, 0}}, {43, {6, 5}}, {51, {8, 5}}, {52, {9, 0}}, {53, {10, 0}}, {55, {12, 0}}};
    for (const auto& [ods, version] : cases) {
        nsf::MemoryDatabaseBuilder b;
        b.ods(ods);
        const DBHANDLE h = openBuilt(b, "v" + std::to_string(ods));
        BUILDVERSION v;
        std::memset(&v, 0xAB, sizeof v);
        ASSERT_EQ(NSFDbGetMajMinVersion(h, &v), NOERROR);
        EXPECT_EQ(v.MajorVersion, version.first) << ods;
        EXPECT_EQ(v.MinorVersion, version.second) << ods;
        EXPECT_EQ(v.QMRNumber, 0u);
        EXPECT_EQ(v.Spare[1], 0u);
        EXPECT_EQ(NSFDbGetMajMinVersion(h, nullptr), ERR_MISC_INVALID_ARGS);
        EXPECT_EQ(NSFDbClose(h), NOERROR);
    }
}

TEST_F(Database, ClosedForeignAndWrongKindHandlesAreRefused) {
    nsf::MemoryDatabaseBuilder b;
    const NOTEID id = b.document().text("Subject", "x").id();
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE note = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, id, 0, &note), NOERROR);
    BUILDVERSION v;
    EXPECT_EQ(NSFDbGetMajMinVersion(note, &v), ERR_RUNTIME_BAD_HANDLE);  // a note is not a database
    EXPECT_EQ(NSFDbClose(note), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFNoteClose(db), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFDbClose(0), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFDbClose(0xFFFFFFFF), ERR_RUNTIME_BAD_HANDLE);

    ASSERT_EQ(NSFDbClose(db), NOERROR);
    EXPECT_EQ(NSFDbClose(db), ERR_RUNTIME_BAD_HANDLE);  // stale
    EXPECT_EQ(NSFDbGetMajMinVersion(db, &v), ERR_RUNTIME_BAD_HANDLE);
    // A note outlives the close of its database.
    EXPECT_EQ(NSFItemInfo(note, "Subject", 7, nullptr, nullptr, nullptr, nullptr), NOERROR);
    EXPECT_EQ(NSFNoteClose(note), NOERROR);

    // The slot of a closed handle is reused under a new number: the old one stays stale.
    const DBHANDLE again = openBuilt(b);
    EXPECT_NE(again, db);
    EXPECT_EQ(NSFDbClose(db), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFDbClose(again), NOERROR);
}

TEST_F(Database, TheLastStopClosesEverything) {
    nsf::MemoryDatabaseBuilder b;
    const DBHANDLE db = openBuilt(b);
    DHANDLE table = 0;
    ASSERT_EQ(IDCreateTable(4, &table), NOERROR);
    NotesTerm();
    ASSERT_EQ(NotesInitExtended(0, nullptr), NOERROR);
    EXPECT_EQ(NSFDbClose(db), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(IDDestroyTable(table), ERR_RUNTIME_BAD_HANDLE);
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
