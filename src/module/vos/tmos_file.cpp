/*
 * tmos_ file operations: open, read, write, position, size, locks and removal.
 */
#include "vos/tmos.h"
#include "vos/tmos_path.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

/* The file handle travels inside the stream pointer, offset by one so that handle 0 is not null. */
TMOS_FILE *tmosFileFromHandle(int hFile)
{
    return reinterpret_cast<TMOS_FILE *>(static_cast<uintptr_t>(hFile) + 1);
}

int tmosHandleFromFile(TMOS_FILE *pFile)
{
    if (pFile == nullptr)
        return -1;
    return static_cast<int>(reinterpret_cast<uintptr_t>(pFile) - 1);
}

/* The kernel's open flags for the layer's, or -1 for a combination that cannot be honoured. */
int tmosOpenFlags(uint32_t dwFlags)
{
    int nFlags = O_CLOEXEC;
    bool bWrite = true;
    if (dwFlags & TMOS_O_RDWR)
        nFlags |= O_RDWR;
    else if (dwFlags & TMOS_O_WRONLY)
        nFlags |= O_WRONLY;
    else {
        nFlags |= O_RDONLY;
        bWrite = false;
    }

    /* creation disposition, first match wins */
    const uint32_t dwCreat = dwFlags & TMOS_O_CREAT, dwTrunc = dwFlags & TMOS_O_TRUNC;
    if (dwCreat && (dwFlags & TMOS_O_EXCL))
        nFlags |= O_CREAT | O_EXCL;
    else if (dwCreat && dwTrunc)
        nFlags |= O_CREAT | O_TRUNC;
    else if (dwCreat)
        nFlags |= O_CREAT;
    else if (dwTrunc)
        nFlags |= O_TRUNC;

    /* truncating needs write access */
    if ((nFlags & O_TRUNC) && !bWrite)
        return -1;
    return nFlags;
}

} // namespace

int tmos_open(const char *pszPath, uint32_t dwFlags, int /*nMode*/)
{
    TmosPath path(pszPath);
    if (path.psz() == nullptr)
        return -1;
    int nFlags = tmosOpenFlags(dwFlags);
    if (nFlags == -1) {
        errno = EINVAL;
        return -1;
    }
    int hFile = tmosAtPath(path.psz(), [nFlags](int fdDir, const char *psz) {
        int h;
        do
            h = openat(fdDir, psz, nFlags, 0666);
        while (h == -1 && errno == EINTR);
        return h;
    });
    if (hFile >= 0 && (dwFlags & TMOS_O_TEMPORARY)) {
        /* the name goes now; the data lives until the last handle closes */
        tmosAtPath(path.psz(), [](int fdDir, const char *psz) { return unlinkat(fdDir, psz, 0); });
    }
    return hFile;
}

TMOS_FILE *tmos_fopen(const char *pszPath, const char *pszMode, uint32_t dwFlags)
{
    bool bPlus = pszMode != nullptr && strchr(pszMode, '+') != nullptr;
    uint32_t dwOpen;
    switch (pszMode != nullptr ? pszMode[0] : '\0') {
    case 'w':
        dwOpen = bPlus ? 0x302u : 0x301u;
        break;
    case 'a':
        dwOpen = bPlus ? 0x10Au : 0x109u;
        break;
    case 'r':
        dwOpen = bPlus ? TMOS_O_RDWR : TMOS_O_RDONLY;
        break;
    default:
        dwOpen = TMOS_O_RDONLY;
        break;
    }
    int hFile = tmos_open(pszPath, dwOpen | dwFlags, 0);
    return hFile < 0 ? nullptr : tmosFileFromHandle(hFile);
}

int tmos_fileno(TMOS_FILE *pFile)
{
    int hFile = tmosHandleFromFile(pFile);
    if (hFile < 0)
        errno = EBADF;
    return hFile;
}

int32_t tmos_read(int hFile, void *pv, uint32_t cb)
{
    if (cb > TMOS_MAX_BLOCK)
        cb = TMOS_MAX_BLOCK;
    uint8_t *pb = static_cast<uint8_t *>(pv);
    uint32_t cbDone = 0;
    while (cbDone < cb) {
        ssize_t n = read(hFile, pb + cbDone, cb - cbDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        cbDone += static_cast<uint32_t>(n);
    }
    return static_cast<int32_t>(cbDone);
}

int32_t tmos_write(int hFile, const void *pv, uint32_t cb)
{
    if (cb > TMOS_MAX_BLOCK)
        cb = TMOS_MAX_BLOCK;
    const uint8_t *pb = static_cast<const uint8_t *>(pv);
    uint32_t cbDone = 0;
    while (cbDone < cb) {
        ssize_t n = write(hFile, pb + cbDone, cb - cbDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        cbDone += static_cast<uint32_t>(n);
    }
    return static_cast<int32_t>(cbDone);
}

namespace {

/* The byte count of cItems items of cbItem bytes, or 0 when it is 0 or too large for one transfer. */
uint32_t tmosItemBytes(size_t cbItem, size_t cItems)
{
    if (cbItem == 0 || cItems == 0)
        return 0;
    if (cItems > TMOS_MAX_BLOCK / cbItem) {
        errno = EINVAL;
        return 0;
    }
    return static_cast<uint32_t>(cbItem * cItems);
}

} // namespace

size_t tmos_fread(TMOS_FILE *pFile, void *pv, size_t cbItem, size_t cItems)
{
    uint32_t cb = tmosItemBytes(cbItem, cItems);
    if (cb == 0)
        return 0;
    int32_t cbRead = tmos_read(tmos_fileno(pFile), pv, cb);
    return cbRead <= 0 ? 0 : static_cast<size_t>(cbRead) / cbItem;
}

size_t tmos_fwrite(TMOS_FILE *pFile, const void *pv, size_t cbItem, size_t cItems)
{
    uint32_t cb = tmosItemBytes(cbItem, cItems);
    if (cb == 0)
        return 0;
    int32_t cbWritten = tmos_write(tmos_fileno(pFile), pv, cb);
    return cbWritten <= 0 ? 0 : static_cast<size_t>(cbWritten) / cbItem;
}

int tmos_close(int hFile)
{
    /* Linux releases the descriptor even when close reports EINTR: never retry */
    return close(hFile) == 0 || errno == EINTR ? 0 : -1;
}

int tmos_fclose(TMOS_FILE *pFile)
{
    int hFile = tmos_fileno(pFile);
    return hFile < 0 ? -1 : tmos_close(hFile);
}

int32_t tmos_seek(int hFile, int32_t nOffset, int nOrigin)
{
    int nWhence = nOrigin == TMOS_SEEK_CUR ? SEEK_CUR : nOrigin == TMOS_SEEK_END ? SEEK_END : SEEK_SET;
    if (nOrigin != TMOS_SEEK_SET && nOrigin != TMOS_SEEK_CUR && nOrigin != TMOS_SEEK_END) {
        errno = EINVAL;
        return -1;
    }
    off_t nPos = lseek(hFile, nOffset, nWhence);
    if (nPos < 0)
        return -1;
    if (nPos > INT32_MAX) {
        errno = EOVERFLOW;
        return -1;
    }
    return static_cast<int32_t>(nPos);
}

int32_t tmos_tell(int hFile)
{
    return tmos_seek(hFile, 0, TMOS_SEEK_CUR);
}

int64_t tmos_filesize(int hFile)
{
    struct stat st;
    if (fstat(hFile, &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

int tmos_truncate(int hFile, int64_t cbSize)
{
    if (cbSize < 0) {
        errno = EINVAL;
        return -1;
    }
    int n;
    do
        n = ftruncate(hFile, static_cast<off_t>(cbSize));
    while (n == -1 && errno == EINTR);
    return n == 0 ? 0 : -1;
}

int tmos_flush(int hFile)
{
    if (fsync(hFile) != 0 && errno != EINVAL && errno != EROFS)
        return -1;
    const struct timespec rgts[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    return futimens(hFile, rgts) == 0 ? 0 : -1;
}

int tmos_fstat(int hFile, struct stat *pStat)
{
    return fstat(hFile, pStat) == 0 ? 0 : -1;
}

int tmos_stat(const char *pszPath, struct stat *pStat)
{
    TmosPath path(pszPath);
    if (path.psz() == nullptr)
        return -1;
    return tmosAtPath(path.psz(), [pStat](int fdDir, const char *psz) { return fstatat(fdDir, psz, pStat, 0); });
}

int tmos_access(const char *pszPath, int nMode, uint32_t /*dwFlags*/)
{
    TmosPath path(pszPath);
    if (path.psz() == nullptr)
        return -1;
    int nAccess = nMode & ~1 & (TMOS_R_OK | TMOS_W_OK);
    return tmosAtPath(path.psz(), [nAccess](int fdDir, const char *psz) {
        return faccessat(fdDir, psz, (nAccess & TMOS_R_OK ? R_OK : 0) | (nAccess & TMOS_W_OK ? W_OK : 0) | F_OK,
                         0);
    });
}

int tmos_unlink(const char *pszPath, uint32_t /*dwFlags*/)
{
    TmosPath path(pszPath);
    if (path.psz() == nullptr)
        return -1;
    return tmosAtPath(path.psz(), [](int fdDir, const char *psz) { return unlinkat(fdDir, psz, 0); });
}

int tmos_chmod(const char *pszPath, unsigned nMode)
{
    TmosPath path(pszPath);
    if (path.psz() == nullptr)
        return -1;
    return tmosAtPath(path.psz(), [nMode](int fdDir, const char *psz) {
        return fchmodat(fdDir, psz, static_cast<mode_t>(nMode & 07777), 0);
    });
}

int tmos_rename(const char *pszFrom, const char *pszTo)
{
    TmosPath pathFrom(pszFrom), pathTo(pszTo);
    if (pathFrom.psz() == nullptr || pathTo.psz() == nullptr)
        return -1;
    const char *pszToReady = pathTo.psz();
    return tmosAtPath(pathFrom.psz(), [pszToReady](int fdFrom, const char *pszLeafFrom) {
        return tmosAtPath(pszToReady, [fdFrom, pszLeafFrom](int fdTo, const char *pszLeafTo) {
            return renameat(fdFrom, pszLeafFrom, fdTo, pszLeafTo);
        });
    });
}

namespace {

int tmosLockRange(int hFile, int64_t nOffset, int64_t cb, short nType)
{
    if (nOffset < 0 || cb <= 0) {
        errno = EINVAL;
        return -1;
    }
    if (nType != F_UNLCK) {
        int nFileFlags = fcntl(hFile, F_GETFL);
        if (nFileFlags == -1)
            return -1;
        /* a read-only handle can only hold a shared lock */
        if ((nFileFlags & O_ACCMODE) == O_RDONLY)
            nType = F_RDLCK;
    }
    struct flock lock {};
    lock.l_type = nType;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(nOffset);
    lock.l_len = static_cast<off_t>(cb);
    /* open-file-description locks belong to the handle, not to the process */
    return fcntl(hFile, F_OFD_SETLK, &lock) == 0 ? 0 : -1;
}

} // namespace

int tmos_lock(int hFile, int64_t nOffset, int64_t cb)
{
    return tmosLockRange(hFile, nOffset, cb, F_WRLCK);
}

int tmos_unlock(int hFile, int64_t nOffset, int64_t cb)
{
    return tmosLockRange(hFile, nOffset, cb, F_UNLCK);
}
