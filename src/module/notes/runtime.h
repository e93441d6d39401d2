/*
 * Starting the Notes runtime for a context (stopped again by nsfShutdown), and the per-user lock
 * "TamselNSFReaderMutex" that serialises the start across the user's threads and processes.
 */
#ifndef NSFREX_MODULE_NOTES_RUNTIME_H
#define NSFREX_MODULE_NOTES_RUNTIME_H

#include <stdint.h>

#include "entry/context.h"

#define NSF_READER_MUTEX_NAME "TamselNSFReaderMutex"

/* Results of waiting for the lock, numbered like the wait results the log names. */
#define NSF_WAIT_OBJECT_0 0u
#define NSF_WAIT_ABANDONED 128u
#define NSF_WAIT_TIMEOUT 258u
#define NSF_WAIT_FAILED 0xFFFFFFFFu

/* The lock is the user's lock file named after the mutex (tmos_open_lockfile: in $XDG_RUNTIME_DIR, else
   with the user's ID in $TMPDIR, default /tmp), locked with flock. While held, the
   file's first byte is 1; a holder that dies leaves the 1 behind, so the next owner sees that the lock was
   abandoned (the kernel has already released the flock itself). */
typedef struct NsfReaderMutex {
    int fd;             /* -1 = not created */
    uint8_t bOwned;     /* this handle holds the lock */
} NsfReaderMutex;

/* Creates (or opens) the lock file; not locked. Returns 1, or 0 with the errno in *pnError. */
int32_t nsfCreateReaderMutex(NsfReaderMutex *pMutex, int32_t *pnError);
/* Waits without time-out. Returns NSF_WAIT_OBJECT_0, NSF_WAIT_ABANDONED (the lock is then owned) or
   NSF_WAIT_FAILED (errno in *pnError). */
uint32_t nsfWaitReaderMutex(NsfReaderMutex *pMutex, int32_t *pnError);
/* Releases an owned lock. Returns 1, or 0 with an error in *pnError (EPERM when it is not owned). */
int32_t nsfReleaseReaderMutex(NsfReaderMutex *pMutex, int32_t *pnError);
/* Closes the handle (a lock still held is released by the kernel, without clearing the held mark). */
void nsfCloseReaderMutex(NsfReaderMutex *pMutex);
/* The lock file's path for the current user and environment (empty when it does not fit). */
void nsfGetReaderMutexPath(char *pszPath, size_t cbPath);

/* Starts the runtime under the user's lock; sets bNotesInitialized. Returns 0 or 12. */
NSFSTATUS nsfInitNotes(NsfContext *pContext);

#endif /* NSFREX_MODULE_NOTES_RUNTIME_H */
