/*
 * Starting the Notes runtime. The start runs under the user's cross-process lock "TamselNSFReaderMutex"
 * so that only one thread of one process of the user starts the runtime at a time; the stop is part of
 * nsfShutdown.
 */
#include "notes/runtime.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include "log/log.h"
#include "log/trace.h"
#include "notesapi/notes.h"
#include "vos/tmos.h"

namespace {

const uint16_t ERR_NOTES_INI_NOT_FOUND = 421;
const uint8_t bMutexHeld = 1;
const uint8_t bMutexFree = 0;

} // namespace

void nsfGetReaderMutexPath(char *pszPath, size_t cbPath)
{
    if (tmos_lockfile_path(NSF_READER_MUTEX_NAME, pszPath, cbPath) != 0 && cbPath > 0)
        pszPath[0] = '\0';
}

int32_t nsfCreateReaderMutex(NsfReaderMutex *pMutex, int32_t *pnError)
{
    pMutex->fd = -1;
    pMutex->bOwned = 0;
    *pnError = 0;
    int fd = tmos_open_lockfile(NSF_READER_MUTEX_NAME);
    if (fd < 0) {
        *pnError = errno;
        return 0;
    }
    pMutex->fd = fd;
    return 1;
}

uint32_t nsfWaitReaderMutex(NsfReaderMutex *pMutex, int32_t *pnError)
{
    *pnError = 0;
    if (pMutex->fd < 0) {
        *pnError = EBADF;
        return NSF_WAIT_FAILED;
    }
    int nResult;
    do
        nResult = flock(pMutex->fd, LOCK_EX);
    while (nResult != 0 && errno == EINTR);
    if (nResult != 0) {
        *pnError = errno;
        return NSF_WAIT_FAILED;
    }
    pMutex->bOwned = 1;

    uint8_t bState = bMutexFree;
    ssize_t cbRead = pread(pMutex->fd, &bState, 1, 0);
    bool bAbandoned = cbRead == 1 && bState == bMutexHeld;
    if (pwrite(pMutex->fd, &bMutexHeld, 1, 0) != 1) {
        *pnError = errno;
        flock(pMutex->fd, LOCK_UN);
        pMutex->bOwned = 0;
        return NSF_WAIT_FAILED;
    }
    return bAbandoned ? NSF_WAIT_ABANDONED : NSF_WAIT_OBJECT_0;
}

int32_t nsfReleaseReaderMutex(NsfReaderMutex *pMutex, int32_t *pnError)
{
    *pnError = 0;
    if (pMutex->fd < 0 || !pMutex->bOwned) {
        *pnError = EPERM;
        return 0;
    }
    int32_t bOk = 1;
    if (pwrite(pMutex->fd, &bMutexFree, 1, 0) != 1) {
        *pnError = errno;
        bOk = 0;
    }
    if (flock(pMutex->fd, LOCK_UN) != 0 && bOk) {
        *pnError = errno;
        bOk = 0;
    }
    pMutex->bOwned = 0;
    return bOk;
}

void nsfCloseReaderMutex(NsfReaderMutex *pMutex)
{
    if (pMutex->fd >= 0)
        close(pMutex->fd);
    pMutex->fd = -1;
    pMutex->bOwned = 0;
}

NSFSTATUS nsfInitNotes(NsfContext *pContext)
{
    static const char szFunc[] = "nsfInitNotes";
    NSFSTATUS nStatus = NSF_OK;
    NsfReaderMutex mutex;
    int32_t nError = 0;

    nsfLogf(pContext, LOG_INFO, szFunc, "Creating mutex %s...", NSF_READER_MUTEX_NAME);
    if (!nsfCreateReaderMutex(&mutex, &nError)) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "CreateMutex() failed, GetLastError() returned %d", nError);
        return NSF_ERR_INIT;
    }
    nsfLog(pContext, LOG_INFO, szFunc, "Mutex created");
    nsfLogf(pContext, LOG_INFO, szFunc, "Locking mutex %s...", NSF_READER_MUTEX_NAME);

    uint32_t dwResult = nsfWaitReaderMutex(&mutex, &nError);
    if (dwResult != NSF_WAIT_OBJECT_0) {
        nsfLog(pContext, LOG_ERROR, szFunc, "WaitForSingleObject() failed (mutex NOT locked)...");
        if (dwResult == NSF_WAIT_ABANDONED)
            nsfLog(pContext, LOG_WARNING, szFunc, "WaitForSingleObject() returned WAIT_ABANDONED");
        else if (dwResult == NSF_WAIT_TIMEOUT)
            nsfLog(pContext, LOG_WARNING, szFunc, "WaitForSingleObject() returned WAIT_TIMEOUT");
        else if (dwResult == NSF_WAIT_FAILED)
            nsfLogf(pContext, LOG_WARNING, szFunc, "WaitForSingleObject() returned WAIT_FAILED, GetLastError() returned %d",
                    nError);
        else
            nsfLogf(pContext, LOG_WARNING, szFunc, "WaitForSingleObject() returned unknown dwResult %ld 0x%lx",
                    (long)dwResult, (unsigned long)dwResult);
        nStatus = NSF_ERR_INIT;
    } else {
        nsfLog(pContext, LOG_INFO, szFunc, "Mutex locked");
        nsfLog(pContext, LOG_INFO, szFunc, "Initializing Notes...");
        STATUS wNotesStatus = NOERROR;
        NSFSTATUS nCall = nsfCallNotesUnjudged(pContext, szFunc, "NotesInitExtended", &wNotesStatus,
                                               [] { return NotesInitExtended(0, nullptr); });
        if (nCall != NSF_OK) {
            nStatus = NSF_ERR_INIT;
        } else if (wNotesStatus != NOERROR) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Notes API NotesInitExtended() failed, status %ld 0x%lx",
                    (long)wNotesStatus, (unsigned long)wNotesStatus);
            if (wNotesStatus == ERR_NOTES_INI_NOT_FOUND)
                nsfLog(pContext, LOG_ERROR, szFunc, "The NOTES.INI file cannot be found on the search path (PATH)");
            nStatus = NSF_ERR_INIT;
        }
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "Notes is NOT initialized");
        } else {
            nsfLog(pContext, LOG_INFO, szFunc, "Notes is initialized");
            pContext->bNotesInitialized = 1;
        }
    }

    nsfLogf(pContext, LOG_INFO, szFunc, "Releasing mutex %s...", NSF_READER_MUTEX_NAME);
    if (nsfReleaseReaderMutex(&mutex, &nError))
        nsfLog(pContext, LOG_INFO, szFunc, "Mutex released");
    else
        nsfLogf(pContext, LOG_ERROR, szFunc, "ReleaseMutex() failed, GetLastError() returned %d", nError);
    nsfCloseReaderMutex(&mutex);
    return nStatus;
}
