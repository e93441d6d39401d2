/*
 * The temporary directory of a container and unique file names in it.
 */
#include "entry/tempdir.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "log/log.h"
#include "vos/tmos.h"

namespace {

/* Numbers a unique file name can carry: 1 to 0xFFFF, four hex digits. */
constexpr uint32_t kUniqueNumbers = 0xFFFF;

/* Prefixes of this length or longer get no second chance with derived prefixes. */
constexpr size_t kPrefixRetryLimit = 10;

/* A starting number that differs between calls, threads and processes, so that creators working at the
   same moment seldom probe the same names. */
uint32_t nsfUniqueStart()
{
    static std::atomic<uint64_t> s_qwCalls{0};
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t qw = static_cast<uint64_t>(ts.tv_nsec) ^ (static_cast<uint64_t>(ts.tv_sec) << 30);
    qw ^= static_cast<uint64_t>(getpid()) << 20;
    qw ^= static_cast<uint64_t>(gettid()) << 40;
    qw += 0x9E3779B97F4A7C15ull * (s_qwCalls.fetch_add(1, std::memory_order_relaxed) + 1);
    /* finalise so that neighbouring inputs spread over the whole range */
    qw = (qw ^ (qw >> 30)) * 0xBF58476D1CE4E5B9ull;
    qw = (qw ^ (qw >> 27)) * 0x94D049BB133111EBull;
    qw ^= qw >> 31;
    return static_cast<uint32_t>(qw % kUniqueNumbers) + 1;
}

/* The directory part of a file path: '\' read as '/', trailing separators dropped (the root keeps its). */
bool nsfCopyDirForFiles(const char *pszDir, char *pszOut, size_t cbOut)
{
    size_t cch = strlen(pszDir);
    if (cch + 1 > cbOut)
        return false;
    for (size_t i = 0; i < cch; i++)
        pszOut[i] = pszDir[i] == '\\' ? '/' : pszDir[i];
    while (cch > 1 && pszOut[cch - 1] == '/')
        cch--;
    pszOut[cch] = '\0';
    return true;
}

/* The directory exists as a directory of this user and is not a symbolic link: a name under a shared
   temporary path that someone else made must not receive the container's files. */
bool nsfIsOwnDirectory(const char *pszPath)
{
    char szPath[NSF_TEMP_DIR_SIZE];
    struct stat st;
    if (!nsfCopyDirForFiles(pszPath, szPath, sizeof szPath) || lstat(szPath, &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

} // namespace

uint32_t nsfGetSystemTempPath(char *pszPath, uint32_t cbPath)
{
    const char *pszBase = getenv("TMPDIR");
    if (pszBase == nullptr || pszBase[0] == '\0')
        pszBase = "/tmp";
    size_t cch = strlen(pszBase);
    bool bSeparator = pszBase[cch - 1] != '/';
    size_t cchPath = cch + (bSeparator ? 1 : 0);
    if (cchPath + 1 > cbPath)
        return cchPath + 1 > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(cchPath + 1);
    memcpy(pszPath, pszBase, cch);
    if (bSeparator)
        pszPath[cch++] = '/';
    pszPath[cch] = '\0';
    return static_cast<uint32_t>(cchPath);
}

uint32_t nsfCreateUniqueFile(const char *pszDir, const char *pszPrefix, char *pszPath, size_t cbPath)
{
    char szDir[NSF_TEMP_DIR_SIZE + 16];
    if (pszDir == nullptr || pszPath == nullptr || !nsfCopyDirForFiles(pszDir, szDir, sizeof szDir)) {
        errno = pszDir == nullptr || pszPath == nullptr ? EINVAL : ENAMETOOLONG;
        return 0;
    }
    char szPrefix[4];
    snprintf(szPrefix, sizeof szPrefix, "%s", pszPrefix != nullptr ? pszPrefix : "");
    const char *pszSeparator = strcmp(szDir, "/") == 0 ? "" : "/";

    uint32_t nStart = nsfUniqueStart();
    for (uint32_t i = 0; i < kUniqueNumbers; i++) {
        uint32_t nUnique = (nStart - 1 + i) % kUniqueNumbers + 1;
        int cch = snprintf(pszPath, cbPath, "%s%s%s%04X.TMP", szDir, pszSeparator, szPrefix, nUnique);
        if (cch < 0 || static_cast<size_t>(cch) >= cbPath) {
            errno = ENAMETOOLONG;
            return 0;
        }
        int hFile = tmos_open(pszPath, TMOS_O_CREAT | TMOS_O_EXCL | TMOS_O_RDWR, 0);
        if (hFile >= 0) {
            tmos_close(hFile);
            return nUnique;
        }
        if (errno != EEXIST)
            return 0;
    }
    errno = EEXIST;
    return 0;
}

bool DeleteDirectory(const char *pszPath, bool bPermanent)
{
    if (!bPermanent) {
        /* there is no recycle bin to move it to */
        errno = ENOSYS;
        return false;
    }
    return tmos_rmtree(pszPath) == 0;
}

NSFSTATUS nsfCreateTempDir(NsfContext *pContext)
{
    static const char szFunction[] = "nsfCreateTempDir";
    if (pContext == nullptr)
        return NSF_ERR_ARGUMENT;
    char *pszTempDir = pContext->szTempDir;
    pszTempDir[0] = '\0';
    pContext->bTempDirCreated = 0;

    const char *pszHostPath = pContext->pZAPI != nullptr ? pContext->pZAPI->szTempPath : "";
    size_t cchBase;
    if (pszHostPath[0] != '\0') {
        cchBase = strnlen(pszHostPath, ZAPI_TEMP_PATH_MAX);
        if (cchBase >= NSF_TEMP_DIR_SIZE)
            cchBase = NSF_TEMP_DIR_SIZE - 1;
        memcpy(pszTempDir, pszHostPath, cchBase);
        pszTempDir[cchBase] = '\0';
    } else {
        uint32_t cch = nsfGetSystemTempPath(pszTempDir, NSF_TEMP_DIR_SIZE);
        if (cch == 0 || cch > NSF_TEMP_DIR_SIZE) {
            nsfLog(pContext, LOG_ERROR, szFunction, "GetTempPath() failed");
            pszTempDir[0] = '\0';
            return NSF_ERR_FAILED;
        }
        cchBase = cch;
    }

    int cchName = snprintf(pszTempDir + cchBase, NSF_TEMP_DIR_SIZE - cchBase, NSF_TEMP_DIR_NAME,
                           static_cast<int>(getpid()));
    if (cchName < 0 || cchBase + static_cast<size_t>(cchName) >= NSF_TEMP_DIR_SIZE) {
        nsfLogValue(pContext, LOG_ERROR, szFunction, "Temp dir path too long, szTempDir...", pszTempDir);
        pszTempDir[0] = '\0';
        return NSF_ERR_FAILED;
    }

    if (tmos_access(pszTempDir, TMOS_F_OK, 0) != 0 && tmos_mkdir(pszTempDir, NSF_TEMP_DIR_MODE, 0) != 0 &&
        !(errno == EEXIST && tmos_access(pszTempDir, TMOS_F_OK, 0) == 0)) {
        /* (another container of this process may have made it in the meantime) */
        nsfLogValue(pContext, LOG_ERROR, szFunction, "tmos_mkdir() failed, szTempDir...", pszTempDir);
        pszTempDir[0] = '\0';
        return NSF_ERR_FAILED;
    }
    if (!nsfIsOwnDirectory(pszTempDir)) {
        nsfLogValue(pContext, LOG_ERROR, szFunction, "Temp dir is not a directory of this user, szTempDir...",
                    pszTempDir);
        pszTempDir[0] = '\0';
        return NSF_ERR_FAILED;
    }

    pContext->bTempDirCreated = 1;
    nsfLogValue(pContext, LOG_INFO, szFunction, "Created temp dir, szTempDir...", pszTempDir);
    return NSF_OK;
}

NSFSTATUS nsfDeleteTempDir(NsfContext *pContext)
{
    static const char szFunction[] = "nsfDeleteTempDir";
    if (pContext == nullptr)
        return NSF_ERR_ARGUMENT;
    /* a directory given by the host stays */
    if (pContext->szTempDir[0] == '\0' || !pContext->bTempDirCreated)
        return NSF_OK;
    if (!DeleteDirectory(pContext->szTempDir, true)) {
        nsfLogValue(pContext, LOG_ERROR, szFunction, "DeleteDirectory() failed, szTempDir...", pContext->szTempDir);
        return NSF_ERR_FAILED;
    }
    nsfLogValue(pContext, LOG_INFO, szFunction, "Deleted temp dir, szTempDir...", pContext->szTempDir);
    return NSF_OK;
}

NSFSTATUS nsfGetTempFilePath(NsfContext *pContext, const char *pszPrefix, char *pszTempFilePath,
                             uint32_t cbTempFilePathSize)
{
    static const char szFunction[] = "nsfGetTempFilePath";
    if (pContext == nullptr || pszTempFilePath == nullptr)
        return NSF_ERR_ARGUMENT;
    if (pszPrefix == nullptr)
        pszPrefix = "";

    if (tmos_access(pContext->szTempDir, TMOS_F_OK, 0) != 0) {
        nsfLogValue(pContext, LOG_WARNING, szFunction, "No temp dir, szTempDir...", pContext->szTempDir);
        NSFSTATUS status = nsfCreateTempDir(pContext);
        if (status != NSF_OK) {
            nsfLog(pContext, LOG_ERROR, szFunction, "nsfCreateTempDir() failed");
            return status;
        }
    }

    char szPath[NSF_TEMP_DIR_SIZE + 32];
    uint32_t nUnique = nsfCreateUniqueFile(pContext->szTempDir, pszPrefix, szPath, sizeof szPath);
    if (nUnique == 0 && strlen(pszPrefix) < kPrefixRetryLimit) {
        /* every name of this prefix taken (or refused): try prefixes made from its first two characters */
        for (int nDigit = 0; nDigit <= 9 && nUnique == 0; nDigit++) {
            char szDerived[16];
            snprintf(szDerived, sizeof szDerived, "%c%c%d", pszPrefix[0], pszPrefix[0] != '\0' ? pszPrefix[1] : '\0',
                     nDigit);
            nUnique = nsfCreateUniqueFile(pContext->szTempDir, szDerived, szPath, sizeof szPath);
        }
    }
    if (nUnique == 0) {
        nsfLogValue(pContext, LOG_ERROR, szFunction, "GetTempFileName() failed, szTempDir...", pContext->szTempDir);
        return NSF_ERR_FAILED;
    }

    size_t cchPath = strlen(szPath);
    if (cbTempFilePathSize <= cchPath) {
        nsfLogf(pContext, LOG_ERROR, szFunction, "Buffer too small, cbTempFilePathSize %d",
                static_cast<int>(cbTempFilePathSize));
        /* nobody will know the name: do not leave the file behind */
        tmos_unlink(szPath, 0);
        return NSF_ERR_FAILED;
    }
    memcpy(pszTempFilePath, szPath, cchPath + 1);
    return NSF_OK;
}
