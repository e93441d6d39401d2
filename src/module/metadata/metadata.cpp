/*
 * Subfile metadata (slot 4). Not written yet: the arguments are checked and no element is given.
 */
#include "entry/entry.h"

int32_t nsfGetSubFileMetadata(void *pContext, int32_t nIndex, int32_t, MetaName **, SubFileMetaData *pMeta,
                              HostAllocatorRef *pAlloc)
{
    if (pContext == nullptr || pMeta == nullptr || pAlloc == nullptr)
        return NSF_ERR_ARGUMENT;
    NsfContext *pCtx = static_cast<NsfContext *>(pContext);
    if (nIndex < 0 || nIndex >= pCtx->cSubFiles)
        return NSF_ERR_ARGUMENT;
    return NSF_OK;
}
