/*
 * Extraction (slots 5 and 7). Not written yet: the arguments are checked and nothing is written.
 */
#include "entry/entry.h"

int32_t nsfExtractSubFileToIOobj(void *pContext, int32_t nIndex, IOobj64 *pIO, SubFileExtractInfo *pExtract,
                                 void *pHost, uint32_t)
{
    if (pContext == nullptr || pIO == nullptr || pExtract == nullptr || pHost == nullptr)
        return NSF_ERR_ARGUMENT;
    NsfContext *pCtx = static_cast<NsfContext *>(pContext);
    if (nIndex < 0 || nIndex >= pCtx->cSubFiles)
        return NSF_ERR_ARGUMENT;
    return NSF_OK;
}

int32_t nsfExtractSubFileToIOobjEx(void *pContext, int32_t, IOobj64 *pIO, SubFileExtractInfo *pExtract,
                                   void *pHost, ExtraSubFileInfo *pExtra)
{
    if (pContext == nullptr || pIO == nullptr || pExtract == nullptr || pHost == nullptr || pExtra == nullptr)
        return NSF_ERR_ARGUMENT;
    return NSF_OK;
}
