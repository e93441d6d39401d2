/* Basic types of the Notes C API as this runtime exports them on Linux x86-64.
 *
 * Host structures use natural alignment (the compiler's default); the canonical on-disk form of
 * the same data is packed little-endian and is converted with ODSReadMemory. Handles are 32 bits.
 * Every declaration here is C-compatible. */
#ifndef NOTESAPI_GLOBAL_H
#define NOTESAPI_GLOBAL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define NOTESAPI_BEGIN_DECLS extern "C" {
#define NOTESAPI_END_DECLS }
#else
#define NOTESAPI_BEGIN_DECLS
#define NOTESAPI_END_DECLS
#endif

/* libnotes.so is built with hidden visibility: only what carries this mark is exported. */
#define LNPUBLIC_API __attribute__((visibility("default")))

/* Calling-convention markers of the published API; the System V ABI needs none. */
#define LNPUBLIC
#define LNCALLBACK
#define LNCALLBACKPTR *

#ifdef __cplusplus
#define NOTESAPI_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define NOTESAPI_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef int16_t SWORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int BOOL;
typedef double NUMBER;

typedef WORD STATUS;
typedef DWORD NOTEID;
typedef DWORD FONTID;

typedef uint32_t DHANDLE;
typedef DHANDLE HANDLE;
typedef DHANDLE DBHANDLE;
typedef DHANDLE NOTEHANDLE;
typedef DHANDLE FORMULAHANDLE;
typedef DWORD MEMHANDLE;
typedef DHANDLE HMODULE;   /* module handle of OSLoadString; always NULLHANDLE here */
typedef void* CCHANDLE;    /* MIME conversion controls */

typedef WORD BLOCK;
typedef DWORD DBLOCK;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define NULLHANDLE ((DHANDLE)0)
#define NULLMEMHANDLE ((MEMHANDLE)0)
#define NULLBLOCK ((BLOCK)0)

#define MAXWORD ((WORD)0xFFFF)
#define MAXDWORD ((DWORD)0xFFFFFFFF)

/* A point in time: Innards[0] is 1/100 s since midnight GMT, Innards[1] the Julian day plus zone
 * and daylight-saving bits. */
typedef struct {
    DWORD Innards[2];
} TIMEDATE;

typedef struct {
    TIMEDATE Lower;
    TIMEDATE Upper;
} TIMEDATE_PAIR;

#define ALLDAY ((DWORD)0xFFFFFFFF)
#define ANYDAY ((DWORD)0xFFFFFFFF)
#define TICKS_IN_DAY 8640000L
#define TICKS_IN_SECOND 100L

typedef TIMEDATE DBID;

/* A block inside a memory pool: the pool handle and a byte offset into it. */
typedef struct {
    DHANDLE pool;
    BLOCK block;
} BLOCKID;

typedef struct {
    DHANDLE pool;
    DBLOCK block;
} DBLOCKID;

#define ISNULLBLOCKID(b) ((b).pool == NULLHANDLE && (b).block == NULLBLOCK)

/* Prefix of a TYPE_TEXT_LIST / TYPE_NOTEREF_LIST value. */
typedef struct {
    WORD ListEntries;
} LIST;

/* Prefix of a TYPE_NUMBER_RANGE / TYPE_TIME_RANGE value. */
typedef struct {
    WORD ListEntries;
    WORD RangeEntries;
} RANGE;

typedef struct {
    NUMBER Lower;
    NUMBER Upper;
} NUMBER_PAIR;

NOTESAPI_STATIC_ASSERT(sizeof(WORD) == 2 && sizeof(DWORD) == 4 && sizeof(BOOL) == 4, "base type sizes");
NOTESAPI_STATIC_ASSERT(sizeof(DHANDLE) == 4 && sizeof(MEMHANDLE) == 4, "handles are 32 bits");
NOTESAPI_STATIC_ASSERT(sizeof(TIMEDATE) == 8, "TIMEDATE is 8 bytes");
NOTESAPI_STATIC_ASSERT(sizeof(BLOCKID) == 8, "BLOCKID host size");
NOTESAPI_STATIC_ASSERT(sizeof(LIST) == 2 && sizeof(RANGE) == 4, "LIST/RANGE sizes");

#endif /* NOTESAPI_GLOBAL_H */
