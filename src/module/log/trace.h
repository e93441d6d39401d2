/*
 * Calling the Notes C API from the module.
 *
 * Every Notes call goes through one of these wrappers: nsfCallAPI records the function, the call runs
 * inside a guard that catches whatever exception leaves the runtime, and the trace is closed by
 * nsfRetAPI (with the returned Notes status) or nsfExcepAPI (status 28). The wrappers return the
 * module status of the protocol; the caller logs "<function>() failed" and passes it on.
 *
 *   NSFSTATUS nStatus = nsfCallNotes(pContext, "nsfOpenDatabase", "NSFDbOpen",
 *                                    [&] { return NSFDbOpen(pszPath, &hDb); });
 */
#ifndef NSFREX_MODULE_LOG_TRACE_H
#define NSFREX_MODULE_LOG_TRACE_H

#include <stdint.h>

#include <type_traits>

#include "log/log.h"

/* A Notes call that returns a Notes status: the status is judged by nsfRetAPI. When pwNotesStatus is
   given it receives the raw Notes status (0 after an exception). */
template <typename Call>
NSFSTATUS nsfCallNotes(NsfContext *pContext, const char *pszFunction, const char *pszAPI, Call &&call,
                       uint16_t *pwNotesStatus = nullptr)
{
    uint16_t wStatus = 0;
    if (pwNotesStatus != nullptr)
        *pwNotesStatus = 0;
    nsfCallAPI(pContext, pszFunction, pszAPI);
    try {
        wStatus = static_cast<uint16_t>(call());
    } catch (...) {
        return nsfExcepAPI(pContext, pszFunction, pszAPI);
    }
    if (pwNotesStatus != nullptr)
        *pwNotesStatus = wStatus;
    return nsfRetAPI(pContext, pszFunction, wStatus);
}

/* A Notes call whose result is not a status to judge here (no result, a count, a flag, or a status
   that the caller examines itself): the trace is closed with 0. With pResult, the result is stored. */
template <typename Call>
NSFSTATUS nsfCallNotesUnjudged(NsfContext *pContext, const char *pszFunction, const char *pszAPI, Call &&call)
{
    nsfCallAPI(pContext, pszFunction, pszAPI);
    try {
        call();
    } catch (...) {
        return nsfExcepAPI(pContext, pszFunction, pszAPI);
    }
    return nsfRetAPI(pContext, pszFunction, 0);
}

template <typename Result, typename Call>
NSFSTATUS nsfCallNotesUnjudged(NsfContext *pContext, const char *pszFunction, const char *pszAPI, Result *pResult,
                               Call &&call)
{
    nsfCallAPI(pContext, pszFunction, pszAPI);
    try {
        *pResult = static_cast<Result>(call());
    } catch (...) {
        return nsfExcepAPI(pContext, pszFunction, pszAPI);
    }
    return nsfRetAPI(pContext, pszFunction, 0);
}

#endif /* NSFREX_MODULE_LOG_TRACE_H */
