/*
 * The container's temporary directory and the uniquely named files made in it.
 *
 * Some extractions go through a file that the Notes runtime writes. Open either takes the host's
 * directory ("TempDir" option) or makes a private one, "nsfrex_<pid>" under the host's szTempPath or the
 * system's temporary path ($TMPDIR, else /tmp). Only a directory made here is removed at close.
 */
#ifndef NSFREX_MODULE_ENTRY_TEMPDIR_H
#define NSFREX_MODULE_ENTRY_TEMPDIR_H

#include <stdint.h>

#include "entry/context.h"

#define NSF_TEMP_DIR_NAME "nsfrex_%d"   /* with the process id */
#define NSF_TEMP_DIR_MODE 0700          /* the files may hold mail content: this user only */

/* Makes (or reuses) "nsfrex_<pid>" and records it in szTempDir. Returns 0 or 6 (szTempDir then empty). */
NSFSTATUS nsfCreateTempDir(NsfContext *pContext);
/* Removes the directory with its content when nsfCreateTempDir made it; leaves a host's directory alone.
   Returns 0 or 6. */
NSFSTATUS nsfDeleteTempDir(NsfContext *pContext);
/* Creates a new, empty, uniquely named file "<prefix><4 hex digits>.TMP" (the first 3 characters of the
   prefix) in the temporary directory, remaking the directory when it has gone, and writes its full path
   to pszTempFilePath. Returns 0, or 6 when no file could be made or the path does not fit. */
NSFSTATUS nsfGetTempFilePath(NsfContext *pContext, const char *pszPrefix, char *pszTempFilePath,
                             uint32_t cbTempFilePathSize);

/* The system's temporary path with a trailing '/'. Returns its length, or the size needed (terminator
   included) when it does not fit in cbPath bytes; the path is written only when it fits. */
uint32_t nsfGetSystemTempPath(char *pszPath, uint32_t cbPath);
/* Creates a new empty file "<dir>/<first 3 characters of prefix><XXXX>.TMP" whose 4 hex digits make it
   unique, trying numbers from a starting point spread by time, process and thread until one is free.
   Returns the number used (1 to 0xFFFF), or 0 with errno set when none could be created. */
uint32_t nsfCreateUniqueFile(const char *pszDir, const char *pszPrefix, char *pszPath, size_t cbPath);
/* Deletes a directory with everything in it, never following symbolic links. Only permanent deletion is
   offered here: bPermanent false fails with ENOSYS. */
bool DeleteDirectory(const char *pszPath, bool bPermanent);

#endif /* NSFREX_MODULE_ENTRY_TEMPDIR_H */
