/*
 * Tracing of Notes API calls: which function is running, its return or exception, the module status
 * for a Notes status, and the runtime's own message text for a failing status.
 */
#include "log/log.h"

#include <string.h>

#include "notesapi/notes.h"

namespace {

/* Notes statuses that are not failures for the module: the note is not sealed, or not sealed for us. */
bool nsfIsIgnoredStatus(uint16_t wStatus)
{
    return wStatus == 610 || wStatus == 613;
}

/* Notes statuses that mean the user may not read the database: local security, no ID file, bad password. */
bool nsfIsAccessStatus(uint16_t wStatus)
{
    return wStatus == 760 || wStatus == 6402 || wStatus == 6408;
}

/* The runtime's message text for a status, into szText. */
void nsfLoadStatusText(NsfContext *pContext, uint16_t wStatus)
{
    pContext->szText[0] = '\0';
    OSLoadString(NULLHANDLE, (STATUS)(wStatus & 0x3FFF), pContext->szText, (WORD)sizeof pContext->szText);
    pContext->szText[sizeof pContext->szText - 1] = '\0';
}

} // namespace

NSFSTATUS nsfCallAPI(NsfContext *pContext, const char *pszFunction, const char *pszAPI)
{
    if (pContext->pszFuncAPI != nullptr)
        nsfLogf(pContext, LOG_WARNING, "nsfCallAPI", "pszFuncAPI still set to %s() - missing nsfRetAPI() call",
                pContext->pszFuncAPI);
    pContext->pszFuncAPI = pszAPI;
    if (pContext->bLogAPI)
        nsfLogf(pContext, LOG_NOTES_API, pszFunction, "Calling Notes API %s()...", pszAPI);
    return NSF_OK;
}

NSFSTATUS nsfRetAPI(NsfContext *pContext, const char *pszFunction, uint16_t wNotesStatus)
{
    const char *pszAPI = pContext->pszFuncAPI;
    if (pszAPI != nullptr) {
        pContext->pszFuncAPI = nullptr;
    } else {
        nsfLog(pContext, LOG_WARNING, "nsfRetAPI", "pszFuncAPI not set - missing nsfCallAPI() call");
        pszAPI = "Unknown";
    }
    if (pContext->bLogAPI)
        nsfLogf(pContext, LOG_NOTES_API, pszFunction, "Returned from Notes API %s()", pszAPI);

    if (wNotesStatus == 0)
        return NSF_OK;

    if (nsfIsIgnoredStatus(wNotesStatus)) {
        nsfLogf(pContext, LOG_WARNING, pszFunction, "Notes API %s() failed, status %ld 0x%lx, error message... (ignored)",
                pszAPI, (long)wNotesStatus, (unsigned long)wNotesStatus);
        nsfLoadStatusText(pContext, wNotesStatus);
        nsfLog(pContext, LOG_WARNING, pszFunction, pContext->szText);
        return NSF_OK;
    }

    nsfLogf(pContext, LOG_ERROR, pszFunction, "Notes API %s() failed, status %ld 0x%lx, error message...", pszAPI,
            (long)wNotesStatus, (unsigned long)wNotesStatus);
    nsfLoadStatusText(pContext, wNotesStatus);
    nsfLog(pContext, LOG_ERROR, pszFunction, pContext->szText);
    return nsfIsAccessStatus(wNotesStatus) ? NSF_ERR_ACCESS : NSF_ERR_FAILED;
}

NSFSTATUS nsfExcepAPI(NsfContext *pContext, const char *pszFunction, const char *pszAPI)
{
    pContext->pszFuncAPI = nullptr;
    if (pContext->bLogAPI)
        nsfLogf(pContext, LOG_NOTES_API, pszFunction, "Returned from Notes API %s()", pszAPI);
    nsfLogf(pContext, LOG_ERROR, pszFunction, "Notes API %s() raised an EXCEPTION", pszAPI);
    return NSF_ERR_EXCEPTION;
}
