/*
 * The module's diagnostic log and the tracing of Notes API calls.
 *
 * Every message is formatted into pContext->szText first and then handed to nsfLog. A path or long value
 * is logged as a message ending in "..." followed by a line holding only the value (nsfLogValue).
 */
#ifndef NSFREX_MODULE_LOG_LOG_H
#define NSFREX_MODULE_LOG_LOG_H

#include <stdint.h>

#include "entry/context.h"

/* Log levels: a line is written when 1 <= level <= nLogLevel. */
#define LOG_NOTES_API 1
#define LOG_ERROR 2
#define LOG_WARNING 3
#define LOG_INFO 4
#define LOG_DIAG 5
#define LOG_DUMP 6
#define LOG_ALL 7

/* Environment variables read when a container is opened. */
#define NSF_ENV_LOG_FILE "TAMSEL_NSFREX_LOG_FILE"
#define NSF_ENV_LOG_DIR "TAMSEL_NSFREX_LOG_DIR"
#define NSF_ENV_LOG_LEVEL "TAMSEL_NSFREX_LOG_LEVEL"
#define NSF_ENV_LOG_TIMESTAMP "TAMSEL_NSFREX_LOG_TIMESTAMP"
#define NSF_ENV_LOG_API "TAMSEL_NSFREX_LOG_API"

#define NSF_LOG_PATH_SIZE 260

NSFSTATUS nsfLogOpen(NsfContext *pContext);
NSFSTATUS nsfLog(NsfContext *pContext, int32_t nLevel, const char *pszFunction, const char *pszMessage);
NSFSTATUS nsfLogDump(NsfContext *pContext, int32_t nLevel, const uint8_t *pb, uint32_t cb);
NSFSTATUS nsfLogClose(NsfContext *pContext);

/* Whether a line at nLevel reaches the log: hot paths ask before they work out a line's values. */
bool nsfLogWanted(const NsfContext *pContext, int32_t nLevel);
/* The printed name of a level ("NONE" outside 1 to 7). */
const char *nsfLogLevelName(int32_t nLevel);
/* The level that a TAMSEL_NSFREX_LOG_LEVEL value selects (0 = no log). */
int32_t nsfLogLevelFromText(const char *pszValue);
/* The log file path nsfLogOpen uses for the given variables (either may be null) and process/thread ids. */
void nsfLogMakePath(const char *pszLogFile, const char *pszLogDir, long nProcessId, long nThreadId,
                    char *pszPath, size_t cbPath);

/* Formats into szText and logs it. */
NSFSTATUS nsfLogf(NsfContext *pContext, int32_t nLevel, const char *pszFunction, const char *pszFormat, ...)
    __attribute__((format(printf, 4, 5)));
/* The pair form: "<pszMessage>" (which ends in "...") and then the value alone, both at nLevel. */
NSFSTATUS nsfLogValue(NsfContext *pContext, int32_t nLevel, const char *pszFunction, const char *pszMessage,
                      const char *pszValue);

/* Notes API tracing: nsfCallAPI before the call, then nsfRetAPI with the returned Notes status, or
   nsfExcepAPI when the call raised an exception. */
NSFSTATUS nsfCallAPI(NsfContext *pContext, const char *pszFunction, const char *pszAPI);
NSFSTATUS nsfRetAPI(NsfContext *pContext, const char *pszFunction, uint16_t wNotesStatus);
NSFSTATUS nsfExcepAPI(NsfContext *pContext, const char *pszFunction, const char *pszAPI);

#endif /* NSFREX_MODULE_LOG_LOG_H */
