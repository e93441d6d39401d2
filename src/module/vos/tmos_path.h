/*
 * Path handling shared by the tmos_ operations (not part of the layer's interface).
 */
#ifndef NSFREX_MODULE_VOS_TMOS_PATH_H
#define NSFREX_MODULE_VOS_TMOS_PATH_H

#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <unistd.h>

/* A caller's path ready for the kernel: every '\' turned into '/'. Paths without a backslash are used in
   place; others are copied (into an inline buffer when short). */
class TmosPath {
public:
    explicit TmosPath(const char *pszPath);
    ~TmosPath();
    TmosPath(const TmosPath &) = delete;
    TmosPath &operator=(const TmosPath &) = delete;

    /* Null when the caller's path was null (errno EFAULT) or a copy could not be made (errno ENOMEM). */
    const char *psz() const { return m_psz; }
    /* Writable copy (always a copy, for callers that cut the path); null as above. */
    char *pszWritable();

private:
    const char *m_pszOrig;
    const char *m_psz;
    char *m_pszHeap;
    char m_szInline[256];
};

/* Opens (O_PATH) the directory that holds the last component of a path, walking its components one call
   at a time so that no single call sees more than one component. *ppszLeaf receives the last component
   (inside pszPath, trailing separators included). Returns the descriptor or -1 with errno set. */
int tmosOpenParentDir(const char *pszPath, const char **ppszLeaf);

/* Runs op(fdDir, pszName) for the path: first as (AT_FDCWD, path); when the kernel reports the path as too
   long, again relative to its directory opened by tmosOpenParentDir. The result is op's; -1 means failure
   with errno set. */
template <class Op> int tmosAtPath(const char *pszPath, Op op)
{
    int result = op(AT_FDCWD, pszPath);
    if (result != -1 || errno != ENAMETOOLONG)
        return result;
    const char *pszLeaf = nullptr;
    int fdDir = tmosOpenParentDir(pszPath, &pszLeaf);
    if (fdDir < 0)
        return result;
    result = op(fdDir, pszLeaf);
    int nErr = errno;
    close(fdDir);
    errno = nErr;
    return result;
}

#endif /* NSFREX_MODULE_VOS_TMOS_PATH_H */
