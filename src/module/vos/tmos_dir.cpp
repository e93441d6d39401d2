/*
 * tmos_ directory operations: creation of whole paths, listing, removal of trees, working directory and
 * temporary names.
 */
#include "vos/tmos.h"
#include "vos/tmos_path.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

struct TMOS_DIR {
    DIR *pDir;
    TmosDirEntry entry;
};

namespace {

int tmosMakeOneDir(const char *pszPath, mode_t nMode)
{
    return tmosAtPath(pszPath, [nMode](int fdDir, const char *psz) { return mkdirat(fdDir, psz, nMode); });
}

bool tmosExists(const char *pszPath)
{
    struct stat st;
    return tmosAtPath(pszPath, [&st](int fdDir, const char *psz) { return fstatat(fdDir, psz, &st, 0); }) == 0;
}

} // namespace

int tmos_mkdir(const char *pszPath, int nMode, uint32_t /*dwFlags*/)
{
    TmosPath path(pszPath);
    char *psz = path.pszWritable();
    if (psz == nullptr)
        return -1;
    if (psz[0] == '\0') {
        errno = ENOENT;
        return -1;
    }
    const mode_t nDirMode = static_cast<mode_t>(nMode) & 07777;

    /* skip the root separator, or a leading "//server" */
    char *pch = psz;
    if (pch[0] == '/' && pch[1] == '/') {
        pch += 2;
        while (*pch != '\0' && *pch != '/')
            pch++;
    } else if (pch[0] == '/') {
        pch++;
    }

    int nResult = -1;
    int nResultErr = EEXIST; /* nothing needed creating */
    for (;;) {
        char *pchSep = strchr(pch, '/');
        if (pchSep != nullptr)
            *pchSep = '\0';
        if (!tmosExists(psz)) {
            nResult = tmosMakeOneDir(psz, nDirMode);
            nResultErr = errno;
        }
        if (pchSep == nullptr)
            break;
        *pchSep = '/';
        pch = pchSep + 1;
    }
    errno = nResultErr;
    return nResult;
}

int tmos_rmdir(const char *pszPath)
{
    TmosPath path(pszPath);
    if (path.psz() == nullptr)
        return -1;
    return tmosAtPath(path.psz(), [](int fdDir, const char *psz) { return unlinkat(fdDir, psz, AT_REMOVEDIR); });
}

int tmos_chdir(const char *pszPath)
{
    TmosPath path(pszPath);
    if (path.psz() == nullptr)
        return -1;
    int fd = tmosAtPath(path.psz(), [](int fdDir, const char *psz) {
        return openat(fdDir, psz, O_PATH | O_DIRECTORY | O_CLOEXEC);
    });
    if (fd < 0)
        return -1;
    int n = fchdir(fd);
    int nErr = errno;
    close(fd);
    errno = nErr;
    return n == 0 ? 0 : -1;
}

char *tmos_getcwd(char *pszBuffer, size_t cbBuffer)
{
    if (pszBuffer == nullptr || cbBuffer == 0) {
        errno = EINVAL;
        return nullptr;
    }
    return getcwd(pszBuffer, cbBuffer);
}

unsigned tmos_umask(unsigned nMask)
{
    return static_cast<unsigned>(umask(static_cast<mode_t>(nMask & 0777)));
}

TMOS_DIR *tmos_opendir(const char *pszPath)
{
    TmosPath path(pszPath);
    if (path.psz() == nullptr)
        return nullptr;
    int fd = tmosAtPath(path.psz(), [](int fdDir, const char *psz) {
        return openat(fdDir, psz, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    });
    if (fd < 0)
        return nullptr;
    TMOS_DIR *pDir = static_cast<TMOS_DIR *>(malloc(sizeof(TMOS_DIR)));
    if (pDir == nullptr) {
        close(fd);
        errno = ENOMEM;
        return nullptr;
    }
    pDir->pDir = fdopendir(fd);
    if (pDir->pDir == nullptr) {
        int nErr = errno;
        close(fd);
        free(pDir);
        errno = nErr;
        return nullptr;
    }
    return pDir;
}

const TmosDirEntry *tmos_readdir(TMOS_DIR *pDir)
{
    if (pDir == nullptr) {
        errno = EBADF;
        return nullptr;
    }
    int nErrBefore = errno;
    errno = 0;
    struct dirent *pEnt = readdir(pDir->pDir);
    if (pEnt == nullptr) {
        if (errno == 0)
            errno = nErrBefore;
        return nullptr;
    }
    errno = nErrBefore;
    snprintf(pDir->entry.szName, sizeof(pDir->entry.szName), "%s", pEnt->d_name);
    bool bDirectory = pEnt->d_type == DT_DIR;
    if (pEnt->d_type == DT_UNKNOWN) {
        struct stat st;
        bDirectory = fstatat(dirfd(pDir->pDir), pEnt->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    pDir->entry.bDirectory = bDirectory ? 1 : 0;
    return &pDir->entry;
}

int tmos_closedir(TMOS_DIR *pDir)
{
    if (pDir == nullptr) {
        errno = EBADF;
        return -1;
    }
    int n = closedir(pDir->pDir);
    free(pDir);
    return n == 0 ? 0 : -1;
}

/* ---- Removing a directory tree ---- */

namespace {

/* Deeper trees are not removed: each level holds one descriptor open. */
constexpr int kMaxTreeDepth = 128;

int tmosRemoveEntry(int fdParent, const char *pszName, unsigned char nType, int nDepth);

/* Removes everything inside the directory open as fdDir; the descriptor is consumed. Goes on after a
   failing entry and reports the last failure. */
int tmosEmptyDir(int fdDir, int nDepth)
{
    DIR *pDir = fdopendir(fdDir);
    if (pDir == nullptr) {
        int nErr = errno;
        close(fdDir);
        errno = nErr;
        return -1;
    }
    int nResult = 0, nErr = 0;
    for (;;) {
        errno = 0;
        struct dirent *pEnt = readdir(pDir);
        if (pEnt == nullptr) {
            if (errno != 0) {
                nResult = -1;
                nErr = errno;
            }
            break;
        }
        if (strcmp(pEnt->d_name, ".") == 0 || strcmp(pEnt->d_name, "..") == 0)
            continue;
        if (tmosRemoveEntry(dirfd(pDir), pEnt->d_name, pEnt->d_type, nDepth) != 0) {
            nResult = -1;
            nErr = errno;
        }
    }
    closedir(pDir);
    errno = nErr;
    return nResult;
}

/* Removes one directory entry: a directory with its content, anything else (a symbolic link included) by
   its name alone. */
int tmosRemoveEntry(int fdParent, const char *pszName, unsigned char nType, int nDepth)
{
    if (nType != DT_DIR && nType != DT_UNKNOWN) {
        if (unlinkat(fdParent, pszName, 0) == 0)
            return 0;
        if (errno != EISDIR)
            return -1;
        /* it became a directory since it was listed: fall through */
    }
    int fdDir = openat(fdParent, pszName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fdDir < 0) {
        if (errno == ENOTDIR || errno == ELOOP)
            return unlinkat(fdParent, pszName, 0);
        return -1;
    }
    if (nDepth >= kMaxTreeDepth) {
        close(fdDir);
        errno = ELOOP;
        return -1;
    }
    if (tmosEmptyDir(fdDir, nDepth + 1) != 0)
        return -1;
    return unlinkat(fdParent, pszName, AT_REMOVEDIR);
}

} // namespace

int tmos_rmtree(const char *pszPath)
{
    TmosPath path(pszPath);
    char *psz = path.pszWritable();
    if (psz == nullptr)
        return -1;
    /* a trailing separator would make the kernel follow a symbolic link in the last component */
    size_t cch = strlen(psz);
    while (cch > 1 && psz[cch - 1] == '/')
        psz[--cch] = '\0';
    if (cch == 0) {
        errno = ENOENT;
        return -1;
    }
    int fdDir = tmosAtPath(psz, [](int fdParent, const char *pszLeaf) {
        return openat(fdParent, pszLeaf, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    });
    if (fdDir < 0) {
        if (errno == ELOOP)
            errno = ENOTDIR;
        return -1;
    }
    if (tmosEmptyDir(fdDir, 1) != 0)
        return -1;
    return tmosAtPath(psz, [](int fdParent, const char *pszLeaf) {
        return unlinkat(fdParent, pszLeaf, AT_REMOVEDIR);
    });
}

/* ---- Temporary names ---- */

char *tmos_tempnam(const char *pszDir, const char *pszPrefix)
{
    static std::atomic<uint32_t> s_nCounter{0};
    const char *pszBase = pszDir;
    if (pszBase == nullptr || pszBase[0] == '\0')
        pszBase = getenv("TMPDIR");
    if (pszBase == nullptr || pszBase[0] == '\0')
        pszBase = "/tmp";
    if (pszPrefix == nullptr)
        pszPrefix = "";
    size_t cchBase = strlen(pszBase);
    bool bSeparator = pszBase[cchBase - 1] != '/' && pszBase[cchBase - 1] != '\\';
    size_t cb = cchBase + 1 + strlen(pszPrefix) + 16 + 1;
    char *psz = static_cast<char *>(tmos_malloc(cb));
    if (psz == nullptr)
        return nullptr;
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t qwSeed = static_cast<uint64_t>(ts.tv_nsec) ^ (static_cast<uint64_t>(getpid()) << 32);
    for (int nTry = 0; nTry < 1000; nTry++) {
        uint64_t qw = qwSeed + 0x9E3779B97F4A7C15ull * (s_nCounter.fetch_add(1) + 1);
        qw ^= qw >> 29;
        snprintf(psz, cb, "%s%s%s%08x", pszBase, bSeparator ? "/" : "", pszPrefix,
                 static_cast<unsigned>(qw & 0xFFFFFFFFu));
        struct stat st;
        if (tmos_stat(psz, &st) != 0 && errno == ENOENT) {
            errno = 0;
            return psz;
        }
    }
    tmos_free(psz);
    errno = EEXIST;
    return nullptr;
}
