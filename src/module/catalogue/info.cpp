/*
 * Container and subfile descriptions (slots 2 and 3). The subfile table is flat; the tree the host sees
 * comes from its order: a note's attachments follow it directly, and the optional root folder (subfile 0)
 * holds every note.
 */
#include "catalogue/info.h"

#include <stdio.h>
#include <string.h>

#include "catalogue/subfiles.h"
#include "entry/entry.h"
#include "log/log.h"

namespace {

/* Memory from the allocator the host passed into the call; null when it has none or refuses. */
void *nsfHostAlloc(HostAllocatorRef *pAlloc, int32_t cb)
{
    MemoryService *pAllocator = pAlloc->pAllocator;
    if (pAllocator == nullptr || pAllocator->fpMalloc == nullptr || cb < 0)
        return nullptr;
    return pAllocator->fpMalloc(pAllocator, static_cast<size_t>(cb));
}

SubFile *nsfSubFileAt(NsfContext *pContext, int32_t n)
{
    return n >= 0 && n < pContext->cSubFiles && pContext->rgSubFiles != nullptr ? pContext->rgSubFiles[n] : nullptr;
}

/* Allocates childArray for childCount entries; on failure childCount is 0 and the status 2. */
NSFSTATUS nsfAllocChildArray(NsfContext *pContext, const char *pszFunction, SubFileInfo *pInfo,
                             HostAllocatorRef *pAlloc)
{
    int32_t cb = 0;
    int32_t *rgChildren = nullptr;
    if (!__builtin_mul_overflow(pInfo->childCount, (int32_t)sizeof(int32_t), &cb))
        rgChildren = static_cast<int32_t *>(nsfHostAlloc(pAlloc, cb));
    if (rgChildren == nullptr) {
        nsfLogf(pContext, LOG_ERROR, pszFunction, "Error allocating child array, SubFileInfo.childCount %d",
                pInfo->childCount);
        pInfo->childCount = 0;
        return NSF_ERR_MEMORY;
    }
    pInfo->childArray = rgChildren;
    return NSF_OK;
}

/* A copy of pszName (cbName bytes) from the host's allocator into subFileName. */
bool nsfSetSubFileName(HostAllocatorRef *pAlloc, SubFileInfo *pInfo, const char *pszName, int32_t cbName)
{
    int32_t cbAlloc = 0;
    char *pszCopy = nullptr;
    if (cbName >= 0 && !__builtin_add_overflow(cbName, 1, &cbAlloc))
        pszCopy = static_cast<char *>(nsfHostAlloc(pAlloc, cbAlloc));
    if (pszCopy == nullptr)
        return false;
    memcpy(pszCopy, pszName, static_cast<size_t>(cbName));
    pszCopy[cbName] = '\0';
    pInfo->subFileName = pszCopy;
    return true;
}

} // namespace

const char *nsfSubFileTypeName(int32_t nSubFileType)
{
    switch (nSubFileType) {
    case TMSubFileType_Main: return "Main";
    case TMSubFileType_Attachment: return "Attachment";
    case TMSubFileType_OLE: return "OLE";
    case TMSubFileType_Folder: return "Folder";
    case TMSubFileType_Picture: return "Picture";
    default: return "Unknown";
    }
}

int32_t nsfGetContainerInfo(void *pvContext, MainFileInfo *pInfo, void *pHost)
{
    static const char szFunc[] = "nsfGetContainerInfo";
    if (pvContext == nullptr || pInfo == nullptr || pHost == nullptr)
        return NSF_ERR_ARGUMENT;
    NsfContext *pContext = static_cast<NsfContext *>(pvContext);

    nsfLog(pContext, LOG_INFO, nullptr, "");
    nsfLogf(pContext, LOG_INFO, szFunc, "MainFileInfo.docInfo.eClass %d, eFormat %d", pInfo->eClass, pInfo->eFormat);
    if (pContext->cSubFiles < 1) {
        NSFSTATUS nStatus = nsfInitSubfiles(pContext);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfInitSubfiles() failed");
            return nStatus;
        }
    }

    pInfo->numSubFiles = pContext->cSubFiles;
    pInfo->charset = TM_CHARSET_UTF8;
    nsfLog(pContext, LOG_INFO, nullptr, "");
    nsfLog(pContext, LOG_INFO, szFunc, "Returning MainFileInfo...");
    nsfLogf(pContext, LOG_INFO, szFunc, "numSubFiles %d, charset %d, isMSBLSB %d, infoFlag 0x%lx", pInfo->numSubFiles,
            pInfo->charset, pInfo->isMSBLSB, (unsigned long)pInfo->infoFlag);
    return NSF_OK;
}

NSFSTATUS nsfGetMainFileInfo(NsfContext *pContext, SubFile *pSubFile, SubFileInfo *pInfo, HostAllocatorRef *pAlloc)
{
    static const char szFunc[] = "nsfGetMainFileInfo";
    pInfo->infoFlag &= ~TMSubFileInfoFlag_NeedsExtraction;
    pInfo->parentIndex = (pContext->dwFlags & CNVO_CREATEROOTDIR) != 0 ? 0 : -1;

    /* The attachments: every record up to the next note. */
    int32_t cChildren = 0;
    for (int32_t n = pSubFile->nSubFile + 1; n < pContext->cSubFiles; n++) {
        SubFile *pNext = nsfSubFileAt(pContext, n);
        if (pNext == nullptr)
            continue;
        if (pNext->nSubFileType == TMSubFileType_Main)
            break;
        cChildren++;
    }
    if (cChildren > 0) {
        pInfo->childCount += cChildren;
        NSFSTATUS nStatus = nsfAllocChildArray(pContext, szFunc, pInfo, pAlloc);
        if (nStatus != NSF_OK)
            return nStatus;
        for (int32_t i = 0; i < pInfo->childCount; i++)
            pInfo->childArray[i] = pSubFile->nSubFile + 1 + i;
    }

    if (pContext->szFileName8[0] != '\0') {
        char szFileName[NSF_FILENAME8_SIZE + 32];
        const char *pszExtension = pContext->bExportDXL ? ".dxl" : pSubFile->bNoteIsMail ? ".mail" : ".tmp";
        int cch = snprintf(szFileName, sizeof szFileName, "%s_tm%d%s", pContext->szFileName8, pSubFile->nSubFile,
                           pszExtension);
        if (!nsfSetSubFileName(pAlloc, pInfo, szFileName, cch)) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating file name, strlen(szFileName) %d", cch);
            return NSF_ERR_MEMORY;
        }
    }
    memcpy(pInfo->fileTime, pSubFile->fileTime, sizeof pInfo->fileTime);
    return NSF_OK;
}

NSFSTATUS nsfGetAttachInfo(NsfContext *pContext, SubFile *pSubFile, SubFileInfo *pInfo, HostAllocatorRef *pAlloc)
{
    static const char szFunc[] = "nsfGetAttachInfo";
    for (int32_t n = pSubFile->nSubFile; n >= 0; n--) {
        SubFile *pNote = nsfSubFileAt(pContext, n);
        if (pNote != nullptr && pNote->nSubFileType == TMSubFileType_Main) {
            pInfo->parentIndex = n;
            pSubFile->dwNoteID = pNote->dwNoteID;
            break;
        }
    }
    if (pSubFile->pbFileName != nullptr &&
        !nsfSetSubFileName(pAlloc, pInfo, reinterpret_cast<const char *>(pSubFile->pbFileName), pSubFile->cbFileName)) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating file name, cbFileName %d", pSubFile->cbFileName);
        return NSF_ERR_MEMORY;
    }
    memcpy(pInfo->fileTime, pSubFile->fileTime, sizeof pInfo->fileTime);
    return NSF_OK;
}

NSFSTATUS nsfGetFolderInfo(NsfContext *pContext, SubFile *pSubFile, SubFileInfo *pInfo, HostAllocatorRef *pAlloc)
{
    static const char szFunc[] = "nsfGetFolderInfo";
    pInfo->infoFlag &= ~TMSubFileInfoFlag_NeedsExtraction;
    pInfo->parentIndex = -1;

    /* The notes up to the next folder record; attachments belong to their notes. */
    int32_t nEnd = pSubFile->nSubFile + 1;
    int32_t cNotes = 0;
    for (; nEnd < pContext->cSubFiles; nEnd++) {
        SubFile *pNext = nsfSubFileAt(pContext, nEnd);
        if (pNext == nullptr)
            continue;
        if (pNext->nSubFileType == TMSubFileType_Folder)
            break;
        if (pNext->nSubFileType == TMSubFileType_Main)
            cNotes++;
    }
    if (cNotes == 0)
        return NSF_OK;
    pInfo->childCount += cNotes;
    NSFSTATUS nStatus = nsfAllocChildArray(pContext, szFunc, pInfo, pAlloc);
    if (nStatus != NSF_OK)
        return nStatus;
    int32_t iChild = 0;
    for (int32_t n = pSubFile->nSubFile + 1; n < nEnd && iChild < pInfo->childCount; n++) {
        SubFile *pNext = nsfSubFileAt(pContext, n);
        if (pNext != nullptr && pNext->nSubFileType == TMSubFileType_Main)
            pInfo->childArray[iChild++] = n;
    }
    for (; iChild < pInfo->childCount; iChild++)
        pInfo->childArray[iChild] = 0;
    return NSF_OK;
}

int32_t nsfGetSubFileInfo(void *pvContext, int32_t nIndex, SubFileInfo *pInfo, HostAllocatorRef *pAlloc)
{
    static const char szFunc[] = "nsfGetSubFileInfo";
    if (pvContext == nullptr || pInfo == nullptr || pAlloc == nullptr)
        return NSF_ERR_ARGUMENT;
    NsfContext *pContext = static_cast<NsfContext *>(pvContext);

    pContext->nIndex = nIndex;
    nsfLog(pContext, LOG_INFO, nullptr, "");
    nsfLogf(pContext, LOG_INFO, szFunc, "nIndex %d 0x%X", nIndex, (unsigned)nIndex);
    if (nIndex < 0 || nIndex >= pContext->cSubFiles) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Invalid nIndex %d, cSubFiles %d", nIndex, pContext->cSubFiles);
        return NSF_ERR_ARGUMENT;
    }
    SubFile *pSubFile = nsfSubFileAt(pContext, nIndex);
    if (pSubFile == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "No subfile, nIndex %d", nIndex);
        return NSF_ERR_FAILED;
    }

    pInfo->subFileType = pSubFile->nSubFileType;
    pInfo->charset = TM_CHARSET_UTF8;
    nsfLogf(pContext, LOG_DIAG, szFunc, "SubFile.dwNoteID %ld", (long)pSubFile->dwNoteID);

    NSFSTATUS nStatus;
    switch (pSubFile->nSubFileType) {
    case TMSubFileType_Main:
        nStatus = nsfGetMainFileInfo(pContext, pSubFile, pInfo, pAlloc);
        if (nStatus != NSF_OK)
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetMainFileInfo() failed");
        break;
    case TMSubFileType_Attachment:
    case TMSubFileType_OLE:
        nStatus = nsfGetAttachInfo(pContext, pSubFile, pInfo, pAlloc);
        if (nStatus != NSF_OK)
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetAttachInfo() failed");
        break;
    case TMSubFileType_Folder:
        nStatus = nsfGetFolderInfo(pContext, pSubFile, pInfo, pAlloc);
        if (nStatus != NSF_OK)
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetFolderInfo() failed");
        break;
    default:
        nsfLogf(pContext, LOG_ERROR, szFunc, "Invalid nSubFileType %d", pSubFile->nSubFileType);
        nStatus = NSF_ERR_FAILED;
        break;
    }
    if (nStatus != NSF_OK)
        return nStatus;

    nsfLog(pContext, LOG_INFO, nullptr, "");
    nsfLog(pContext, LOG_INFO, szFunc, "Returning SubFileInfo...");
    nsfLogValue(pContext, LOG_INFO, szFunc, "subFileName...", pInfo->subFileName != nullptr ? pInfo->subFileName : "");
    nsfLogf(pContext, LOG_INFO, szFunc, "subFileType %d (TMSubFileType_%s), subFileSize %ld", pInfo->subFileType,
            nsfSubFileTypeName(pInfo->subFileType), (long)pInfo->subFileSize);
    nsfLogf(pContext, LOG_INFO, szFunc, "infoFlag 0x%lx, TMSubFileInfoFlag_NeedsExtraction %d",
            (unsigned long)pInfo->infoFlag, (pInfo->infoFlag & TMSubFileInfoFlag_NeedsExtraction) != 0 ? 1 : 0);
    nsfLogf(pContext, LOG_INFO, szFunc, "charset %d, isMSBLSB %d, fileTime...", pInfo->charset, pInfo->isMSBLSB);
    nsfLogDump(pContext, LOG_INFO, pInfo->fileTime, sizeof pInfo->fileTime);
    nsfLogf(pContext, LOG_INFO, szFunc, "parentIndex %d, childCount %d, childArray[]...", pInfo->parentIndex,
            pInfo->childCount);
    for (int32_t i = 0; i < pInfo->childCount && pInfo->childArray != nullptr; i++)
        nsfLogf(pContext, LOG_INFO, szFunc, "childArray[%d] %d", i, pInfo->childArray[i]);
    return NSF_OK;
}
