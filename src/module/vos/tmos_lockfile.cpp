/*
 * tmos_ lock files: the file that stands for a named lock of the user's login session. Each user has
 * their own, so that one user's lock never keeps another user out.
 */
#include "vos/tmos.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int tmos_lockfile_path(const char *pszName, char *pszPath, size_t cbPath)
{
    /* The session's runtime folder belongs to the user alone; the shared temporary folder needs the
       user's ID in the name. */
    const char *pszRuntime = getenv("XDG_RUNTIME_DIR");
    const bool bRuntime = pszRuntime != nullptr && pszRuntime[0] == '/';
    const char *pszDir = bRuntime ? pszRuntime : getenv("TMPDIR");
    if (pszDir == nullptr || pszDir[0] == '\0')
        pszDir = "/tmp";
    size_t cchDir = strlen(pszDir);
    while (cchDir > 1 && pszDir[cchDir - 1] == '/')
        cchDir--;
    int cch = bRuntime ? snprintf(pszPath, cbPath, "%.*s/%s", (int)cchDir, pszDir, pszName)
                       : snprintf(pszPath, cbPath, "%.*s/%s-%lu", (int)cchDir, pszDir, pszName,
                                  (unsigned long)geteuid());
    if (cch < 0 || (size_t)cch >= cbPath) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return 0;
}

int tmos_open_lockfile(const char *pszName)
{
    char szPath[4096];
    if (tmos_lockfile_path(pszName, szPath, sizeof szPath) != 0)
        return -1;
    /* A link planted under the name is not followed, and a file of another user is not shared. */
    int fd = open(szPath, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}
