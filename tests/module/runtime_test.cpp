// Starting the Notes runtime under the cross-process lock: the start and stop of each container, a
// runtime that cannot start, a lock that cannot be created, a lock held by another process, and a lock
// whose holder died (reported like an abandoned mutex, released, and the next start succeeds).
#include <errno.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "module/catalogue_db.h"
#include "notes/runtime.h"

using namespace nsfrex_test;

namespace {

struct RuntimeTest : ModuleDbTest {
    std::string LockPath()
    {
        char szPath[4096];
        nsfGetReaderMutexPath(szPath, sizeof szPath);
        return szPath;
    }
};

} // namespace

TEST_F(RuntimeTest, LockFileLivesInTmpdirUnderTheMutexName)
{
    EXPECT_EQ(LockPath(), dir.path() + "/TamselNSFReaderMutex");
    EnvVar noTmp("TMPDIR", nullptr);
    EXPECT_EQ(LockPath(), "/tmp/TamselNSFReaderMutex");
}

TEST_F(RuntimeTest, OpenStartsAndCloseStopsTheRuntimeOnce)
{
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(pContext->bNotesInitialized, 1);
    Close();
    auto lines = Lines();
    for (const char *psz : {"INFO nsfInitNotes(): Creating mutex TamselNSFReaderMutex...", "INFO nsfInitNotes(): Mutex created",
                            "INFO nsfInitNotes(): Locking mutex TamselNSFReaderMutex...", "INFO nsfInitNotes(): Mutex locked",
                            "INFO nsfInitNotes(): Initializing Notes...", "INFO nsfInitNotes(): Notes is initialized",
                            "INFO nsfInitNotes(): Releasing mutex TamselNSFReaderMutex...",
                            "INFO nsfInitNotes(): Mutex released", "INFO nsfShutdown(): Terminating Notes..."})
        EXPECT_EQ(CountContaining(lines, psz), 1) << psz;
    EXPECT_EQ(CountContaining(lines, "Calling Notes API NotesInitExtended()"), 1);
    EXPECT_EQ(CountContaining(lines, "Calling Notes API NotesTerm()"), 1);
    // The lock is free again and not marked as held.
    std::string state = ReadFile(LockPath());
    ASSERT_EQ(state.size(), 1u);
    EXPECT_EQ(state[0], '\0');
}

TEST_F(RuntimeTest, MissingNotesIniFailsWith12AndCloseDoesNotStop)
{
    // The runtime reports a configuration file it cannot find with 421 (a start while it is already
    // running keeps the first configuration, so the status is injected).
    NotesTestInjectFault("NotesInitExtended", 1, 421, 0);
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(nStatus, 12);
    EXPECT_EQ(pContext->bNotesInitialized, 0);
    Close();
    auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "[0/0] ERROR nsfInitNotes(): Notes API NotesInitExtended() failed, status 421 0x1a5"));
    EXPECT_TRUE(HasLine(lines, "[0/0] ERROR nsfInitNotes(): The NOTES.INI file cannot be found on the search path (PATH)"));
    EXPECT_TRUE(HasLine(lines, "[0/0] WARNING nsfInitNotes(): Notes is NOT initialized"));
    EXPECT_TRUE(HasLine(lines, "[0/0] WARNING nsfInit(): nsfInitNotes() failed"));
    EXPECT_EQ(CountContaining(lines, "Mutex released"), 1);
    EXPECT_EQ(CountContaining(lines, "Terminating Notes..."), 0);
    EXPECT_EQ(CountContaining(lines, "NotesTerm"), 0);
}

TEST_F(RuntimeTest, LockThatCannotBeCreatedGives12)
{
    EnvVar badTmp("TMPDIR", dir.file("missing").c_str());
    NsfContext *p = BareContext();
    EXPECT_EQ(nsfInitNotes(p), 12);
    EXPECT_EQ(p->bNotesInitialized, 0);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfInitNotes(): CreateMutex() failed, GetLastError() returned 2"));
    EXPECT_FALSE(Logged("Initializing Notes..."));
    EXPECT_FALSE(Logged("Releasing mutex"));
}

TEST_F(RuntimeTest, ReleasingALockThatIsNotOwnedFails)
{
    NsfReaderMutex mutex;
    int32_t nError = 0;
    ASSERT_EQ(nsfCreateReaderMutex(&mutex, &nError), 1);
    EXPECT_EQ(nsfReleaseReaderMutex(&mutex, &nError), 0);
    EXPECT_EQ(nError, EPERM);
    EXPECT_EQ(nsfWaitReaderMutex(&mutex, &nError), NSF_WAIT_OBJECT_0);
    EXPECT_EQ(nsfReleaseReaderMutex(&mutex, &nError), 1);
    nsfCloseReaderMutex(&mutex);
}

TEST_F(RuntimeTest, StartWaitsWhileAnotherProcessHoldsTheLock)
{
    int rgPipe[2];
    ASSERT_EQ(pipe(rgPipe), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        NsfReaderMutex mutex;
        int32_t nError = 0;
        if (!nsfCreateReaderMutex(&mutex, &nError) || nsfWaitReaderMutex(&mutex, &nError) != NSF_WAIT_OBJECT_0)
            _exit(1);
        char ch = 'x';
        if (write(rgPipe[1], &ch, 1) != 1)
            _exit(2);
        usleep(400 * 1000);
        _exit(nsfReleaseReaderMutex(&mutex, &nError) ? 0 : 3);
    }
    char ch = 0;
    ASSERT_EQ(read(rgPipe[0], &ch, 1), 1);
    close(rgPipe[0]);
    close(rgPipe[1]);

    NsfContext *p = BareContext();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(nsfInitNotes(p), 0);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_EQ(p->bNotesInitialized, 1);
    int nExit = -1;
    ASSERT_EQ(waitpid(pid, &nExit, 0), pid);
    EXPECT_TRUE(WIFEXITED(nExit) && WEXITSTATUS(nExit) == 0);
    Close();
    EXPECT_FALSE(Logged("WAIT_ABANDONED"));
}

TEST_F(RuntimeTest, LockAbandonedByADeadProcessIsReportedReleasedAndTheNextStartSucceeds)
{
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        NsfReaderMutex mutex;
        int32_t nError = 0;
        if (!nsfCreateReaderMutex(&mutex, &nError) || nsfWaitReaderMutex(&mutex, &nError) != NSF_WAIT_OBJECT_0)
            _exit(1);
        _exit(0);   // dies holding the lock
    }
    int nExit = -1;
    ASSERT_EQ(waitpid(pid, &nExit, 0), pid);
    ASSERT_TRUE(WIFEXITED(nExit) && WEXITSTATUS(nExit) == 0);

    NsfContext *p = BareContext();
    EXPECT_EQ(nsfInitNotes(p), 12);
    EXPECT_EQ(p->bNotesInitialized, 0);
    EXPECT_EQ(nsfInitNotes(p), 0);
    EXPECT_EQ(p->bNotesInitialized, 1);
    Close();

    auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "[0/0] ERROR nsfInitNotes(): WaitForSingleObject() failed (mutex NOT locked)..."));
    EXPECT_TRUE(HasLine(lines, "[0/0] WARNING nsfInitNotes(): WaitForSingleObject() returned WAIT_ABANDONED"));
    EXPECT_EQ(CountContaining(lines, "Mutex released"), 2);
    EXPECT_EQ(CountContaining(lines, "ReleaseMutex() failed"), 0);
    EXPECT_EQ(CountContaining(lines, "Calling Notes API NotesInitExtended()"), 1);
    EXPECT_EQ(CountContaining(lines, "Notes is initialized"), 1);
}
