/*
 * The operation table of the module and the operations behind its slots.
 *
 * The host obtains the table from nsfGetContainerReaderInterfaceEx, the only symbol libnsfrex.so exports,
 * and drives one container per context: open (slot 0), information, metadata and extraction calls
 * (slots 2 to 5 and 7) and close (slot 1). Slot 6 belongs to the host.
 */
#ifndef NSFREX_MODULE_ENTRY_ENTRY_H
#define NSFREX_MODULE_ENTRY_ENTRY_H

#include <stddef.h>
#include <stdint.h>

#include "nsfrex/host.h"
#include "entry/context.h"

#define NSFREX_EXPORT __attribute__((visibility("default")))

extern "C" NSFREX_EXPORT ContainerReaderInterface *nsfGetContainerReaderInterfaceEx(ContainerReaderInterface *pTable);

/* Slot 0: open the container. Returns the context whenever it was allocated; *pnStatus gets the status. */
void *nsfInit(IOobj64 *pIO, ZAPI *pZAPI, uint32_t dwFlags, uint32_t dwReserved, CredentialList *pCreds,
              int32_t *pnStatus);
/* Slot 1: close the container and free the context; a null context is ignored. */
void nsfShutdown(void *pContext);
/* Slot 2: the container's description. */
int32_t nsfGetContainerInfo(void *pContext, MainFileInfo *pInfo, void *pHost);
/* Slot 3: one subfile's description. */
int32_t nsfGetSubFileInfo(void *pContext, int32_t nIndex, SubFileInfo *pInfo, HostAllocatorRef *pAlloc);
/* Slot 4: one subfile's metadata. */
int32_t nsfGetSubFileMetadata(void *pContext, int32_t nIndex, int32_t cMetaNames, MetaName **rgMetaNames,
                              SubFileMetaData *pMeta, HostAllocatorRef *pAlloc);
/* Slot 5: one subfile to a host stream. */
int32_t nsfExtractSubFileToIOobj(void *pContext, int32_t nIndex, IOobj64 *pIO, SubFileExtractInfo *pExtract,
                                 void *pHost, uint32_t nFlag);
/* Slot 7: a note with its attachments to a host stream. */
int32_t nsfExtractSubFileToIOobjEx(void *pContext, int32_t nIndex, IOobj64 *pIO, SubFileExtractInfo *pExtract,
                                   void *pHost, ExtraSubFileInfo *pExtra);

/* Writes the module's operations into slots 0 to 5 and 7 of the host's table. */
void nsfFillReaderInterface(ContainerReaderInterface *pTable);

/* Up to 8 characters of the database file's base name (see nsfInit), NUL-terminated in szFileName8. */
void nsfGetFileName8(const char *pszPath, char szFileName8[NSF_FILENAME8_SIZE]);

/* The credential open uses: the first of those with the most readable bodies; -1 when there is none. */
int32_t nsfChooseCred(const NsfContext *pContext);

/* The host allocator of a context. */
void *nsfMalloc(NsfContext *pContext, size_t cb);
void nsfFree(NsfContext *pContext, void *pv);

/* Grows a context table of record pointers by cStep entries through the host's fpRealloc; the new
   entries are null. Counts and byte sizes use checked signed 32-bit arithmetic, an overflow failing
   like the allocation. On failure the table is unchanged and *pcWanted holds the size asked for (the
   old size when it overflowed), for the caller's message. */
template <typename T>
bool nsfGrowTable(NsfContext *pContext, T ***prgTable, int32_t *pcMax, int32_t cStep, int32_t *pcWanted)
{
    MemoryService *pService = nsfMemoryService(pContext);
    int32_t cMax = 0, cb = 0;
    bool bOverflow = __builtin_add_overflow(*pcMax, cStep, &cMax) ||
                     __builtin_mul_overflow(cMax, (int32_t)sizeof(T *), &cb);
    *pcWanted = bOverflow ? *pcMax : cMax;
    T **rgNew = nullptr;
    if (!bOverflow && pService->fpRealloc != nullptr)
        rgNew = static_cast<T **>(pService->fpRealloc(pService, *prgTable, (size_t)cb));
    if (rgNew == nullptr)
        return false;
    for (int32_t i = *pcMax; i < cMax; i++)
        rgNew[i] = nullptr;
    *prgTable = rgNew;
    *pcMax = cMax;
    return true;
}

#endif /* NSFREX_MODULE_ENTRY_ENTRY_H */
