// The shared library's exports, and the 8-character file name taken from the database's path.
#include <dlfcn.h>
#include <string.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "entry/entry.h"
#include "module/support/test_host.h"

using namespace nsfrex_test;

TEST(Entry, SharedLibraryExportsOnlyTheEntryPoint)
{
    std::string path = std::string(NSFREX_BIN_DIR) + "/libnsfrex.so";
    ASSERT_TRUE(std::filesystem::exists(path)) << path << " is missing: build the nsfrex target";
    void *hLib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(hLib, nullptr) << dlerror();
    auto fpEntry = reinterpret_cast<GetContainerReaderInterfaceExFunc>(dlsym(hLib, NSFREX_ENTRY_POINT_NAME));
    ASSERT_NE(fpEntry, nullptr);
    for (const char *pszHidden : {"nsfInit", "nsfShutdown", "nsfLog", "nsfCallAPI", "nsfInitOptions", "_Z7nsfInitP7IOobj64P4ZAPIjjP14CredentialListPi"})
        EXPECT_EQ(dlsym(hLib, pszHidden), nullptr) << pszHidden;

    ContainerReaderInterface table{};
    ASSERT_EQ(fpEntry(&table), &table);
    ASSERT_NE(table.fpInit, nullptr);
    EXPECT_EQ(table.pHostSlot6, nullptr);

    // The library's own open and close work through the table, on a real database: the library has its
    // own runtime, so a database registered in memory by this process is not visible to it.
    std::string sample = std::string(NSFREX_SHARED_DIR) + "/samples/nsf/notedata_simple.nsf";
    ASSERT_TRUE(std::filesystem::exists(sample)) << sample << " is missing";
    ScratchDir dir;
    EnvVar tmpdir("TMPDIR", dir.path().c_str());
    EnvVar noIni("NOTES_INI", nullptr);
    EnvVar noLog("TAMSEL_NSFREX_LOG_LEVEL", nullptr);
    TestHost host;
    host.SetOption("nsfrex", "TempDir", dir.path());
    TestStream stream(sample);
    int32_t nStatus = -1;
    void *pContext = table.fpInit(&stream.io, host.zapi(), 0, 0, nullptr, &nStatus);
    ASSERT_NE(pContext, nullptr);
    EXPECT_EQ(nStatus, 0);
    table.fpShutdown(pContext);
    EXPECT_EQ(host.liveBlocks(), 0u);
    dlclose(hLib);
}

TEST(Entry, FileName8IsTheBaseNameUpToTheFirstDotOfThePath)
{
    struct Case {
        const char *pszPath, *pszExpected;
    } rgCases[] = {
        {"C:\\mail\\archive2013.nsf", "archive2"},
        {"/srv/mail/archive2013.nsf", "archive2"},
        {"C:\\mail\\a.nsf", "a"},
        {"/mail/a.nsf", "a"},
        {"db.nsf", "db"},
        {"C:\\ver1.2\\mail.nsf", "ver1"},  // the first dot of the whole path decides
        {"/data/ver1.2/mail.nsf", "ver1"},
        {"/mixed\\sep/x.nsf", "x"},
        {"C:\\mail\\noext", "noext"},
        {"/mail/twelvechars", "twelvech"},
        {"/mail/abcdefg.h.nsf", "abcdefg"},
        {"/mail/.hidden", ""},
        {"", ""},
        {"/", ""},
        {"/dir/", ""},
    };
    for (const Case &c : rgCases) {
        char sz[NSF_FILENAME8_SIZE];
        memset(sz, 'Z', sizeof sz);
        nsfGetFileName8(c.pszPath, sz);
        EXPECT_STREQ(sz, c.pszExpected) << c.pszPath;
    }
}
