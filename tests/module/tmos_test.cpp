// The tmos_ layer: paths beyond 260 characters and beyond one kernel call, both separators, tree
// removal that never follows links, and the memory limits.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <math.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "support/test_host.h"
#include "vos/tmos.h"

namespace fs = std::filesystem;
using nsfrex_test::ReadFile;
using nsfrex_test::ScratchDir;

namespace {

/* base followed by cLevels directories of 198 characters each. */
std::string DeepPath(const std::string &base, int cLevels)
{
    std::string path = base;
    for (int i = 0; i < cLevels; i++)
        path += "/" + std::string(190, static_cast<char>('a' + i % 26)) + "_" + std::to_string(1000000 + i);
    return path;
}

TEST(Tmos, PathsLongerThan260AndThanOneKernelCallAreUsable)
{
    ScratchDir scratch;
    for (int cLevels : {25}) { // about 5,000 characters (beyond PATH_MAX)
        SCOPED_TRACE(cLevels);
        const std::string dir = DeepPath(scratch.path(), cLevels);
        const std::string file = dir + "/" + std::string(200, 'f') + ".bin";
        ASSERT_GT(file.size(), 260u);
        if (cLevels == 25) {
            ASSERT_GT(file.size(), static_cast<size_t>(PATH_MAX));
        }

        ASSERT_EQ(tmos_mkdir(dir.c_str(), 0700, 0), 0) << strerror(errno);
        EXPECT_EQ(tmos_access(dir.c_str(), TMOS_F_OK, 0), 0);

        TMOS_FILE *pFile = tmos_fopen(file.c_str(), "w+b", 0);
        ASSERT_NE(pFile, nullptr) << strerror(errno);
        const int hFile = tmos_fileno(pFile);
        EXPECT_EQ(tmos_write(hFile, "0123456789", 10), 10);
        EXPECT_EQ(tmos_seek(hFile, 2, TMOS_SEEK_SET), 2);
        char sz[4] = {};
        EXPECT_EQ(tmos_read(hFile, sz, 3), 3);
        EXPECT_STREQ(sz, "234");
        EXPECT_EQ(tmos_tell(hFile), 5);
        EXPECT_EQ(tmos_filesize(hFile), 10);
        EXPECT_EQ(tmos_fclose(pFile), 0);

        struct stat st;
        ASSERT_EQ(tmos_stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, 10);
        EXPECT_EQ(tmos_chmod(file.c_str(), 0600), 0);
        const std::string renamed = dir + "/renamed";
        EXPECT_EQ(tmos_rename(file.c_str(), renamed.c_str()), 0);
        EXPECT_EQ(tmos_access(renamed.c_str(), TMOS_R_OK, 0), 0);
        TMOS_DIR *pDir = tmos_opendir(dir.c_str());
        ASSERT_NE(pDir, nullptr);
        tmos_closedir(pDir);
        TmosDiskInfo info;
        EXPECT_EQ(tmos_diskinfo(dir.c_str(), &info), 0);
        EXPECT_EQ(tmos_unlink(renamed.c_str(), 0), 0);
        EXPECT_EQ(tmos_rmdir(dir.c_str()), 0);
        EXPECT_EQ(tmos_access(dir.c_str(), TMOS_F_OK, 0), -1);
        EXPECT_EQ(tmos_rmtree((scratch.path() + DeepPath("", 1)).c_str()), 0);
    }
    // a whole deep tree goes at once
    const std::string top = scratch.path() + "/" + DeepPath("deep", 0);
    const std::string deep = DeepPath(top, 24);
    ASSERT_EQ(tmos_mkdir(deep.c_str(), 0700, 0), 0);
    TMOS_FILE *pFile = tmos_fopen((deep + "/x").c_str(), "w", 0);
    ASSERT_NE(pFile, nullptr);
    tmos_fclose(pFile);
    EXPECT_EQ(tmos_rmtree(top.c_str()), 0) << strerror(errno);
    EXPECT_FALSE(fs::exists(top));
}

TEST(Tmos, BackslashIsASeparatorToo)
{
    ScratchDir scratch;
    const std::string dir = scratch.path() + "\\one\\two";
    ASSERT_EQ(tmos_mkdir(dir.c_str(), 0700, 0), 0);
    EXPECT_TRUE(fs::is_directory(scratch.path() + "/one/two"));
    TMOS_FILE *pFile = tmos_fopen((dir + "\\f.txt").c_str(), "w", 0);
    ASSERT_NE(pFile, nullptr);
    tmos_fclose(pFile);
    EXPECT_TRUE(fs::exists(scratch.path() + "/one/two/f.txt"));
    EXPECT_EQ(tmos_access((scratch.path() + "/one\\two/f.txt").c_str(), TMOS_F_OK, 0), 0);
    EXPECT_EQ(tmos_rmtree((scratch.path() + "\\one\\").c_str()), 0);
    EXPECT_FALSE(fs::exists(scratch.path() + "/one"));
}

TEST(Tmos, TreeRemovalNeverFollowsLinks)
{
    ScratchDir scratch;
    fs::create_directories(scratch.file("keep/inner"));
    std::ofstream(scratch.file("keep/inner/precious")) << "x";
    fs::create_directories(scratch.file("tree/a/b"));
    std::ofstream(scratch.file("tree/a/b/f")) << "x";
    fs::create_directory_symlink(scratch.file("keep"), scratch.file("tree/a/link"));
    fs::create_symlink(scratch.file("keep/inner/precious"), scratch.file("tree/filelink"));

    // a link as the tree itself is refused, its target untouched
    fs::create_directory_symlink(scratch.file("keep"), scratch.file("toplink"));
    EXPECT_EQ(tmos_rmtree(scratch.file("toplink").c_str()), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(tmos_rmtree((scratch.file("toplink") + "/").c_str()), -1) << "a trailing separator must not follow it";
    EXPECT_TRUE(fs::exists(scratch.file("keep/inner/precious")));

    EXPECT_EQ(tmos_rmtree(scratch.file("tree").c_str()), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch.file("tree"))));
    EXPECT_TRUE(fs::exists(scratch.file("keep/inner/precious")));

    EXPECT_EQ(tmos_rmtree(scratch.file("tree").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
    std::ofstream(scratch.file("plain")) << "x";
    EXPECT_EQ(tmos_rmtree(scratch.file("plain").c_str()), -1);
    EXPECT_EQ(errno, ENOTDIR);
}

TEST(Tmos, MemoryBlocksAreLimitedTo31Bits)
{
    EXPECT_EQ(tmos_malloc(0), nullptr);
    EXPECT_EQ(tmos_malloc(0x80000000u), nullptr);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(tmos_calloc(0x10000, 0x10000), nullptr);
    EXPECT_EQ(tmos_calloc(0, 4), nullptr);
    void *pv = tmos_calloc(4, 4);
    ASSERT_NE(pv, nullptr);
    EXPECT_EQ(static_cast<uint8_t *>(pv)[15], 0);
    EXPECT_EQ(tmos_realloc(pv, 0x80000000u), nullptr) << "too large: the block stays";
    pv = tmos_realloc(pv, 32);
    ASSERT_NE(pv, nullptr);
    EXPECT_EQ(tmos_realloc(pv, 0), nullptr) << "size 0 frees";
    char *psz = tmos_tempnam(nullptr, "pre");
    ASSERT_NE(psz, nullptr);
    EXPECT_NE(strstr(psz, "/pre"), nullptr);
    EXPECT_FALSE(fs::exists(psz));
    tmos_free(psz);
}

} // namespace
