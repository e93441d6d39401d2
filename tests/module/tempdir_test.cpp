// The container's temporary directory: where it is made, reuse, removal (only when made here, never
// through links) and failures that leave no directory.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
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

} // namespace
