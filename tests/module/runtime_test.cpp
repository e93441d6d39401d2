// Starting the Notes runtime under the user's cross-process lock: the start and stop of each container, a
// runtime that cannot start, where each user's lock lives, a lock that cannot be created or is not the
// user's own, a lock held by another process, a lock whose holder died (reported like an abandoned
// mutex, released, and the next start succeeds), and two users one after the other.
#include <errno.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "module/catalogue_db.h"
#include "notes/runtime.h"

using namespace nsfrex_test;

namespace {

struct RuntimeTest : ModuleDbTest {
    EnvVar runtimeDir{"XDG_RUNTIME_DIR", nullptr};
    std::string LockPath()
    {
        char szPath[4096];
        nsfGetReaderMutexPath(szPath, sizeof szPath);
        return szPath;
    }
};

} // namespace

TEST_F(RuntimeTest, EachUserHasALockFileOfTheirOwn)
{
    const std::string uid = std::to_string(geteuid());
    const struct {
        const char *pszRule, *pszRuntimeDir, *pszTmpDir;
        std::string path;
    } rows[] = {
        {"the session's runtime folder", "/run/user/1000/", "/ignored", "/run/user/1000/TamselNSFReaderMutex"},
        {"the temporary folder with the user's ID", nullptr, "/var/tmp//", "/var/tmp/TamselNSFReaderMutex-" + uid},
        {"a relative runtime folder is not used", "run", "/var/tmp", "/var/tmp/TamselNSFReaderMutex-" + uid},
        {"no temporary folder set", "", nullptr, "/tmp/TamselNSFReaderMutex-" + uid},
    };
    for (const auto &row : rows) {
        EnvVar runtime("XDG_RUNTIME_DIR", row.pszRuntimeDir);
        EnvVar tmp("TMPDIR", row.pszTmpDir);
        EXPECT_EQ(LockPath(), row.path) << row.pszRule;
    }
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

TEST_F(RuntimeTest, ALinkInThePlaceOfTheLockIsNotFollowed)
{
    std::filesystem::create_symlink(dir.file("elsewhere"), LockPath());
    NsfContext *p = BareContext();
    EXPECT_EQ(nsfInitNotes(p), 12);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfInitNotes(): CreateMutex() failed, GetLastError() returned 40")); // ELOOP
    EXPECT_FALSE(std::filesystem::exists(dir.file("elsewhere")));
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
    // The holder marks a file just before it releases the lock: a start that waited finds the mark.
    const std::string mark = dir.file("released");
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
        usleep(200 * 1000);
        FILE *pf = fopen(mark.c_str(), "w");
        if (pf == nullptr || fclose(pf) != 0)
            _exit(3);
        _exit(nsfReleaseReaderMutex(&mutex, &nError) ? 0 : 4);
    }
    char ch = 0;
    ASSERT_EQ(read(rgPipe[0], &ch, 1), 1);
    close(rgPipe[0]);
    close(rgPipe[1]);

    NsfContext *p = BareContext();
    EXPECT_EQ(nsfInitNotes(p), 0);
    EXPECT_TRUE(std::filesystem::exists(mark)) << "the start did not wait for the lock";
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

namespace {

/* Runs the lock's create, wait and release in a child process under another user; its exit status is
   0 when all three succeed, else 10 + the errno of the create (or 1 and 2 for wait and release). */
int LockAsUser(uid_t uid)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (setgid(uid) != 0 || setuid(uid) != 0)
            _exit(3);
        NsfReaderMutex mutex;
        int32_t nError = 0;
        if (!nsfCreateReaderMutex(&mutex, &nError))
            _exit(10 + nError);
        if (nsfWaitReaderMutex(&mutex, &nError) != NSF_WAIT_OBJECT_0)
            _exit(1);
        _exit(nsfReleaseReaderMutex(&mutex, &nError) ? 0 : 2);
    }
    int nExit = -1;
    if (pid < 0 || waitpid(pid, &nExit, 0) != pid || !WIFEXITED(nExit))
        return -1;
    return WEXITSTATUS(nExit);
}

} // namespace

/* One user ran the module, then another uses the same shared temporary folder: each gets a lock of
   their own, and a file planted under the other user's name is refused, never shared. */
TEST_F(RuntimeTest, TwoUsersOneAfterTheOther)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "runs a second process under another user ID, which needs root";
    const uid_t other = 65534;
    const std::string shared = dir.file("shared");
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0); // like /tmp
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    EnvVar tmp("TMPDIR", shared.c_str());

    NsfContext *p = BareContext();
    ASSERT_EQ(nsfInitNotes(p), 0);
    Close();
    EXPECT_TRUE(std::filesystem::exists(shared + "/TamselNSFReaderMutex-0"));
    EXPECT_EQ(LockAsUser(other), 0);
    struct stat st;
    ASSERT_EQ(stat((shared + "/TamselNSFReaderMutex-" + std::to_string(other)).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, other);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A lock file of the first user's name that belongs to the other user is refused.
    const std::string planted = shared + "/TamselNSFReaderMutex-0";
    ASSERT_EQ(unlink(planted.c_str()), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);  // no sticky bit: only the owner check stands in the way
    FILE *pf = fopen(planted.c_str(), "w");
    ASSERT_NE(pf, nullptr);
    fclose(pf);
    ASSERT_EQ(chown(planted.c_str(), other, other), 0);
    NsfReaderMutex mutex;
    int32_t nError = 0;
    EXPECT_EQ(nsfCreateReaderMutex(&mutex, &nError), 0);
    EXPECT_EQ(nError, EACCES);
}
