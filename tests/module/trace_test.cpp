// Notes API tracing: call/return lines, the mapping of Notes statuses to module statuses, the runtime's
// status text, exceptions raised by the runtime, and protocol mistakes.
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

TEST_F(TraceFixture, SuccessfulCallWritesCallAndReturnLines)
{
    int cCalls = 0;
    EXPECT_EQ(nsfCallNotes(&ctx, "nsfCaller", "NSFDbOpen", [&] {
                  EXPECT_STREQ(ctx.pszFuncAPI, "NSFDbOpen");  // set while the call runs
                  cCalls++;
                  return (STATUS)0;
              }),
              NSF_OK);
    EXPECT_EQ(cCalls, 1);
    EXPECT_EQ(ctx.pszFuncAPI, nullptr);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[0/0] NOTES_API nsfCaller(): Calling Notes API NSFDbOpen()...");
    EXPECT_EQ(lines[1], "[0/0] NOTES_API nsfCaller(): Returned from Notes API NSFDbOpen()");

    // A call whose result is not judged closes its trace with 0 and hands the result over.
    uint32_t dwEntries = 0;
    EXPECT_EQ(nsfCallNotesUnjudged(&ctx, "nsfCaller", "IDEntries", &dwEntries, [] { return 7u; }), NSF_OK);
    EXPECT_EQ(dwEntries, 7u);
    EXPECT_EQ(nsfCallNotesUnjudged(&ctx, "nsfCaller", "NotesTerm", [] {}), NSF_OK);
    EXPECT_EQ(Lines().size(), 6u);
    EXPECT_EQ(ctx.pszFuncAPI, nullptr);
}

TEST_F(TraceFixture, WithoutApiTracingOnlyFailuresAreLogged)
{
    nsfLogClose(&ctx);
    OpenLog("FALSE");
    EXPECT_EQ(nsfCallNotes(&ctx, "nsfCaller", "NSFDbOpen", [] { return (STATUS)0; }), NSF_OK);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(nsfCallNotes(&ctx, "nsfCaller", "NSFDbOpen", [] { return (STATUS)546; }), NSF_ERR_FAILED);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[0/0] ERROR nsfCaller(): Notes API NSFDbOpen() failed, status 546 0x222, error message...");
}

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

TEST_F(TraceFixture, IgnoredStatusesLogAWarningWithTheRuntimeText)
{
    for (STATUS wStatus : {(STATUS)610, (STATUS)613}) {
        nsfCallAPI(&ctx, "nsfNote", "NSFNoteDecrypt");
        EXPECT_EQ(nsfRetAPI(&ctx, "nsfNote", wStatus), NSF_OK);
    }
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[2], "[0/0] WARNING nsfNote(): Notes API NSFNoteDecrypt() failed, status 610 0x262, error message... (ignored)");
    EXPECT_EQ(lines[3], "[0/0] WARNING nsfNote(): " + StatusText(610));
    EXPECT_EQ(lines[6], "[0/0] WARNING nsfNote(): Notes API NSFNoteDecrypt() failed, status 613 0x265, error message... (ignored)");
    EXPECT_EQ(lines[7], "[0/0] WARNING nsfNote(): " + StatusText(613));
    EXPECT_FALSE(StatusText(613).empty());
    EXPECT_EQ(CountContaining(lines, " ERROR "), 0);
}

TEST_F(TraceFixture, FailingStatusLogsAnErrorWithTheMaskedStatusText)
{
    nsfCallAPI(&ctx, "nsfOpen", "NSFDbOpen");
    EXPECT_EQ(nsfRetAPI(&ctx, "nsfOpen", 6408), NSF_ERR_ACCESS);
    nsfCallAPI(&ctx, "nsfOpen", "NSFDbOpen");
    EXPECT_EQ(nsfRetAPI(&ctx, "nsfOpen", (STATUS)(0x4000 | 259)), NSF_ERR_FAILED);  // flag bits above the code
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[2], "[0/0] ERROR nsfOpen(): Notes API NSFDbOpen() failed, status 6408 0x1908, error message...");
    EXPECT_EQ(lines[3], "[0/0] ERROR nsfOpen(): " + StatusText(6408));
    EXPECT_EQ(lines[6], "[0/0] ERROR nsfOpen(): Notes API NSFDbOpen() failed, status 16643 0x4103, error message...");
    EXPECT_EQ(lines[7], "[0/0] ERROR nsfOpen(): " + StatusText(259));
    EXPECT_FALSE(StatusText(259).empty());
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

TEST_F(TraceFixture, ProtocolMistakesAreReported)
{
    EXPECT_EQ(nsfRetAPI(&ctx, "nsfX", 0), NSF_OK);
    nsfCallAPI(&ctx, "nsfX", "NSFDbOpen");
    nsfCallAPI(&ctx, "nsfX", "NSFDbClose");
    EXPECT_EQ(nsfRetAPI(&ctx, "nsfX", 1), NSF_ERR_FAILED);
    auto lines = Lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "[0/0] WARNING nsfRetAPI(): pszFuncAPI not set - missing nsfCallAPI() call");
    EXPECT_EQ(lines[1], "[0/0] NOTES_API nsfX(): Returned from Notes API Unknown()");
    EXPECT_EQ(lines[2], "[0/0] NOTES_API nsfX(): Calling Notes API NSFDbOpen()...");
    EXPECT_EQ(lines[3], "[0/0] WARNING nsfCallAPI(): pszFuncAPI still set to NSFDbOpen() - missing nsfRetAPI() call");
    EXPECT_EQ(lines[4], "[0/0] NOTES_API nsfX(): Calling Notes API NSFDbClose()...");
    EXPECT_EQ(CountContaining(lines, "Notes API NSFDbClose() failed, status 1 0x1"), 1);
}

TEST_F(TraceFixture, FaultsInjectedIntoTheRuntime)
{
    // A status injected into a real runtime call goes through the mapping...
    NotesTestInjectFault("NSFDbClose", 1, 6402, 0);
    EXPECT_EQ(nsfCallNotes(&ctx, "nsfClose", "NSFDbClose", [] { return NSFDbClose(NULLHANDLE); }), NSF_ERR_ACCESS);
    NotesTestInjectFault("NSFDbClose", 1, 613, 0);
    EXPECT_EQ(nsfCallNotes(&ctx, "nsfClose", "NSFDbClose", [] { return NSFDbClose(NULLHANDLE); }), NSF_OK);
    // ...and an exception thrown inside the runtime is caught at the call.
    NotesTestInjectFault("NSFDbClose", 1, 0, 1);
    EXPECT_EQ(nsfCallNotes(&ctx, "nsfClose", "NSFDbClose", [] { return NSFDbClose(NULLHANDLE); }),
              NSF_ERR_EXCEPTION);
    EXPECT_EQ(ctx.pszFuncAPI, nullptr);
    auto lines = Lines();
    EXPECT_EQ(CountContaining(lines, "ERROR nsfClose(): Notes API NSFDbClose() failed, status 6402 0x1902"), 1);
    EXPECT_EQ(CountContaining(lines, "WARNING nsfClose(): Notes API NSFDbClose() failed, status 613 0x265"), 1);
    EXPECT_EQ(CountContaining(lines, "ERROR nsfClose(): Notes API NSFDbClose() raised an EXCEPTION"), 1);
}
