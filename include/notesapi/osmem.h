/* Memory objects and blocks handed out by the runtime. */
#ifndef NOTESAPI_OSMEM_H
#define NOTESAPI_OSMEM_H

#include "notesapi/global.h"

/* Largest single segment the runtime hands out. */
#define MAXONESEGSIZE (0xFFFF - 1 - 128)

NOTESAPI_BEGIN_DECLS

/* Pools addressed by DHANDLE (note memory, ID tables). */
LNPUBLIC_API void* OSLockObject(DHANDLE Handle);
LNPUBLIC_API BOOL OSUnlockObject(DHANDLE Handle);
LNPUBLIC_API STATUS OSMemAlloc(WORD BlkType, DWORD dwSize, DHANDLE* retHandle);
LNPUBLIC_API STATUS OSMemFree(DHANDLE Handle);

/* Objects addressed by MEMHANDLE (e.g. the DXL result log). Locks are counted. */
LNPUBLIC_API STATUS OSMemoryAllocate(DWORD dwtype, DWORD size, MEMHANDLE* retHandle);
LNPUBLIC_API void* OSMemoryLock(MEMHANDLE Handle);
LNPUBLIC_API BOOL OSMemoryUnlock(MEMHANDLE Handle);
LNPUBLIC_API void OSMemoryFree(MEMHANDLE Handle);
LNPUBLIC_API DWORD OSMemoryGetSize(MEMHANDLE Handle);

NOTESAPI_END_DECLS

/* A block inside a locked pool; NULL when the pool handle is not valid (no offset is applied to
 * a null pointer). */
static inline char* OSLockBlockPointer(BLOCKID blockid) {
    char* base = (char*)OSLockObject(blockid.pool);
    return base ? base + blockid.block : NULL;
}
#define OSLockBlock(type, blockid) ((type*)OSLockBlockPointer(blockid))
#define OSUnlockBlock(blockid) OSUnlockObject((blockid).pool)
#define OSLock(type, handle) ((type*)OSLockObject(handle))
#define OSUnlock(handle) OSUnlockObject(handle)

#endif /* NOTESAPI_OSMEM_H */
