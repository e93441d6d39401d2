// Opening and closing a container: a successful open and its close, a missing path, and every failing
// allocation of open reported with nothing leaked.
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
    }
};

} // namespace

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
