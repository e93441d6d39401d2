// Opening and closing the database: the statuses of a failing open, and the switch back to the saved
// ID file at close.
#include <gtest/gtest.h>

#include "module/catalogue_db.h"
#include "notes/database.h"
#include "notes/runtime.h"

using namespace nsfrex_test;

namespace {

struct DatabaseTest : ModuleDbTest {
    NsfContext *Started()
    {
        NsfContext *p = BareContext();
        EXPECT_EQ(nsfInitNotes(p), 0);
        return p;
    }
};

} // namespace

TEST_F(DatabaseTest, FailingOpensGive4Or33Or28)
{
    NsfContext *p = Started();
    EXPECT_EQ(nsfOpenDatabase(p, dir.file("missing.nsf").c_str(), nullptr, nullptr), 4);
    EXPECT_EQ(p->hDb, 0u);

    Register(dbPath);
    NotesTestInjectFault("NSFDbOpen", 1, 6408, 0);
    EXPECT_EQ(nsfOpenDatabase(p, dbPath.c_str(), nullptr, nullptr), 33);
    NotesTestInjectFault("NSFDbOpen", 1, 0, 1);
    EXPECT_EQ(nsfOpenDatabase(p, dbPath.c_str(), nullptr, nullptr), 28);
    EXPECT_EQ(p->hDb, 0u);

    // A failing version read leaves the database open for close.
    NotesTestInjectFault("NSFDbGetMajMinVersion", 1, 0, 0);
    EXPECT_EQ(nsfOpenDatabase(p, dbPath.c_str(), nullptr, nullptr), 6);
    EXPECT_NE(p->hDb, 0u);
    EXPECT_EQ(nsfCloseDatabase(p), 0);
    EXPECT_EQ(p->hDb, 0u);

    // A missing ID file stops before the database is opened.
    EXPECT_EQ(nsfOpenDatabase(p, dbPath.c_str(), dir.file("missing.id").c_str(), nullptr), 6);
    EXPECT_EQ(p->hDb, 0u);
    Close();
    EXPECT_EQ(CountLogged("Calling Notes API NSFDbOpen()"), 4);
}

TEST_F(DatabaseTest, CloseSwitchesBackAndReportsAFailedSwitch)
{
    Register(dbPath);
    std::string idOrig = WriteIdFile("orig.id", "orig", "secret"), idTemp = WriteIdFile("temp.id", "temp", "tpw");
    EnvVar ini("NOTES_INI", WriteIni("KeyFileName=" + idOrig + "\nTAMSEL_NSFREX_PASSWORD=secret\n").c_str());
    NsfContext *p = Started();
    ASSERT_EQ(nsfSaveUserIdFile(p), 0);
    ASSERT_EQ(nsfOpenDatabase(p, dbPath.c_str(), idTemp.c_str(), "tpw"), 0);
    char szKey[256] = {};
    OSGetEnvironmentString("KeyFileName", szKey, sizeof szKey);
    EXPECT_EQ(std::string(szKey), idTemp);
    EXPECT_EQ(nsfCloseDatabase(p), 0);
    OSGetEnvironmentString("KeyFileName", szKey, sizeof szKey);
    EXPECT_EQ(std::string(szKey), idOrig);
    EXPECT_TRUE(Logged("INFO nsfOpenDatabase(): Switched to temp ID file, szUserName temp, szUserIdFile..."));
    EXPECT_TRUE(Logged("INFO nsfCloseDatabase(): Switched back to ID file, szUserName orig, szPassword secret, szUserIdFile..."));

    // The saved ID file has gone: the switch back fails, the database is closed all the same.
    ASSERT_EQ(nsfOpenDatabase(p, dbPath.c_str(), nullptr, nullptr), 0);
    std::filesystem::remove(idOrig);
    EXPECT_EQ(nsfCloseDatabase(p), 6);
    EXPECT_EQ(p->hDb, 0u);
    Close();
    auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "[0/0] ERROR nsfCloseDatabase(): szPassword secret, szUserIdFile..."));
    EXPECT_TRUE(HasLine(lines, "[0/0] ERROR nsfCloseDatabase(): " + idOrig));
    EXPECT_EQ(CountContaining(lines, "Calling Notes API NSFDbClose()"), 2);
}
