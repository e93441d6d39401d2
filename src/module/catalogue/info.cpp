/*
 * Container and subfile descriptions (slots 2 and 3). Not written yet: the arguments are checked and
 * nothing is described.
 */
#include "entry/entry.h"

int32_t nsfGetContainerInfo(void *pContext, MainFileInfo *pInfo, void *pHost)
{
    if (pContext == nullptr || pInfo == nullptr || pHost == nullptr)
        return NSF_ERR_ARGUMENT;
    return NSF_OK;
}

int32_t nsfGetSubFileInfo(void *pContext, int32_t nIndex, SubFileInfo *pInfo, HostAllocatorRef *pAlloc)
{
    if (pContext == nullptr || pInfo == nullptr || pAlloc == nullptr)
        return NSF_ERR_ARGUMENT;
    NsfContext *pCtx = static_cast<NsfContext *>(pContext);
    if (nIndex < 0 || nIndex >= pCtx->cSubFiles)
        return NSF_ERR_ARGUMENT;
    return NSF_OK;
}
