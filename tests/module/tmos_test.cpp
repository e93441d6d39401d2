// The tmos_ layer: UTF-8 and very long paths (beyond 260 characters and beyond one kernel call), both
// separators, open flags and stream modes with their errno values, whole-path directory creation, tree
// removal that never follows links, byte-range locks, libraries and the memory limits.
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

TEST(Tmos, Utf8PathsWorkThroughEveryFileOperation)
{
    ScratchDir scratch;
    const std::string dir = scratch.path() + "/Ünïcødé_目录/Ελληνικά";
    const std::string file = dir + "/файл € 🎉.txt";

    ASSERT_EQ(tmos_mkdir(dir.c_str(), 0700, 0), 0);
    EXPECT_TRUE(fs::is_directory(dir));
    TMOS_FILE *pFile = tmos_fopen(file.c_str(), "wb", 0);
    ASSERT_NE(pFile, nullptr);
    EXPECT_EQ(tmos_fwrite(pFile, "hello", 1, 5), 5u);
    EXPECT_EQ(tmos_fclose(pFile), 0);

    EXPECT_EQ(tmos_access(file.c_str(), TMOS_R_OK | TMOS_W_OK, 0), 0);
    pFile = tmos_fopen(file.c_str(), "rb", 0);
    ASSERT_NE(pFile, nullptr);
    char sz[8] = {};
    EXPECT_EQ(tmos_fread(pFile, sz, 1, sizeof sz), 5u);
    EXPECT_STREQ(sz, "hello");
    EXPECT_EQ(tmos_fclose(pFile), 0);

    TMOS_DIR *pDir = tmos_opendir(dir.c_str());
    ASSERT_NE(pDir, nullptr);
    std::set<std::string> names;
    while (const TmosDirEntry *pEntry = tmos_readdir(pDir))
        names.insert(pEntry->szName);
    EXPECT_EQ(tmos_closedir(pDir), 0);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "файл € 🎉.txt"}));

    EXPECT_EQ(tmos_unlink(file.c_str(), 0), 0);
    EXPECT_EQ(tmos_access(file.c_str(), TMOS_F_OK, 0), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(Tmos, PathsLongerThan260AndThanOneKernelCallAreUsable)
{
    ScratchDir scratch;
    for (int cLevels : {2, 25}) { // about 400 characters, and about 5,000 (beyond PATH_MAX)
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

TEST(Tmos, MkdirMakesEveryMissingDirectoryAndReportsTheLastAttempt)
{
    ScratchDir scratch;
    fs::create_directories(scratch.file("a"));
    ASSERT_EQ(tmos_mkdir(scratch.file("a/b/c").c_str(), 0700, 0), 0);
    EXPECT_TRUE(fs::is_directory(scratch.file("a/b")));
    EXPECT_TRUE(fs::is_directory(scratch.file("a/b/c")));
    EXPECT_EQ((fs::status(scratch.file("a/b")).permissions() & fs::perms::all), fs::perms::owner_all);

    // nothing needed: -1 and EEXIST
    errno = 0;
    EXPECT_EQ(tmos_mkdir(scratch.file("a/b/c").c_str(), 0700, 0), -1);
    EXPECT_EQ(errno, EEXIST);
    // trailing and doubled separators change nothing
    EXPECT_EQ(tmos_mkdir((scratch.path() + "//a//b/d/").c_str(), 0700, 0), 0);
    EXPECT_TRUE(fs::is_directory(scratch.file("a/b/d")));
    // empty path
    errno = 0;
    EXPECT_EQ(tmos_mkdir("", 0700, 0), -1);
    EXPECT_EQ(errno, ENOENT);
    // a file in the way
    std::ofstream(scratch.file("plain")) << "x";
    EXPECT_EQ(tmos_mkdir(scratch.file("plain/sub").c_str(), 0700, 0), -1);
    EXPECT_EQ(errno, ENOTDIR);
}

TEST(Tmos, OpenFlagsAndStreamModesGiveTheirEffectsAndErrorNumbers)
{
    ScratchDir scratch;
    const std::string file = scratch.file("f.txt");

    // "r+b": an existing file read and written; in a missing directory ENOENT (2)
    std::ofstream(file) << "abcdef";
    TMOS_FILE *pFile = tmos_fopen(file.c_str(), "r+b", 0);
    ASSERT_NE(pFile, nullptr);
    EXPECT_EQ(tmos_fwrite(pFile, "XY", 1, 2), 2u);
    tmos_fclose(pFile);
    EXPECT_EQ(ReadFile(file), "XYcdef");
    EXPECT_EQ(tmos_fopen(scratch.file("missing/f.txt").c_str(), "r+b", 0), nullptr);
    EXPECT_EQ(errno, 2);
    EXPECT_EQ(tmos_fopen(scratch.file("missing.txt").c_str(), "r", 0), nullptr);
    EXPECT_EQ(errno, ENOENT);

    // "r" is read only
    pFile = tmos_fopen(file.c_str(), "r", 0);
    ASSERT_NE(pFile, nullptr);
    EXPECT_EQ(tmos_fwrite(pFile, "Z", 1, 1), 0u);
    EXPECT_EQ(errno, EBADF);
    tmos_fclose(pFile);

    // "w" creates or truncates
    pFile = tmos_fopen(file.c_str(), "w", 0);
    ASSERT_NE(pFile, nullptr);
    tmos_fclose(pFile);
    EXPECT_EQ(fs::file_size(file), 0u);

    // create-new on an existing file: EEXIST (17)
    EXPECT_EQ(tmos_open(file.c_str(), TMOS_O_CREAT | TMOS_O_EXCL | TMOS_O_RDWR, 0), -1);
    EXPECT_EQ(errno, 17);
    // open-existing on a missing file; open-always creates it
    EXPECT_EQ(tmos_open(scratch.file("new.txt").c_str(), TMOS_O_RDWR, 0), -1);
    EXPECT_EQ(errno, ENOENT);
    int hFile = tmos_open(scratch.file("new.txt").c_str(), TMOS_O_CREAT | TMOS_O_RDWR, 0);
    ASSERT_GE(hFile, 0);
    EXPECT_EQ(tmos_close(hFile), 0);
    // truncation needs write access
    EXPECT_EQ(tmos_open(file.c_str(), TMOS_O_TRUNC, 0), -1);
    EXPECT_EQ(errno, EINVAL);

    // a temporary file: its name goes, its data stays reachable through the handle
    const std::string temp = scratch.file("temp.bin");
    hFile = tmos_open(temp.c_str(), TMOS_O_CREAT | TMOS_O_RDWR | TMOS_O_TEMPORARY, 0);
    ASSERT_GE(hFile, 0);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_EQ(tmos_write(hFile, "data", 4), 4);
    EXPECT_EQ(tmos_seek(hFile, 0, TMOS_SEEK_SET), 0);
    char sz[5] = {};
    EXPECT_EQ(tmos_read(hFile, sz, 4), 4);
    EXPECT_STREQ(sz, "data");
    EXPECT_EQ(tmos_truncate(hFile, 2), 0);
    EXPECT_EQ(tmos_filesize(hFile), 2);
    EXPECT_EQ(tmos_flush(hFile), 0);
    EXPECT_EQ(tmos_close(hFile), 0);
    EXPECT_EQ(tmos_close(hFile), -1);
    EXPECT_EQ(errno, EBADF);

    // whole items only; an item size of 0 reads nothing
    std::ofstream(file) << "0123456789";
    pFile = tmos_fopen(file.c_str(), "rb", 0);
    ASSERT_NE(pFile, nullptr);
    char rgb[16];
    EXPECT_EQ(tmos_fread(pFile, rgb, 0, 5), 0u);
    EXPECT_EQ(tmos_fread(pFile, rgb, 4, 3), 2u);
    EXPECT_EQ(tmos_fread(pFile, rgb, 4, 3), 0u);
    tmos_fclose(pFile);
    EXPECT_EQ(tmos_fclose(nullptr), -1);
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

TEST(Tmos, ByteRangeLocksConflictBetweenHandles)
{
    ScratchDir scratch;
    const std::string file = scratch.file("locked");
    std::ofstream(file) << std::string(100, 'x');
    int h1 = tmos_open(file.c_str(), TMOS_O_RDWR, 0);
    int h2 = tmos_open(file.c_str(), TMOS_O_RDWR, 0);
    ASSERT_GE(h1, 0);
    ASSERT_GE(h2, 0);
    EXPECT_EQ(tmos_lock(h1, 10, 20), 0);
    EXPECT_EQ(tmos_lock(h2, 25, 10), -1);
    EXPECT_TRUE(errno == EAGAIN || errno == EACCES);
    EXPECT_EQ(tmos_lock(h2, 30, 10), 0) << "a range next to the locked one is free";
    EXPECT_EQ(tmos_unlock(h1, 10, 20), 0);
    EXPECT_EQ(tmos_lock(h2, 10, 20), 0);
    EXPECT_EQ(tmos_lock(h1, 0, 0), -1);
    EXPECT_EQ(errno, EINVAL);
    tmos_close(h1);
    tmos_close(h2);
}

TEST(Tmos, LibrariesLoadByPathIncludingVeryLongOnes)
{
    // the maths library (a second copy of it loads cleanly), found through one of its own symbols
    Dl_info info{};
    double (*fpCos)(double) = &cos;
    ASSERT_NE(dladdr(reinterpret_cast<void *>(fpCos), &info), 0);
    ASSERT_NE(info.dli_fname, nullptr);
    const std::string libm = info.dli_fname;

    void *hLib = tmos_dlopen(libm.c_str());
    ASSERT_NE(hLib, nullptr) << tmos_dlerror();
    EXPECT_NE(tmos_dlsym(hLib, "cos"), nullptr);
    EXPECT_EQ(tmos_dlsym(hLib, "no_such_symbol_here"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(tmos_dlclose(hLib), 0);

    ScratchDir scratch;
    EXPECT_EQ(tmos_dlopen(scratch.file("missing.so").c_str()), nullptr);
    EXPECT_EQ(errno, ENOENT);
    std::ofstream(scratch.file("text.so")) << "not a library";
    EXPECT_EQ(tmos_dlopen(scratch.file("text.so").c_str()), nullptr);
    EXPECT_EQ(errno, ENOEXEC);

    // a copy deeper than the loader's path limit
    const std::string dir = DeepPath(scratch.path(), 25);
    ASSERT_EQ(tmos_mkdir(dir.c_str(), 0700, 0), 0);
    const std::string copy = dir + "/libcopy.so";
    ASSERT_GT(copy.size(), static_cast<size_t>(PATH_MAX));
    {
        int hIn = tmos_open(libm.c_str(), TMOS_O_RDONLY, 0);
        int hOut = tmos_open(copy.c_str(), TMOS_O_CREAT | TMOS_O_TRUNC | TMOS_O_WRONLY, 0);
        ASSERT_GE(hIn, 0);
        ASSERT_GE(hOut, 0);
        char rgb[65536];
        int32_t cb;
        while ((cb = tmos_read(hIn, rgb, sizeof rgb)) > 0)
            ASSERT_EQ(tmos_write(hOut, rgb, static_cast<uint32_t>(cb)), cb);
        tmos_close(hIn);
        tmos_close(hOut);
    }
    hLib = tmos_dlopen(copy.c_str());
    ASSERT_NE(hLib, nullptr) << tmos_dlerror();
    EXPECT_NE(tmos_dlsym(hLib, "cos"), nullptr);
    tmos_dlclose(hLib);
    EXPECT_EQ(tmos_rmtree((scratch.path() + DeepPath("", 1)).c_str()), 0);
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
