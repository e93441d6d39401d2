// The container's temporary directory: where it is made, reuse, removal (only when made here, never
// through links), failures; temporary file names: form, buffer size, re-creation, exhaustion of a prefix,
// and uniqueness when threads and another process create files in one directory at once.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "entry/tempdir.h"
#include "log/log.h"
#include "support/test_host.h"

namespace fs = std::filesystem;
using nsfrex_test::EnvVar;
using nsfrex_test::ScratchDir;
using nsfrex_test::TestHost;

namespace {

/* A context on a test host whose log is kept in memory. */
class TempContext {
public:
    TempContext()
    {
        m_pContext = std::make_unique<NsfContext>();
        m_pContext->pZAPI = m_host.zapi();
        m_pContext->nLogLevel = LOG_ALL;
        m_pContext->pLogFile = open_memstream(&m_pszLog, &m_cbLog);
    }
    ~TempContext()
    {
        fclose(m_pContext->pLogFile);
        free(m_pszLog);
    }
    NsfContext *get() { return m_pContext.get(); }
    NsfContext *operator->() { return m_pContext.get(); }
    ZAPI *zapi() { return m_host.zapi(); }
    std::vector<std::string> Lines()
    {
        fflush(m_pContext->pLogFile);
        std::vector<std::string> lines;
        std::string text(m_pszLog, m_cbLog);
        size_t ib = 0, ibEnd;
        while ((ibEnd = text.find('\n', ib)) != std::string::npos) {
            lines.push_back(text.substr(ib, ibEnd - ib));
            ib = ibEnd + 1;
        }
        return lines;
    }
    /* The message and the next line hold the pair "<message>" / "<value>". */
    bool HasPair(const std::string &prefix, const std::string &value)
    {
        auto lines = Lines();
        for (size_t i = 0; i + 1 < lines.size(); i++)
            if (lines[i] == prefix && lines[i + 1].size() >= value.size() &&
                lines[i + 1].compare(lines[i + 1].size() - value.size(), value.size(), value) == 0)
                return true;
        return false;
    }
    bool HasLine(const std::string &line) { return nsfrex_test::HasLine(Lines(), line); }

private:
    TestHost m_host;
    std::unique_ptr<NsfContext> m_pContext;
    char *m_pszLog = nullptr;
    size_t m_cbLog = 0;
};

std::string PidDirName()
{
    return "nsfrex_" + std::to_string(getpid());
}

size_t CountEntries(const std::string &dir)
{
    size_t c = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(dir))
        c++;
    return c;
}

TEST(TempDir, MadeUnderTheSystemTempPathReusedAndRemoved)
{
    ScratchDir scratch;
    EnvVar tmpdir("TMPDIR", scratch.path().c_str());
    const std::string expected = scratch.path() + "/" + PidDirName();

    TempContext first;
    ASSERT_EQ(nsfCreateTempDir(first.get()), NSF_OK);
    EXPECT_EQ(std::string(first->szTempDir), expected);
    EXPECT_EQ(first->bTempDirCreated, 1);
    struct stat st;
    ASSERT_EQ(lstat(expected.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u) << "the directory is for this user only";
    EXPECT_TRUE(first.HasPair("[0/0] INFO nsfCreateTempDir(): Created temp dir, szTempDir...",
                              "[0/0] INFO nsfCreateTempDir(): " + expected));

    // a second container of the process uses the existing directory unchanged
    std::ofstream(expected + "/keep") << "x";
    TempContext second;
    ASSERT_EQ(nsfCreateTempDir(second.get()), NSF_OK);
    EXPECT_EQ(std::string(second->szTempDir), expected);
    EXPECT_TRUE(fs::exists(expected + "/keep"));

    // a system path that ends in a separator gets no second one
    {
        EnvVar slashed("TMPDIR", (scratch.path() + "/").c_str());
        TempContext third;
        ASSERT_EQ(nsfCreateTempDir(third.get()), NSF_OK);
        EXPECT_EQ(std::string(third->szTempDir), expected);
    }

    // the first close removes it with its content; the second one then finds nothing to remove
    ASSERT_EQ(nsfDeleteTempDir(first.get()), NSF_OK);
    EXPECT_FALSE(fs::exists(expected));
    EXPECT_TRUE(first.HasPair("[0/0] INFO nsfDeleteTempDir(): Deleted temp dir, szTempDir...",
                              "[0/0] INFO nsfDeleteTempDir(): " + expected));
    EXPECT_EQ(nsfDeleteTempDir(second.get()), NSF_ERR_FAILED);
    EXPECT_TRUE(second.HasLine("[0/0] ERROR nsfDeleteTempDir(): DeleteDirectory() failed, szTempDir..."));

    // without TMPDIR the system path is /tmp
    EnvVar unset("TMPDIR", nullptr);
    char szPath[260];
    ASSERT_EQ(nsfGetSystemTempPath(szPath, sizeof szPath), 5u);
    EXPECT_STREQ(szPath, "/tmp/");
    EXPECT_EQ(nsfGetSystemTempPath(szPath, 5), 6u) << "too small: the size needed";
}

TEST(TempDir, HostTempPathIsTakenExactlyAsGiven)
{
    ScratchDir scratch;
    {
        TempContext c;
        snprintf(c.zapi()->szTempPath, sizeof c.zapi()->szTempPath, "%s/work/", scratch.path().c_str());
        ASSERT_EQ(nsfCreateTempDir(c.get()), NSF_OK);
        EXPECT_EQ(std::string(c->szTempDir), scratch.path() + "/work/" + PidDirName());
        EXPECT_TRUE(fs::is_directory(c->szTempDir)) << "missing directories on the way are made";
    }
    {
        TempContext c;
        snprintf(c.zapi()->szTempPath, sizeof c.zapi()->szTempPath, "%s/work", scratch.path().c_str());
        ASSERT_EQ(nsfCreateTempDir(c.get()), NSF_OK);
        EXPECT_EQ(std::string(c->szTempDir), scratch.path() + "/work" + PidDirName());
    }
}

TEST(TempDir, OnlyADirectoryMadeHereIsRemovedAndLinksInsideAreNotFollowed)
{
    ScratchDir scratch;
    EnvVar tmpdir("TMPDIR", scratch.path().c_str());

    // the host's own directory (option "TempDir") stays
    fs::create_directories(scratch.file("host"));
    std::ofstream(scratch.file("host/file")) << "x";
    TempContext hosted;
    snprintf(hosted->szTempDir, sizeof hosted->szTempDir, "%s/", scratch.file("host").c_str());
    EXPECT_EQ(nsfDeleteTempDir(hosted.get()), NSF_OK);
    EXPECT_TRUE(fs::exists(scratch.file("host/file")));

    // a tree with links out of it: the links go, what they point at stays
    fs::create_directories(scratch.file("outside/dir"));
    std::ofstream(scratch.file("outside/dir/precious")) << "x";
    std::ofstream(scratch.file("outside/file")) << "x";
    TempContext c;
    ASSERT_EQ(nsfCreateTempDir(c.get()), NSF_OK);
    const std::string dir = c->szTempDir;
    fs::create_directories(dir + "/a/b/c");
    std::ofstream(dir + "/a/b/c/f") << "x";
    std::ofstream(dir + "/a/g") << "x";
    fs::create_directory_symlink(scratch.file("outside/dir"), dir + "/a/linkdir");
    fs::create_symlink(scratch.file("outside/file"), dir + "/linkfile");
    fs::create_symlink(dir + "/nowhere", dir + "/dangling");
    ASSERT_EQ(nsfDeleteTempDir(c.get()), NSF_OK);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir)));
    EXPECT_TRUE(fs::exists(scratch.file("outside/dir/precious")));
    EXPECT_TRUE(fs::exists(scratch.file("outside/file")));

    // there is no recycle bin to delete into
    errno = 0;
    EXPECT_FALSE(DeleteDirectory(scratch.file("outside").c_str(), false));
    EXPECT_EQ(errno, ENOSYS);
    EXPECT_TRUE(fs::exists(scratch.file("outside")));
}

TEST(TempDir, FailuresLeaveNoDirectory)
{
    ScratchDir scratch;

    // a regular file where a directory should be
    std::ofstream(scratch.file("file")) << "x";
    {
        TempContext c;
        snprintf(c.zapi()->szTempPath, sizeof c.zapi()->szTempPath, "%s/file/", scratch.path().c_str());
        EXPECT_EQ(nsfCreateTempDir(c.get()), NSF_ERR_FAILED);
        EXPECT_STREQ(c->szTempDir, "");
        EXPECT_EQ(c->bTempDirCreated, 0);
        EXPECT_TRUE(c.HasPair("[0/0] ERROR nsfCreateTempDir(): tmos_mkdir() failed, szTempDir...",
                              "/file/" + PidDirName()));
        // nothing made, nothing to delete
        EXPECT_EQ(nsfDeleteTempDir(c.get()), NSF_OK);
    }

    // a system temporary path that does not fit
    {
        std::string longPath = scratch.path() + "/" + std::string(300, 'x');
        EnvVar tmpdir("TMPDIR", longPath.c_str());
        TempContext c;
        EXPECT_EQ(nsfCreateTempDir(c.get()), NSF_ERR_FAILED);
        EXPECT_STREQ(c->szTempDir, "");
        EXPECT_TRUE(c.HasLine("[0/0] ERROR nsfCreateTempDir(): GetTempPath() failed"));
    }

    // the directory's name planted as a link to somebody else's directory is not used
    {
        EnvVar tmpdir("TMPDIR", scratch.path().c_str());
        fs::create_directories(scratch.file("elsewhere"));
        fs::create_directory_symlink(scratch.file("elsewhere"), scratch.file(PidDirName()));
        TempContext c;
        EXPECT_EQ(nsfCreateTempDir(c.get()), NSF_ERR_FAILED);
        EXPECT_STREQ(c->szTempDir, "");
        EXPECT_TRUE(fs::is_symlink(scratch.file(PidDirName())));
    }
}

TEST(TempFile, NewEmptyFileNamedAfterThePrefix)
{
    ScratchDir scratch;
    EnvVar tmpdir("TMPDIR", scratch.path().c_str());
    TempContext c;
    ASSERT_EQ(nsfCreateTempDir(c.get()), NSF_OK);
    const std::string dir = c->szTempDir;

    char szPath[300];
    const std::regex form(std::regex_replace(dir, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                          "/(att|x|mai)[0-9A-F]{4}\\.TMP");
    std::set<std::string> seen;
    for (const char *pszPrefix : {"att", "x", "mailbody", "att"}) {
        ASSERT_EQ(nsfGetTempFilePath(c.get(), pszPrefix, szPath, sizeof szPath), NSF_OK);
        EXPECT_TRUE(std::regex_match(std::string(szPath), form)) << szPath;
        EXPECT_TRUE(seen.insert(szPath).second) << "name given twice: " << szPath;
        struct stat st;
        ASSERT_EQ(stat(szPath, &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_size, 0);
    }

    // the output size must exceed the path's length: no room for the terminator fails, and leaves no file
    const uint32_t cchPath = static_cast<uint32_t>(strlen(szPath));
    const size_t cFiles = CountEntries(dir);
    EXPECT_EQ(nsfGetTempFilePath(c.get(), "att", szPath, cchPath), NSF_ERR_FAILED);
    EXPECT_TRUE(c.HasLine("[0/0] ERROR nsfGetTempFilePath(): Buffer too small, cbTempFilePathSize " +
                          std::to_string(cchPath)));
    EXPECT_EQ(CountEntries(dir), cFiles);
    EXPECT_EQ(nsfGetTempFilePath(c.get(), "att", szPath, cchPath + 1), NSF_OK);

    // removed from outside: made again on the next request
    fs::remove_all(dir);
    ASSERT_EQ(nsfGetTempFilePath(c.get(), "att", szPath, sizeof szPath), NSF_OK);
    EXPECT_TRUE(fs::exists(szPath));
    EXPECT_TRUE(c.HasPair("[0/0] WARNING nsfGetTempFilePath(): No temp dir, szTempDir...", dir));

    // a failed creation at open left no directory: the first request makes it
    TempContext late;
    ASSERT_EQ(nsfGetTempFilePath(late.get(), "att", szPath, sizeof szPath), NSF_OK);
    EXPECT_EQ(std::string(late->szTempDir), dir);
    EXPECT_EQ(late->bTempDirCreated, 1);
}

TEST(TempFile, DerivedPrefixesWhenEveryNameOfAPrefixIsTaken)
{
    // 65,535 files: in memory when the system offers a memory file system
    EnvVar tmpdir("TMPDIR", fs::is_directory("/dev/shm") ? "/dev/shm" : nullptr);
    ScratchDir scratch;
    TempContext c;
    const std::string dir = scratch.file("full");
    fs::create_directories(dir);
    snprintf(c->szTempDir, sizeof c->szTempDir, "%s", dir.c_str());
    for (unsigned n = 1; n <= 0xFFFF; n++) {
        char szName[32];
        snprintf(szName, sizeof szName, "/abc%04X.TMP", n);
        int fd = open((dir + szName).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        close(fd);
    }

    // a short prefix moves on to "ab0", "ab1", ...
    char szPath[300];
    ASSERT_EQ(nsfGetTempFilePath(c.get(), "abcdef", szPath, sizeof szPath), NSF_OK);
    EXPECT_EQ(std::string(szPath).substr(dir.size(), 4), "/ab0") << szPath;

    // a prefix of 10 characters gets no second chance
    EXPECT_EQ(nsfGetTempFilePath(c.get(), "abcdefghij", szPath, sizeof szPath), NSF_ERR_FAILED);
    EXPECT_TRUE(c.HasPair("[0/0] ERROR nsfGetTempFilePath(): GetTempFileName() failed, szTempDir...", dir));

    // a path that cannot hold files fails
    TempContext bad;
    std::ofstream(scratch.file("plain")) << "x";
    snprintf(bad->szTempDir, sizeof bad->szTempDir, "%s", scratch.file("plain").c_str());
    EXPECT_EQ(nsfGetTempFilePath(bad.get(), "att", szPath, sizeof szPath), NSF_ERR_FAILED);
    EXPECT_TRUE(bad.HasLine("[0/0] ERROR nsfGetTempFilePath(): GetTempFileName() failed, szTempDir..."));
}

/* Creates cFiles temporary files through its own context and returns their paths. */
std::vector<std::string> CreateFiles(const std::string &dir, int cFiles)
{
    TempContext c;
    c->nLogLevel = 0;
    snprintf(c->szTempDir, sizeof c->szTempDir, "%s", dir.c_str());
    std::vector<std::string> paths;
    char szPath[300];
    for (int i = 0; i < cFiles; i++)
        if (nsfGetTempFilePath(c.get(), "att", szPath, sizeof szPath) == NSF_OK)
            paths.push_back(szPath);
    return paths;
}

TEST(TempFile, NamesStayUniqueWhenThreadsAndAnotherProcessCreateAtOnce)
{
    ScratchDir scratch;
    const std::string dir = scratch.file("shared");
    fs::create_directories(dir);
    constexpr int kThreads = 4, kPerCreator = 300;

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::vector<std::string> paths = CreateFiles(dir, kPerCreator);
        FILE *pf = fopen(scratch.file("child.txt").c_str(), "w");
        for (const auto &p : paths)
            fprintf(pf, "%s\n", p.c_str());
        fclose(pf);
        _exit(paths.size() == static_cast<size_t>(kPerCreator) ? 0 : 1);
    }

    std::vector<std::vector<std::string>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([&, t] { results[t] = CreateFiles(dir, kPerCreator); });
    for (auto &th : threads)
        th.join();
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);

    std::set<std::string> all;
    size_t cCreated = 0;
    for (const auto &r : results) {
        EXPECT_EQ(r.size(), static_cast<size_t>(kPerCreator));
        cCreated += r.size();
        all.insert(r.begin(), r.end());
    }
    std::ifstream in(scratch.file("child.txt"));
    std::string line;
    while (std::getline(in, line)) {
        cCreated++;
        all.insert(line);
    }
    EXPECT_EQ(cCreated, static_cast<size_t>((kThreads + 1) * kPerCreator));
    EXPECT_EQ(all.size(), cCreated) << "a name was handed out twice";
    EXPECT_EQ(CountEntries(dir), cCreated);
}

} // namespace
