// Loads the built module and opens real databases through it, with the host's own services.
#include "module.h"

#include <fstream>

#include <gtest/gtest.h>

#include "credentials.h"
#include "host_test_support.h"
#include "zapi.h"

namespace nsfrex {
namespace {

std::unique_ptr<HostServices> makeHost(const std::filesystem::path& tempPath) {
    HostSettings settings;
    settings.libraryDirectory = test::binDir();
    settings.tempPath = tempPath;
    auto host = HostServices::create(std::move(settings));
    EXPECT_TRUE(host) << host.error();
    return host ? std::move(*host) : nullptr;
}

TEST(Module, LoadsAndFillsTheOperationTable) {
    auto module = ModuleLibrary::load(test::binDir() / kModuleFileName);
    ASSERT_TRUE(module) << module.error();
    EXPECT_NE(module->reader().fpInit, nullptr);
    EXPECT_NE(module->reader().fpExtractSubFileToIOobjEx, nullptr);

    auto missing = ModuleLibrary::load(test::binDir() / "libno_such_module.so");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("libno_such_module.so"), std::string::npos) << missing.error();
    // A library without the entry point.
    auto notAModule = ModuleLibrary::load(test::binDir() / "libnotes.so");
    ASSERT_FALSE(notAModule);
    EXPECT_NE(notAModule.error().find("nsfGetContainerReaderInterfaceEx"), std::string::npos) << notAModule.error();
}

TEST(Module, SessionOpensAndClosesADatabaseAndReturnsEveryBlock) {
    test::ScratchDir temp;
    auto module = ModuleLibrary::load(test::binDir() / kModuleFileName);
    ASSERT_TRUE(module) << module.error();
    auto host = makeHost(temp.path());
    ASSERT_TRUE(host);
    {
        auto session = ModuleSession::open(*module, *host, test::sampleDatabase("notedata_simple.nsf"), 0, nullptr);
        ASSERT_TRUE(session) << session.error();
        EXPECT_NE(session->context(), nullptr);
        EXPECT_TRUE(std::filesystem::path(session->databasePath()).is_absolute());
        EXPECT_EQ(session->databasePath().find(".."), std::string::npos) << session->databasePath();
        auto info = session->containerInfo();
        ASSERT_TRUE(info) << info.error();
        EXPECT_GE(info->numSubFiles, 0);
    }
    EXPECT_EQ(host->allocator().liveBlocks(), 0u) << "the module kept memory after close";
    EXPECT_EQ(host->allocator().foreignFrees(), 0u);
    EXPECT_EQ(host->libraries().openLibraries(), 0u);
}

TEST(Module, SessionReportsAFailedOpenAndStillReleasesTheContext) {
    test::ScratchDir temp;
    auto module = ModuleLibrary::load(test::binDir() / kModuleFileName);
    ASSERT_TRUE(module) << module.error();
    auto host = makeHost(temp.path());
    ASSERT_TRUE(host);
    std::ofstream(temp / "junk.nsf") << "not a database";
    auto session = ModuleSession::open(*module, *host, temp / "junk.nsf", 0, nullptr);
    ASSERT_FALSE(session);
    EXPECT_NE(session.error().find("junk.nsf"), std::string::npos) << session.error();
    EXPECT_NE(session.error().find("module status"), std::string::npos) << session.error();
    EXPECT_EQ(host->allocator().liveBlocks(), 0u);

    // Every allocation of an open, made to fail in turn, must give a clean error and leak nothing.
    const auto database = test::sampleDatabase("notedata_simple.nsf");
    std::uint64_t needed = 0;
    {
        auto probe = ModuleSession::open(*module, *host, database, 0, nullptr);
        ASSERT_TRUE(probe) << probe.error();
        needed = host->allocator().allocations();
    }
    ASSERT_GT(needed, 0u) << "the context itself comes from the host allocator";
    for (std::uint64_t n = 1; n <= needed && n <= 200; ++n) {
        host->allocator().failAt(n);
        { auto attempt = ModuleSession::open(*module, *host, database, 0, nullptr); }
        host->allocator().failAt(0);
        EXPECT_EQ(host->allocator().liveBlocks(), 0u) << "leak when allocation " << n << " fails";
        EXPECT_EQ(host->allocator().foreignFrees(), 0u) << "bad free when allocation " << n << " fails";
    }
}

TEST(Module, CredentialsReachTheModuleInOrder) {
    Credentials credentials;
    EXPECT_EQ(credentials.list(), nullptr);
    credentials.addIdFile("first.id");
    credentials.addPassword("secret");
    credentials.addIdFile("second.id");
    CredentialList* list = credentials.list();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->cItems, 3);
    EXPECT_STREQ(list->rgpItems[0]->pszValue, "first.id");
    EXPECT_STREQ(list->rgpItems[1]->pszValue, "secret");
    EXPECT_STREQ(list->rgpItems[2]->pszValue, "second.id");
    EXPECT_EQ(list->rgpItems[1]->dwType, static_cast<std::uint32_t>(CRED_PASSWORD));
}

}  // namespace
}  // namespace nsfrex
