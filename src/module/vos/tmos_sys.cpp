/*
 * tmos_ system operations: shared libraries, memory, disk and system information, sleeping, processes.
 */
#include "vos/tmos.h"
#include "vos/tmos_path.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

/* ---- Shared libraries ---- */

void *tmos_dlopen(const char *pszPath)
{
    TmosPath path(pszPath);
    if (path.psz() == nullptr)
        return nullptr;
    const char *psz = path.psz();
    void *hLib = dlopen(psz, RTLD_NOW | RTLD_LOCAL);
    if (hLib != nullptr)
        return hLib;

    if (strchr(psz, '/') == nullptr) {
        /* looked up on the library search path */
        errno = ENOENT;
        return nullptr;
    }
    if (faccessat(AT_FDCWD, psz, R_OK, 0) == 0) {
        errno = ENOEXEC;
        return nullptr;
    }
    if (errno != ENAMETOOLONG)
        return nullptr;

    /* too long for the loader: reach the file through its directory's descriptor */
    const char *pszLeaf = nullptr;
    int fdDir = tmosOpenParentDir(psz, &pszLeaf);
    if (fdDir < 0)
        return nullptr;
    char szProcPath[64 + NAME_MAX];
    snprintf(szProcPath, sizeof(szProcPath), "/proc/self/fd/%d/%s", fdDir, pszLeaf);
    hLib = dlopen(szProcPath, RTLD_NOW | RTLD_LOCAL);
    int nErr = hLib != nullptr ? 0 : faccessat(fdDir, pszLeaf, R_OK, 0) == 0 ? ENOEXEC : errno;
    close(fdDir);
    errno = nErr;
    return hLib;
}

void *tmos_dlsym(void *hLib, const char *pszSymbol)
{
    if (hLib == nullptr || pszSymbol == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    dlerror();
    void *pv = dlsym(hLib, pszSymbol);
    if (pv == nullptr)
        errno = ENOENT;
    return pv;
}

int tmos_dlclose(void *hLib)
{
    if (hLib == nullptr || dlclose(hLib) != 0) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

const char *tmos_dlerror(void)
{
    return dlerror();
}

/* ---- Memory ---- */

void *tmos_malloc(size_t cb)
{
    if (cb == 0 || cb > TMOS_MAX_BLOCK) {
        errno = cb == 0 ? EINVAL : ENOMEM;
        return nullptr;
    }
    return malloc(cb);
}

void *tmos_calloc(size_t cItems, size_t cbItem)
{
    if (cItems == 0 || cbItem == 0) {
        errno = EINVAL;
        return nullptr;
    }
    if (cItems > TMOS_MAX_BLOCK / cbItem) {
        errno = ENOMEM;
        return nullptr;
    }
    return calloc(cItems, cbItem);
}

void *tmos_realloc(void *pv, size_t cb)
{
    if (cb == 0) {
        free(pv);
        return nullptr;
    }
    if (cb > TMOS_MAX_BLOCK) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(pv, cb);
}

void tmos_free(void *pv)
{
    free(pv);
}

/* ---- Disk and system information ---- */

int tmos_diskinfo(const char *pszPath, TmosDiskInfo *pInfo)
{
    if (pInfo == nullptr) {
        errno = EINVAL;
        return -1;
    }
    TmosPath path(pszPath);
    if (path.psz() == nullptr)
        return -1;
    int fd = tmosAtPath(path.psz(), [](int fdDir, const char *psz) { return openat(fdDir, psz, O_PATH | O_CLOEXEC); });
    if (fd < 0)
        return -1;
    struct statvfs vfs;
    int n = fstatvfs(fd, &vfs);
    int nErr = errno;
    close(fd);
    if (n != 0) {
        errno = nErr;
        return -1;
    }
    pInfo->cbFree = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    pInfo->cbTotal = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    pInfo->cbBlock = static_cast<uint32_t>(vfs.f_bsize);
    pInfo->cchNameMax = static_cast<uint32_t>(vfs.f_namemax);
    pInfo->qwVolumeId = static_cast<uint64_t>(vfs.f_fsid);
    return 0;
}

int tmos_sysinfo(TmosSysInfo *pInfo)
{
    if (pInfo == nullptr) {
        errno = EINVAL;
        return -1;
    }
    long cProcessors = sysconf(_SC_NPROCESSORS_ONLN);
    long cbPage = sysconf(_SC_PAGESIZE);
    long cPages = sysconf(_SC_PHYS_PAGES);
    long cPagesFree = sysconf(_SC_AVPHYS_PAGES);
    struct rusage usage;
    if (cProcessors < 1 || cbPage < 1 || cPages < 0 || cPagesFree < 0 || getrusage(RUSAGE_SELF, &usage) != 0)
        return -1;
    pInfo->cProcessors = static_cast<int32_t>(cProcessors);
    pInfo->cbMemoryTotal = static_cast<uint64_t>(cPages) * static_cast<uint64_t>(cbPage);
    pInfo->cbMemoryFree = static_cast<uint64_t>(cPagesFree) * static_cast<uint64_t>(cbPage);
    pInfo->qwUserTimeUs = static_cast<uint64_t>(usage.ru_utime.tv_sec) * 1000000u +
                          static_cast<uint64_t>(usage.ru_utime.tv_usec);
    pInfo->qwSystemTimeUs = static_cast<uint64_t>(usage.ru_stime.tv_sec) * 1000000u +
                            static_cast<uint64_t>(usage.ru_stime.tv_usec);
    return 0;
}

int tmos_osname(char *pszBuffer, size_t cbBuffer)
{
    if (pszBuffer == nullptr || cbBuffer == 0) {
        errno = EINVAL;
        return -1;
    }
    struct utsname name;
    if (uname(&name) != 0)
        return -1;
    snprintf(pszBuffer, cbBuffer, "%s %s %s", name.sysname, name.release, name.machine);
    return 0;
}

void tmos_sleep(uint64_t qwMicroseconds)
{
    uint64_t qwMilliseconds = qwMicroseconds / 1000u;
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(qwMilliseconds / 1000u);
    ts.tv_nsec = static_cast<long>((qwMilliseconds % 1000u) * 1000000u);
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

/* ---- Processes ---- */

int tmos_system(const char *pszCommand)
{
    return system(pszCommand);
}

void tmos_exit(int nCode)
{
    exit(nCode);
}
