// Opening and closing a container: argument checks, each failing step of open, the host stream,
// the log lines, and a close that returns every block to the host after any of them.
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "entry/entry.h"
#include "module/support/test_host.h"
#include "notesapi/testing.h"
#include "nsf/memory_database.h"
#include "../../src/notesapi/testing_db.h"

using namespace nsfrex_test;

namespace {

struct OpenFixture : ::testing::Test {
    ScratchDir dir;
    std::string logPath = dir.file("open.log");
    TestHost host;

    void SetUp() override
    {
        host.SetOption("nsfrex", "TempDir", dir.path());
        // Every database these tests open is an empty one held in memory.
        for (const std::string &path : {dir.path() + "/mail/archive2013.nsf", dir.file("db.nsf"), dir.file("x.nsf"),
                                        dir.file("loop.nsf"), dir.file("b.nsf"), dir.file("tables.nsf"), dir.file("t.nsf")})
            NotesTestRegisterDatabase(path.c_str(), []() -> nsf::Expected<std::unique_ptr<nsf::Database>> {
                return nsf::MemoryDatabaseBuilder().build();
            });
    }
    void TearDown() override { NotesTestUnregisterDatabases(); }
    NsfContext *Open(TestStream &stream, int32_t *pnStatus, uint32_t dwFlags = 0, CredentialList *pCreds = nullptr)
    {
        LogSetup env(logPath, "ALL", "FALSE");
        return static_cast<NsfContext *>(nsfInit(&stream.io, host.zapi(), dwFlags, 0, pCreds, pnStatus));
    }
    std::vector<std::string> Lines() { return ReadLines(logPath); }
    void ExpectAllFreed()
    {
        EXPECT_EQ(host.liveBlocks(), 0u);
        EXPECT_EQ(host.badFrees(), 0);
    }
};

} // namespace

TEST_F(OpenFixture, MissingArguments)
{
    TestStream stream(dir.file("a.nsf"));
    int32_t nStatus = -1;
    EXPECT_EQ(nsfInit(nullptr, host.zapi(), 0, 0, nullptr, &nStatus), nullptr);
    EXPECT_EQ(nStatus, 34);
    nStatus = -1;
    EXPECT_EQ(nsfInit(&stream.io, nullptr, 0, 0, nullptr, &nStatus), nullptr);
    EXPECT_EQ(nStatus, 34);
    EXPECT_EQ(nsfInit(nullptr, nullptr, 0, 0, nullptr, nullptr), nullptr);
    EXPECT_EQ(nsfInit(&stream.io, host.zapi(), 0, 0, nullptr, nullptr), nullptr);
    EXPECT_EQ(host.allocations(), 0);
    EXPECT_EQ(stream.cOpen + stream.cClose, 0);
}

TEST_F(OpenFixture, SuccessfulOpenFillsTheContextAndCloseFreesEverything)
{
    std::string path = dir.path() + "/mail/archive2013.nsf";
    TestStream stream(path);
    int32_t nStatus = -1;
    NsfContext *pContext = Open(stream, &nStatus, CNVO_CREATEROOTDIR | CNVO_SHOWHIDDENTEXT | 0x5u);
    ASSERT_NE(pContext, nullptr);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(pContext->pZAPI, host.zapi());
    EXPECT_EQ(pContext->dwFlags, CNVO_CREATEROOTDIR | CNVO_SHOWHIDDENTEXT | 0x5u);
    EXPECT_STREQ(pContext->szFileName8, "archive2");
    EXPECT_EQ(pContext->pIOobj, &stream.io);
    ASSERT_NE(pContext->rgbBuffer, nullptr);
    EXPECT_EQ(pContext->ucbBufferSize, 8192u);
    EXPECT_EQ(pContext->ucbBuffer, 0u);
    // Freshly zeroed although the host's memory is not.
    EXPECT_EQ(pContext->rgbBuffer2, nullptr);
    ASSERT_NE(pContext->rgSubFiles, nullptr);   // the root record only
    EXPECT_EQ(pContext->cSubFiles, 1);
    EXPECT_NE(pContext->hDb, 0u);
    EXPECT_EQ(pContext->pszFuncAPI, nullptr);
    EXPECT_EQ(pContext->nIndex, 0);
    EXPECT_EQ(stream.cOpen, 1);
    EXPECT_EQ(stream.cClose, 1);
    EXPECT_EQ(host.liveBlocks(), 4u);  // the context, the main buffer, the subfile table and its root record

    nsfShutdown(pContext);
    ExpectAllFreed();

    auto lines = Lines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "[0/0] INFO nsfInit(): IOobj64.pFileName...");
    EXPECT_EQ(lines[2], "[0/0] INFO nsfInit(): " + path);
    EXPECT_EQ(lines[3], "[0/0] INFO nsfInit(): dwFlags 0x1040005, CNVO_CREATEROOTDIR 1, CNVO_SHOWHIDDENTEXT 1");
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfInit(): Allocated main buffer, ucbBufferSize 8192"));
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInit(): szFileName8 archive2"));
    EXPECT_TRUE(HasLine(lines, "[0/1] INFO nsfShutdown(): ..."));   // [nIndex/cSubFiles]
    EXPECT_TRUE(HasLine(lines, "[0/1] INFO nsfShutdown(): Deleting temp dir..."));
    EXPECT_EQ(lines.back(), "[0/1] INFO nsfShutdown(): Freeing context...");
    EXPECT_EQ(CountContaining(lines, " ERROR "), 0);
    EXPECT_EQ(CountContaining(lines, " WARNING "), 0);
    EXPECT_EQ(CountContaining(lines, "Terminating Notes"), 1);
}

TEST_F(OpenFixture, FlagsAreReportedBitByBit)
{
    TestStream stream(dir.file("db.nsf"));
    int32_t nStatus = -1;
    nsfShutdown(Open(stream, &nStatus, 0));
    EXPECT_TRUE(HasLine(Lines(), "[0/0] INFO nsfInit(): dwFlags 0x0, CNVO_CREATEROOTDIR 0, CNVO_SHOWHIDDENTEXT 0"));
    ExpectAllFreed();
}

TEST_F(OpenFixture, HostStreamHandling)
{
    // Already open (close function set): only closed.
    {
        TestStream stream(dir.file("x.nsf"), true);
        int32_t nStatus = -1;
        NsfContext *pContext = Open(stream, &nStatus);
        EXPECT_EQ(nStatus, 0);
        EXPECT_EQ(stream.cOpen, 0);
        EXPECT_EQ(stream.cClose, 1);
        nsfShutdown(pContext);
        EXPECT_EQ(stream.cClose, 1);  // close does not touch the stream again
    }
    // Open fails.
    {
        TestStream stream(dir.file("x.nsf"));
        stream.bOpenFails = true;
        int32_t nStatus = -1;
        NsfContext *pContext = Open(stream, &nStatus);
        ASSERT_NE(pContext, nullptr);  // returned for the host to close
        EXPECT_EQ(nStatus, 4);
        EXPECT_EQ(stream.cClose, 0);
        EXPECT_EQ(pContext->pIOobj, nullptr);
        nsfShutdown(pContext);
        EXPECT_TRUE(HasLine(Lines(), "[0/0] ERROR nsfInit(): IOobj64.twOpenFunc() failed"));
    }
    // Open succeeds but leaves no close function.
    {
        TestStream stream(dir.file("x.nsf"));
        stream.bOpenInstallsClose = false;
        int32_t nStatus = -1;
        NsfContext *pContext = Open(stream, &nStatus);
        EXPECT_EQ(nStatus, 4);
        EXPECT_EQ(stream.cOpen, 1);
        nsfShutdown(pContext);
        EXPECT_TRUE(HasLine(Lines(), "[0/0] ERROR nsfInit(): IOobj64.twCloseFunc() null"));
    }
    // No open function at all.
    {
        TestStream stream(dir.file("x.nsf"));
        stream.io.twOpenFunc = nullptr;
        int32_t nStatus = -1;
        nsfShutdown(Open(stream, &nStatus));
        EXPECT_EQ(nStatus, 4);
    }
    ExpectAllFreed();
}

TEST_F(OpenFixture, MissingPathGives12BeforeTheStreamIsTouched)
{
    TestStream stream("");
    stream.io.pFileName = nullptr;
    int32_t nStatus = -1;
    NsfContext *pContext = Open(stream, &nStatus);
    ASSERT_NE(pContext, nullptr);
    EXPECT_EQ(nStatus, 12);
    EXPECT_EQ(stream.cOpen + stream.cClose, 0);
    EXPECT_NE(pContext->rgbBuffer, nullptr);
    nsfShutdown(pContext);
    ExpectAllFreed();
    auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInit(): IOobj64.pFileName..."));
    EXPECT_TRUE(HasLine(lines, "[0/0] ERROR nsfInit(): No input file path"));
}

TEST_F(OpenFixture, EveryFailedAllocationIsReportedAndNothingLeaks)
{
    // Fail the 1st, 2nd, ... allocation until open gets through; every attempt is closed and checked.
    int nth = 1;
    for (;; nth++) {
        ASSERT_LT(nth, 50) << "open never succeeded";
        TestHost h;
        h.SetOption("nsfrex", "TempDir", dir.path());
        h.FailAllocation(nth);
        TestStream stream(dir.file("loop.nsf"));
        int32_t nStatus = -1;
        void *pContext = nsfInit(&stream.io, h.zapi(), 0, 0, nullptr, &nStatus);
        if (nth == 1) {
            EXPECT_EQ(pContext, nullptr);  // the context itself
            EXPECT_EQ(nStatus, 2);
        } else {
            ASSERT_NE(pContext, nullptr);
        }
        nsfShutdown(pContext);
        EXPECT_EQ(h.liveBlocks(), 0u) << "allocation " << nth;
        EXPECT_EQ(h.badFrees(), 0);
        if (h.failedAllocations() == 0) {
            EXPECT_EQ(nStatus, 0);
            break;
        }
        EXPECT_EQ(nStatus, 2) << "allocation " << nth;
    }
    EXPECT_GE(nth, 3);  // at least the context and the main buffer were tried

    // The main buffer failing is logged with its size, and close does not touch the Notes runtime.
    host.FailAllocation(2);
    TestStream stream(dir.file("b.nsf"));
    int32_t nStatus = -1;
    NsfContext *pContext = Open(stream, &nStatus);
    ASSERT_NE(pContext, nullptr);
    EXPECT_EQ(nStatus, 2);
    EXPECT_EQ(pContext->rgbBuffer, nullptr);
    EXPECT_EQ(stream.cOpen, 0);
    nsfShutdown(pContext);
    ExpectAllFreed();
    auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "[0/0] ERROR nsfInit(): Error allocating main buffer, ucbBufferSize 8192 (TM_IO_MAX_PATH 8192)"));
    EXPECT_EQ(CountContaining(lines, "Terminating Notes"), 0);
}

TEST_F(OpenFixture, CloseFreesEveryTableRecordAndString)
{
    TestStream stream(dir.file("tables.nsf"));
    int32_t nStatus = -1;
    NsfContext *pContext = Open(stream, &nStatus);
    ASSERT_EQ(nStatus, 0);
    MemoryService *pMem = &host.zapi()->memoryService;
    auto alloc = [&](size_t cb) {
        void *pv = pMem->fpMalloc(pMem, cb);
        memset(pv, 0, cb);
        return pv;
    };

    // Two credentials, one without password.
    pContext->rgCreds = static_cast<Cred *>(alloc(2 * sizeof(Cred)));
    pContext->cCreds = 2;
    pContext->rgCreds[0].pszUserIdFile = host.zapi()->fpStrdup(host.zapi(), "/ids/a.id");
    pContext->rgCreds[0].pszPassword = host.zapi()->fpStrdup(host.zapi(), "secret");
    pContext->rgCreds[1].pszUserIdFile = host.zapi()->fpStrdup(host.zapi(), "/ids/b.id");
    // Subfiles: a note, an attachment with both names, and a null tail entry.
    pContext->cSubFilesMax = 3;
    pContext->rgSubFiles = static_cast<SubFile **>(alloc(3 * sizeof(SubFile *)));
    for (int i = 0; i < 2; i++)
        pContext->rgSubFiles[i] = static_cast<SubFile *>(alloc(sizeof(SubFile)));
    pContext->rgSubFiles[1]->rgbOrigFileName = static_cast<uint8_t *>(alloc(8));
    pContext->rgSubFiles[1]->pbFileName = static_cast<uint8_t *>(alloc(8));
    pContext->cSubFiles = 2;
    // Images: one with data, one without.
    pContext->cImagesMax = pContext->cImages = 2;
    pContext->rgImages = static_cast<Image **>(alloc(2 * sizeof(Image *)));
    pContext->rgImages[0] = static_cast<Image *>(alloc(sizeof(Image)));
    pContext->rgImages[0]->rgbData = static_cast<uint8_t *>(alloc(100));
    pContext->rgImages[1] = static_cast<Image *>(alloc(sizeof(Image)));
    // Item names and folders.
    pContext->cItemNamesMax = 4;
    pContext->cItemNames = 1;
    pContext->rgItemNames = static_cast<char **>(alloc(4 * sizeof(char *)));
    pContext->rgItemNames[0] = static_cast<char *>(alloc(NSF_ITEM_NAME_SIZE));
    pContext->rgItemNames[1] = static_cast<char *>(alloc(NSF_ITEM_NAME_SIZE));
    pContext->cFoldersMax = 2;
    pContext->cFolders = 1;
    pContext->rgFolders = static_cast<Folder **>(alloc(2 * sizeof(Folder *)));
    pContext->rgFolders[0] = static_cast<Folder *>(alloc(offsetof(Folder, rgNoteIDs) + 3 * sizeof(uint32_t)));
    // Both temp buffers.
    pContext->rgbBuffer2 = static_cast<uint8_t *>(alloc(272));
    pContext->rgbBuffer3 = static_cast<uint8_t *>(alloc(272));
    pContext->hIDTable = 5;

    nsfShutdown(pContext);
    ExpectAllFreed();
    EXPECT_TRUE(HasLine(Lines(), "[0/2] WARNING nsfShutdown(): ID table is not destroyed"));  // [nIndex/cSubFiles]
}

TEST_F(OpenFixture, OpenAndCloseThroughTheTable)
{
    ContainerReaderInterface table{};
    nsfGetContainerReaderInterfaceEx(&table);
    TestStream stream(dir.file("t.nsf"));
    int32_t nStatus = -1;
    void *pContext = table.fpInit(&stream.io, host.zapi(), 0, 0, nullptr, &nStatus);
    ASSERT_NE(pContext, nullptr);
    EXPECT_EQ(nStatus, 0);
    MainFileInfo info{};
    int hostThing = 0;
    EXPECT_EQ(table.fpGetContainerInfo(pContext, &info, &hostThing), 0);
    SubFileInfo sub{};
    HostAllocatorRef ref{};
    EXPECT_EQ(table.fpGetSubFileInfo(pContext, 0, &sub, &ref), 34);  // no subfiles
    table.fpShutdown(pContext);
    ExpectAllFreed();
}
