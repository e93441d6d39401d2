// Notes API tracing: call/return lines, the mapping of Notes statuses to module statuses, the runtime's
// status text, and exceptions raised by the runtime.
#include <new>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "log/log.h"
#include "log/trace.h"
#include "module/support/test_host.h"
#include "notesapi/notes.h"
#include "notesapi/testing.h"

using namespace nsfrex_test;

namespace {

struct TraceFixture : ::testing::Test {
    ScratchDir dir;
    std::string path = dir.file("trace.log");
    TestHost host;
    NsfContext ctx{};

    void OpenLog(const char *pszApi)
    {
        LogSetup env(path, "ALL", pszApi);
        ctx.pZAPI = host.zapi();
        nsfLogOpen(&ctx);
        ASSERT_NE(ctx.pLogFile, nullptr);
    }
    void SetUp() override { OpenLog("TRUE"); }
    void TearDown() override
    {
        nsfLogClose(&ctx);
        NotesTestClearFaults();
    }
    std::vector<std::string> Lines() { return ReadLines(path); }
    static std::string StatusText(STATUS wStatus)
    {
        char sz[1024] = {};
        OSLoadString(NULLHANDLE, (STATUS)(wStatus & 0x3FFF), sz, sizeof sz);
        return sz;
    }
};

} // namespace

TEST_F(TraceFixture, StatusMapping)
{
    struct Case {
        STATUS wStatus;
        NSFSTATUS nExpected;
    } rgCases[] = {{0, NSF_OK},           {610, NSF_OK},          {613, NSF_OK},         {760, NSF_ERR_ACCESS},
                   {6402, NSF_ERR_ACCESS}, {6408, NSF_ERR_ACCESS}, {1, NSF_ERR_FAILED},   {259, NSF_ERR_FAILED},
                   {546, NSF_ERR_FAILED}, {611, NSF_ERR_FAILED},  {759, NSF_ERR_FAILED}, {6409, NSF_ERR_FAILED},
                   {0x8000 | 546, NSF_ERR_FAILED}, {0xFFFF, NSF_ERR_FAILED}};
    for (const Case &c : rgCases) {
        nsfCallAPI(&ctx, "nsfCaller", "NSFNoteOpenExt");
        EXPECT_EQ(nsfRetAPI(&ctx, "nsfCaller", c.wStatus), c.nExpected) << "status " << c.wStatus;
        EXPECT_EQ(ctx.pszFuncAPI, nullptr);
    }
}

TEST_F(TraceFixture, ExceptionFromTheRuntimeGives28AndClosesTheTrace)
{
    EXPECT_EQ(nsfCallNotes(&ctx, "nsfRead", "NSFItemInfo",
                           []() -> STATUS { throw std::runtime_error("runtime fault"); }),
              NSF_ERR_EXCEPTION);
    EXPECT_EQ(ctx.pszFuncAPI, nullptr);
    EXPECT_EQ(nsfCallNotesUnjudged(&ctx, "nsfRead", "NotesTerm", [] { throw 5; }), NSF_ERR_EXCEPTION);
    int nOut = -1;
    EXPECT_EQ(nsfCallNotesUnjudged(&ctx, "nsfRead", "IDEntries", &nOut, []() -> int { throw std::bad_alloc(); }),
              NSF_ERR_EXCEPTION);
    EXPECT_EQ(nOut, -1);
    // The next call traces normally: no stale name, no missing-call warning.
    EXPECT_EQ(nsfCallNotes(&ctx, "nsfRead", "NSFNoteClose", [] { return (STATUS)0; }), NSF_OK);

    auto lines = Lines();
    EXPECT_EQ(lines[0], "[0/0] NOTES_API nsfRead(): Calling Notes API NSFItemInfo()...");
    EXPECT_EQ(lines[1], "[0/0] NOTES_API nsfRead(): Returned from Notes API NSFItemInfo()");
    EXPECT_EQ(lines[2], "[0/0] ERROR nsfRead(): Notes API NSFItemInfo() raised an EXCEPTION");
    EXPECT_EQ(CountContaining(lines, "raised an EXCEPTION"), 3);
    EXPECT_EQ(CountContaining(lines, "pszFuncAPI"), 0);
}
