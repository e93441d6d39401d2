/*
 * tmos_: the module's thin layer over the operating system's file, directory, library and process
 * services.
 *
 * Results follow the POSIX convention: 0, a count or a handle on success; -1 (or null) on failure with the
 * cause in errno. No operation logs; callers log their own message with the operation's name.
 *
 * Paths are byte strings (UTF-8 passes through unchanged). Both '/' and '\' are read as separators: a '\'
 * is turned into '/' before the path reaches the kernel, so a name with a literal backslash cannot be
 * reached through this layer. A path too long for the kernel's single-call limit (ENAMETOOLONG) is
 * retried by walking its directories one at a time, so any path whose components each fit is usable.
 */
#ifndef NSFREX_MODULE_VOS_TMOS_H
#define NSFREX_MODULE_VOS_TMOS_H

#include <stddef.h>
#include <stdint.h>
#include <sys/stat.h>

/* Open flags of tmos_open (low-level open encoding). */
#define TMOS_O_RDONLY 0x0000u
#define TMOS_O_WRONLY 0x0001u
#define TMOS_O_RDWR 0x0002u
#define TMOS_O_APPEND 0x0008u      /* accepted; a stream still starts at the beginning of the file */
#define TMOS_O_TEMPORARY 0x0040u   /* the file is removed when its last handle closes */
#define TMOS_O_CREAT 0x0100u
#define TMOS_O_TRUNC 0x0200u
#define TMOS_O_EXCL 0x0400u
#define TMOS_O_ATTRIBUTES 0xFF000000u /* file attribute bits: no meaning on this platform, ignored */

/* Access modes of tmos_access. */
#define TMOS_F_OK 0
#define TMOS_W_OK 2
#define TMOS_R_OK 4

/* Origins of tmos_seek. */
#define TMOS_SEEK_SET 0
#define TMOS_SEEK_CUR 1
#define TMOS_SEEK_END 2

/* Largest block the memory operations hand out. */
#define TMOS_MAX_BLOCK 0x7FFFFFFFu

/* A stream from tmos_fopen: the file handle itself, unbuffered. */
typedef struct TMOS_FILE TMOS_FILE;
typedef struct TMOS_DIR TMOS_DIR;

typedef struct TmosDirEntry {
    char szName[256];
    uint8_t bDirectory;     /* 1 for a directory (a symbolic link is never reported as one) */
} TmosDirEntry;

typedef struct TmosDiskInfo {
    uint64_t cbFree;        /* bytes available to this user */
    uint64_t cbTotal;
    uint32_t cbBlock;       /* allocation unit */
    uint32_t cchNameMax;    /* longest file name */
    uint64_t qwVolumeId;
} TmosDiskInfo;

typedef struct TmosSysInfo {
    int32_t cProcessors;
    uint64_t cbMemoryTotal;
    uint64_t cbMemoryFree;
    uint64_t qwUserTimeUs;  /* CPU time of this process, microseconds */
    uint64_t qwSystemTimeUs;
} TmosSysInfo;

/* ---- Files and directories used by the module ---- */

/* 0 when the path exists with the access asked for (execute access is not tested). */
int tmos_access(const char *pszPath, int nMode, uint32_t dwFlags);
/* Creates the directory and every missing one above it. Returns the result of the last creation
   attempted; -1 with EEXIST when nothing had to be created, -1 with ENOENT for an empty path. */
int tmos_mkdir(const char *pszPath, int nMode, uint32_t dwFlags);
/* Returns a file handle or -1. nMode is not used: files are created with 0666 less the umask. */
int tmos_open(const char *pszPath, uint32_t dwFlags, int nMode);
/* "r", "w", "a" with an optional '+' (and 'b', which changes nothing); dwFlags are added to the open
   flags. Returns null on failure. */
TMOS_FILE *tmos_fopen(const char *pszPath, const char *pszMode, uint32_t dwFlags);
int32_t tmos_read(int hFile, void *pv, uint32_t cb);
/* Whole items read; 0 on error or for an item size of 0. */
size_t tmos_fread(TMOS_FILE *pFile, void *pv, size_t cbItem, size_t cItems);
int tmos_close(int hFile);
int tmos_fclose(TMOS_FILE *pFile);
int tmos_unlink(const char *pszPath, uint32_t dwFlags);

/* Removes a directory with everything in it. Symbolic links inside are removed as links, never followed;
   a path that is itself a symbolic link or not a directory fails with ENOTDIR. */
int tmos_rmtree(const char *pszPath);

/* ---- The rest of the layer ---- */

int tmos_fileno(TMOS_FILE *pFile);
int32_t tmos_write(int hFile, const void *pv, uint32_t cb);
size_t tmos_fwrite(TMOS_FILE *pFile, const void *pv, size_t cbItem, size_t cItems);
/* New position, or -1 (also when it does not fit in 31 bits). */
int32_t tmos_seek(int hFile, int32_t nOffset, int nOrigin);
int32_t tmos_tell(int hFile);
int64_t tmos_filesize(int hFile);
int tmos_truncate(int hFile, int64_t cbSize);
/* Writes the file through to the disk and sets its last-write time to now. */
int tmos_flush(int hFile);
int tmos_stat(const char *pszPath, struct stat *pStat);
int tmos_fstat(int hFile, struct stat *pStat);
int tmos_rmdir(const char *pszPath);
int tmos_chdir(const char *pszPath);
char *tmos_getcwd(char *pszBuffer, size_t cbBuffer);
unsigned tmos_umask(unsigned nMask);
int tmos_chmod(const char *pszPath, unsigned nMode);
/* A path in pszDir (else $TMPDIR, else /tmp) starting with pszPrefix that names no file at the moment of
   the call. The result comes from tmos_malloc and goes back through tmos_free. */
char *tmos_tempnam(const char *pszDir, const char *pszPrefix);
int tmos_rename(const char *pszFrom, const char *pszTo);
int tmos_system(const char *pszCommand);
[[noreturn]] void tmos_exit(int nCode);

TMOS_DIR *tmos_opendir(const char *pszPath);
/* The next entry ("." and ".." included), or null at the end or on error (errno tells them apart:
   unchanged at the end). The entry stays valid until the next call. */
const TmosDirEntry *tmos_readdir(TMOS_DIR *pDir);
int tmos_closedir(TMOS_DIR *pDir);

/* Advisory lock of a byte range; fails with EACCES or EAGAIN when another process holds it. */
/* The path of the calling user's lock file for a named lock: in $XDG_RUNTIME_DIR when that is set, else
   "<name>-<user ID>" in $TMPDIR (default /tmp). Returns 0, or -1 with ENAMETOOLONG. */
int tmos_lockfile_path(const char *pszName, char *pszPath, size_t cbPath);
/* Opens, creating it with mode 0600, the calling user's lock file for a named lock. A symbolic link in its
   place fails with ELOOP, a file that is not a regular file or belongs to another user with EACCES.
   Returns the handle or -1 with errno set. */
int tmos_open_lockfile(const char *pszName);

int tmos_lock(int hFile, int64_t nOffset, int64_t cb);
int tmos_unlock(int hFile, int64_t nOffset, int64_t cb);

int tmos_diskinfo(const char *pszPath, TmosDiskInfo *pInfo);
int tmos_sysinfo(TmosSysInfo *pInfo);
/* "<system> <release> <machine>", cut to the buffer. */
int tmos_osname(char *pszBuffer, size_t cbBuffer);
/* Sleeps for the given microseconds, rounded down to whole milliseconds. */
void tmos_sleep(uint64_t qwMicroseconds);

/* Loads a shared library by path; the failure cause is in errno, the loader's text in tmos_dlerror. */
void *tmos_dlopen(const char *pszPath);
void *tmos_dlsym(void *hLib, const char *pszSymbol);
int tmos_dlclose(void *hLib);
const char *tmos_dlerror(void);

/* Memory with a limit of TMOS_MAX_BLOCK bytes per block; larger or zero requests give null.
   tmos_realloc with a size of 0 frees the block and gives null. */
void *tmos_malloc(size_t cb);
void *tmos_calloc(size_t cItems, size_t cbItem);
void *tmos_realloc(void *pv, size_t cb);
void tmos_free(void *pv);

#endif /* NSFREX_MODULE_VOS_TMOS_H */
