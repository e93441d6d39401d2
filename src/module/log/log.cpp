/*
 * The diagnostic log: one plain-text file per open container, switched on by environment variables.
 * Nothing here allocates memory: lines are formatted into the context's szText by the callers, and the
 * hex dump builds each line in a small local buffer.
 */
#include "log/log.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

namespace {

const char *const g_rgszLevelNames[] = {"NONE", "NOTES_API", "ERROR", "WARNING", "INFO", "DIAG", "DUMP", "ALL"};

/* Copies at most cchMax characters of pszSource and terminates the copy. */
void nsfCopyText(char *pszDest, const char *pszSource, size_t cchMax)
{
    size_t cch = strnlen(pszSource, cchMax);
    memcpy(pszDest, pszSource, cch);
    pszDest[cch] = '\0';
}

/* "YYYY-MM-DD hh:mm:ss:mmm " in local time, or empty. */
void nsfFormatTimePrefix(NsfContext *pContext, char *pszPrefix, size_t cbPrefix)
{
    pszPrefix[0] = '\0';
    if (!pContext->bLogTimestamp)
        return;
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tmLocal;
    time_t tSeconds = tv.tv_sec;
    if (localtime_r(&tSeconds, &tmLocal) == nullptr)
        return;
    snprintf(pszPrefix, cbPrefix, "%04d-%02d-%02d %02d:%02d:%02d:%03d ", tmLocal.tm_year + 1900, tmLocal.tm_mon + 1,
             tmLocal.tm_mday, tmLocal.tm_hour, tmLocal.tm_min, tmLocal.tm_sec, (int)(tv.tv_usec / 1000));
}

} // namespace

bool nsfLogWanted(const NsfContext *pContext, int32_t nLevel)
{
    return nLevel >= 1 && nLevel <= pContext->nLogLevel && pContext->pLogFile != nullptr;
}

const char *nsfLogLevelName(int32_t nLevel)
{
    if (nLevel < LOG_NOTES_API || nLevel > LOG_ALL)
        return g_rgszLevelNames[0];
    return g_rgszLevelNames[nLevel];
}

int32_t nsfLogLevelFromText(const char *pszValue)
{
    static const struct {
        const char *pszPrefix;
        int32_t nLevel;
    } rgLevels[] = {{"ERROR", LOG_ERROR}, {"WARN", LOG_WARNING}, {"INFO", LOG_INFO},
                    {"DIAG", LOG_DIAG},   {"DUMP", LOG_DUMP},    {"ALL", LOG_ALL}};
    if (pszValue == nullptr)
        return 0;
    for (const auto &level : rgLevels)
        if (strncmp(pszValue, level.pszPrefix, strlen(level.pszPrefix)) == 0)
            return level.nLevel;
    return 0;
}

void nsfLogMakePath(const char *pszLogFile, const char *pszLogDir, long nProcessId, long nThreadId, char *pszPath,
                    size_t cbPath)
{
    char szPath[NSF_LOG_PATH_SIZE + 80];

    if (pszLogFile != nullptr && pszLogFile[0] != '\0') {
        nsfCopyText(szPath, pszLogFile, NSF_LOG_PATH_SIZE - 1);
    } else {
        char szDir[NSF_LOG_PATH_SIZE + 2];
        szDir[0] = '\0';
        if (pszLogDir != nullptr && pszLogDir[0] != '\0') {
            nsfCopyText(szDir, pszLogDir, NSF_LOG_PATH_SIZE - 1);
            size_t cchDir = strlen(szDir);
            char chLast = szDir[cchDir - 1];
            /* Both separators are read, '/' is the one written on this platform. */
            if (chLast != '\\' && chLast != '/') {
                szDir[cchDir] = '/';
                szDir[cchDir + 1] = '\0';
            }
        }
        char szName[64];
        snprintf(szName, sizeof szName, "nsfrex_%ld_%ld.log", nProcessId, nThreadId);
        if (strlen(szDir) + strlen(szName) >= NSF_LOG_PATH_SIZE)
            szDir[0] = '\0';
        snprintf(szPath, sizeof szPath, "%s%s", szDir, szName);
    }
    if (cbPath > 0)
        nsfCopyText(pszPath, szPath, cbPath - 1);
}

NSFSTATUS nsfLogOpen(NsfContext *pContext)
{
    char szPath[NSF_LOG_PATH_SIZE + 8];
    nsfLogMakePath(getenv(NSF_ENV_LOG_FILE), getenv(NSF_ENV_LOG_DIR), (long)getpid(), (long)gettid(), szPath,
                   sizeof szPath);

    pContext->nLogLevel = nsfLogLevelFromText(getenv(NSF_ENV_LOG_LEVEL));
    const char *pszTimestamp = getenv(NSF_ENV_LOG_TIMESTAMP);
    pContext->bLogTimestamp = !(pszTimestamp != nullptr && strcasecmp(pszTimestamp, "FALSE") == 0);
    const char *pszAPI = getenv(NSF_ENV_LOG_API);
    pContext->bLogAPI = pszAPI != nullptr && strcasecmp(pszAPI, "TRUE") == 0;

    if (pContext->nLogLevel > 0) {
        pContext->pLogFile = fopen(szPath, "a+");
        if (pContext->pLogFile == nullptr)
            pContext->nLogLevel = 0;
    }
    return NSF_OK;
}

NSFSTATUS nsfLog(NsfContext *pContext, int32_t nLevel, const char *pszFunction, const char *pszMessage)
{
    if (pContext == nullptr || pszMessage == nullptr || !nsfLogWanted(pContext, nLevel))
        return NSF_OK;
    if (pszFunction != nullptr) {
        char szPrefix[40];
        nsfFormatTimePrefix(pContext, szPrefix, sizeof szPrefix);
        fprintf(pContext->pLogFile, "%s[%d/%d] %s %s(): %s\n", szPrefix, pContext->nIndex, pContext->cSubFiles,
                nsfLogLevelName(nLevel), pszFunction, pszMessage);
    } else {
        fprintf(pContext->pLogFile, "%s\n", pszMessage);
    }
    fflush(pContext->pLogFile);
    return NSF_OK;
}

NSFSTATUS nsfLogDump(NsfContext *pContext, int32_t nLevel, const uint8_t *pb, uint32_t cb)
{
    if (pContext == nullptr || pb == nullptr || cb == 0 || !nsfLogWanted(pContext, nLevel))
        return NSF_OK;
    for (uint32_t ibRun = 0; ibRun < cb; ibRun += 16) {
        char szLine[128];
        uint32_t cbRun = cb - ibRun < 16 ? cb - ibRun : 16;
        int cch = snprintf(szLine, sizeof szLine, "%-8lx", (unsigned long)ibRun);
        for (uint32_t ib = 0; ib < 16; ib++) {
            if (ib < cbRun)
                cch += snprintf(szLine + cch, sizeof szLine - cch, "%.2x ", pb[ibRun + ib]);
            else
                cch += snprintf(szLine + cch, sizeof szLine - cch, "   ");
        }
        szLine[cch++] = ' ';
        szLine[cch++] = ' ';
        for (uint32_t ib = 0; ib < cbRun; ib++) {
            uint8_t b = pb[ibRun + ib];
            szLine[cch++] = (b >= 32 && b <= 126) ? (char)b : ' ';
        }
        szLine[cch] = '\0';
        nsfLog(pContext, nLevel, nullptr, szLine);
    }
    return NSF_OK;
}

NSFSTATUS nsfLogClose(NsfContext *pContext)
{
    if (pContext == nullptr)
        return NSF_OK;
    if (pContext->pLogFile != nullptr) {
        fflush(pContext->pLogFile);
        fclose(pContext->pLogFile);
        pContext->pLogFile = nullptr;
    }
    pContext->nLogLevel = 0;
    return NSF_OK;
}

NSFSTATUS nsfLogf(NsfContext *pContext, int32_t nLevel, const char *pszFunction, const char *pszFormat, ...)
{
    /* Formatting costs more than the work it describes on hot paths (one line per CD record). */
    if (pContext == nullptr || !nsfLogWanted(pContext, nLevel))
        return NSF_OK;
    va_list args;
    va_start(args, pszFormat);
    vsnprintf(pContext->szText, sizeof pContext->szText, pszFormat, args);
    va_end(args);
    return nsfLog(pContext, nLevel, pszFunction, pContext->szText);
}

NSFSTATUS nsfLogValue(NsfContext *pContext, int32_t nLevel, const char *pszFunction, const char *pszMessage,
                      const char *pszValue)
{
    if (pContext == nullptr)
        return NSF_OK;
    nsfLog(pContext, nLevel, pszFunction, pszMessage);
    return nsfLog(pContext, nLevel, pszFunction, pszValue);
}
