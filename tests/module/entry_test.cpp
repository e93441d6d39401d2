// The entry point and operation table, argument checks of the slots, the 8-character file name, and
// the choice among tested credentials.
#include <dlfcn.h>
#include <string.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "entry/entry.h"
#include "module/support/test_host.h"

using namespace nsfrex_test;

TEST(Entry, TableGetsSlotsZeroToFiveAndSevenAndKeepsSlotSix)
{
    ContainerReaderInterface table;
    memset(&table, 0xAB, sizeof table);
    void *pSlot6 = table.pHostSlot6;
    EXPECT_EQ(nsfGetContainerReaderInterfaceEx(&table), &table);
    EXPECT_EQ(table.fpInit, &nsfInit);
    EXPECT_EQ(table.fpShutdown, &nsfShutdown);
    EXPECT_EQ(table.fpGetContainerInfo, &nsfGetContainerInfo);
    EXPECT_EQ(table.fpGetSubFileInfo, &nsfGetSubFileInfo);
    EXPECT_EQ(table.fpGetSubFileMetadata, &nsfGetSubFileMetadata);
    EXPECT_EQ(table.fpExtractSubFileToIOobj, &nsfExtractSubFileToIOobj);
    EXPECT_EQ(table.fpExtractSubFileToIOobjEx, &nsfExtractSubFileToIOobjEx);
    EXPECT_EQ(table.pHostSlot6, pSlot6);

    // Any number of calls give the same table.
    ContainerReaderInterface again = table;
    EXPECT_EQ(nsfGetContainerReaderInterfaceEx(&again), &again);
    EXPECT_EQ(memcmp(&again, &table, sizeof table), 0);
}

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

TEST(Entry, SlotsRefuseMissingArguments)
{
    NsfContext ctx{};
    MainFileInfo mainInfo{};
    SubFileInfo subInfo{};
    SubFileMetaData meta{};
    SubFileExtractInfo extract{};
    ExtraSubFileInfo extra{};
    HostAllocatorRef alloc{};
    IOobj64 io{};
    int host = 0;

    EXPECT_EQ(nsfGetContainerInfo(nullptr, &mainInfo, &host), 34);
    EXPECT_EQ(nsfGetContainerInfo(&ctx, nullptr, &host), 34);
    EXPECT_EQ(nsfGetContainerInfo(&ctx, &mainInfo, nullptr), 34);
    EXPECT_EQ(nsfGetSubFileInfo(nullptr, 0, &subInfo, &alloc), 34);
    EXPECT_EQ(nsfGetSubFileInfo(&ctx, 0, nullptr, &alloc), 34);
    EXPECT_EQ(nsfGetSubFileInfo(&ctx, 0, &subInfo, nullptr), 34);
    EXPECT_EQ(nsfGetSubFileMetadata(nullptr, 0, 0, nullptr, &meta, &alloc), 34);
    EXPECT_EQ(nsfGetSubFileMetadata(&ctx, 0, 0, nullptr, nullptr, &alloc), 34);
    EXPECT_EQ(nsfGetSubFileMetadata(&ctx, 0, 0, nullptr, &meta, nullptr), 34);
    EXPECT_EQ(nsfExtractSubFileToIOobj(nullptr, 0, &io, &extract, &host, 0), 34);
    EXPECT_EQ(nsfExtractSubFileToIOobj(&ctx, 0, nullptr, &extract, &host, 0), 34);
    EXPECT_EQ(nsfExtractSubFileToIOobj(&ctx, 0, &io, nullptr, &host, 0), 34);
    EXPECT_EQ(nsfExtractSubFileToIOobj(&ctx, 0, &io, &extract, nullptr, 0), 34);
    EXPECT_EQ(nsfExtractSubFileToIOobjEx(nullptr, 0, &io, &extract, &host, &extra), 34);
    EXPECT_EQ(nsfExtractSubFileToIOobjEx(&ctx, 0, nullptr, &extract, &host, &extra), 34);
    EXPECT_EQ(nsfExtractSubFileToIOobjEx(&ctx, 0, &io, nullptr, &host, &extra), 34);
    EXPECT_EQ(nsfExtractSubFileToIOobjEx(&ctx, 0, &io, &extract, nullptr, &extra), 34);
    EXPECT_EQ(nsfExtractSubFileToIOobjEx(&ctx, 0, &io, &extract, &host, nullptr), 34);
    nsfShutdown(nullptr);  // ignored
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

TEST(Entry, CredentialWithMostBodiesWinsAndTiesGoToTheFirst)
{
    auto choose = [](std::vector<int32_t> bodies) {
        std::vector<Cred> creds(bodies.size());
        for (size_t i = 0; i < bodies.size(); i++)
            creds[i].cBody = bodies[i];
        NsfContext ctx{};
        ctx.rgCreds = creds.data();
        ctx.cCreds = static_cast<int32_t>(creds.size());
        return nsfChooseCred(&ctx);
    };
    EXPECT_EQ(choose({5, 9, 9}), 1);
    EXPECT_EQ(choose({0, 0, 0}), 0);
    EXPECT_EQ(choose({1, 0, 3}), 2);
    EXPECT_EQ(choose({4}), 0);
    EXPECT_EQ(choose({}), -1);
}
