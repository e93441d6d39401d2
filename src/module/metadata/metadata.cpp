/*
 * Subfile metadata (slot 4): a note's items as (name, UTF-8 text) elements in the host's record, either
 * the names the host asks for, the default mail fields, or every item of the note; names beginning with
 * "$$$TM_" are values of the module's own.
 */
#include "metadata/metadata.h"

#include <stdio.h>
#include <string.h>

#include "entry/entry.h"
#include "log/log.h"
#include "log/trace.h"
#include "notesapi/notes.h"
#include "text/itemtext.h"

namespace {

const DWORD dwOpenFlags = 0x03000000;   /* OPEN_RAW_MIME */

/* The default mail fields: field name and item. Row 1 reads "PostedDate", or "ComposedDate" without it. */
struct MailField {
    const char *pszFieldName;
    const char *pszItemName;
};
const MailField rgMailFields[] = {
    {"From", "From"},       {"Sent", "PostedDate"}, {"To", "SendTo"},         {"Cc", "CopyTo"},
    {"Bcc", "BlindCopyTo"}, {"Subject", "Subject"}, {"Priority", "Importance"},
};

/* How the Notes runtime shows a body it cannot decrypt. */
const char szEncryptedByCertificate[] =
    "[Portions of this Notes document are encrypted with an Internet certificate and cannot be read.]";
const char szEncryptedMime[] = "[Portions of this MIME document are encrypted with a Notes certificate and cannot be read.]";

void *nsfHostAlloc(HostAllocatorRef *pAlloc, size_t cb)
{
    MemoryService *pAllocator = pAlloc->pAllocator;
    if (pAllocator == nullptr || pAllocator->fpMalloc == nullptr)
        return nullptr;
    return pAllocator->fpMalloc(pAllocator, cb);
}

void *nsfHostRealloc(HostAllocatorRef *pAlloc, void *pv, size_t cb)
{
    MemoryService *pAllocator = pAlloc->pAllocator;
    if (pAllocator == nullptr || pAllocator->fpRealloc == nullptr)
        return nullptr;
    return pAllocator->fpRealloc(pAllocator, pv, cb);
}

const char *nsfMetaNameTypeName(int32_t nType)
{
    return nType == TMMetaNameType_Integer ? "Integer" : nType == TMMetaNameType_String ? "String" : "Invalid";
}

bool nsfIsTMName(const char *pszName)
{
    return strncmp(pszName, NSF_TM_PREFIX, NSF_TM_PREFIX_LENGTH) == 0;
}

/* Sets rgbBuffer / ucbBuffer to pszText. */
NSFSTATUS nsfSetBufferText(NsfContext *pContext, const char *pszText)
{
    pContext->ucbBuffer = 0;
    uint32_t cb = (uint32_t)strlen(pszText);
    if (pContext->rgbBuffer == nullptr || cb + 1 > pContext->ucbBufferSize)
        return NSF_ERR_MEMORY;
    memcpy(pContext->rgbBuffer, pszText, cb + 1);
    pContext->ucbBuffer = cb;
    return NSF_OK;
}

/* The item name callback of NSFItemScan. */
STATUS LNCALLBACK nsfItemScanCB(WORD, WORD, char *pszName, WORD wNameLength, void *, DWORD, void *pParameter)
{
    static const char szFunc[] = "nsfItemScanCB";
    NsfContext *pContext = static_cast<NsfContext *>(pParameter);
    nsfRetAPI(pContext, szFunc, 0);

    nsfLogf(pContext, LOG_DIAG, szFunc, "wNameLength %u, pszName...", (unsigned)wNameLength);
    nsfLogDump(pContext, LOG_DIAG, reinterpret_cast<const uint8_t *>(pszName), wNameLength);
    if (nsfNewItemName(pContext) != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfNewItemName() failed");
    } else {
        char *pszTarget = pContext->rgItemNames[pContext->cItemNames];
        size_t cb = wNameLength < NSF_ITEM_NAME_SIZE - 1 ? wNameLength : NSF_ITEM_NAME_SIZE - 1;
        if (pszName != nullptr)
            memcpy(pszTarget, pszName, cb);
        else
            cb = 0;
        pszTarget[cb] = '\0';
        pContext->cItemNames++;
    }

    nsfCallAPI(pContext, szFunc, "NSFItemScan");
    return NOERROR;
}

void nsfLogMetadata(NsfContext *pContext, const char *pszFunction, const SubFileMetaData *pMeta)
{
    nsfLog(pContext, LOG_INFO, nullptr, "");
    nsfLog(pContext, LOG_INFO, pszFunction, "Returning SubFileMetaData...");
    nsfLogf(pContext, LOG_INFO, pszFunction, "nElem %d, infoFlag 0x%lx, ppElem...", pMeta->nElem,
            (unsigned long)pMeta->infoFlag);
    for (int32_t i = 0; i < pMeta->nElem && pMeta->ppElem != nullptr; i++) {
        const SubFileMetaElem *pElem = pMeta->ppElem[i];
        if (pElem == nullptr)
            continue;
        nsfLogf(pContext, LOG_INFO, pszFunction, "ppElem[%d] strType %s, isDataValid %d, dataSize %d 0x%x, data...", i,
                pElem->strType != nullptr ? pElem->strType : "NULL", pElem->isDataValid, pElem->dataSize,
                (unsigned)pElem->dataSize);
        if (pElem->data != nullptr && pElem->dataSize > 0)
            nsfLogDump(pContext, LOG_INFO, pElem->data, (uint32_t)pElem->dataSize);
    }
}

} // namespace

NSFSTATUS nsfNewItemName(NsfContext *pContext)
{
    static const char szFunc[] = "nsfNewItemName";
    if (pContext->rgItemNames == nullptr) {
        pContext->cItemNames = 0;
        pContext->cItemNamesMax = NSF_ITEM_NAMES_STEP;
        pContext->rgItemNames = static_cast<char **>(nsfMalloc(pContext, NSF_ITEM_NAMES_STEP * sizeof(char *)));
        if (pContext->rgItemNames == nullptr) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating item names array, cItemNamesMax %d",
                    pContext->cItemNamesMax);
            pContext->cItemNamesMax = 0;
            return NSF_ERR_MEMORY;
        }
        memset(pContext->rgItemNames, 0, NSF_ITEM_NAMES_STEP * sizeof(char *));
        nsfLogf(pContext, LOG_DIAG, szFunc, "cItemNamesMax %d", pContext->cItemNamesMax);
    } else if (pContext->cItemNames >= pContext->cItemNamesMax) {
        int32_t cWanted = 0;
        if (!nsfGrowTable(pContext, &pContext->rgItemNames, &pContext->cItemNamesMax, NSF_ITEM_NAMES_STEP, &cWanted)) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error re-allocating item names array, cItemNamesMax %d", cWanted);
            return NSF_ERR_MEMORY;
        }
        nsfLogf(pContext, LOG_DIAG, szFunc, "cItemNamesMax %d", pContext->cItemNamesMax);
    }

    char *&pszName = pContext->rgItemNames[pContext->cItemNames];
    if (pszName == nullptr) {
        pszName = static_cast<char *>(nsfMalloc(pContext, NSF_ITEM_NAME_SIZE));
        if (pszName == nullptr) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating item name, cItemNames %d", pContext->cItemNames);
            return NSF_ERR_MEMORY;
        }
    }
    memset(pszName, 0, NSF_ITEM_NAME_SIZE);
    return NSF_OK;
}

NSFSTATUS nsfGetNoteItemNames(NsfContext *pContext, uint32_t hNote)
{
    static const char szFunc[] = "nsfGetNoteItemNames";
    pContext->cItemNames = 0;
    return nsfCallNotes(pContext, szFunc, "NSFItemScan", [&] { return NSFItemScan(hNote, nsfItemScanCB, pContext); });
}

NSFSTATUS nsfNewMetadataElem(NsfContext *pContext, SubFileMetaData *pMeta, HostAllocatorRef *pAlloc)
{
    static const char szFunc[] = "nsfNewMetadataElem";
    SubFileMetaElem **ppNew = nullptr;
    if (pMeta->ppElem == nullptr) {
        pMeta->nElem = 0;
        ppNew = static_cast<SubFileMetaElem **>(nsfHostAlloc(pAlloc, sizeof(SubFileMetaElem *)));
    } else {
        int32_t cNew = 0;
        int32_t cb = 0;
        if (!__builtin_add_overflow(pMeta->nElem, 1, &cNew) &&
            !__builtin_mul_overflow(cNew, (int32_t)sizeof(SubFileMetaElem *), &cb))
            ppNew = static_cast<SubFileMetaElem **>(nsfHostRealloc(pAlloc, pMeta->ppElem, (size_t)cb));
    }
    if (ppNew == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating metadata array, cItemNames %d", pContext->cItemNames);
        return NSF_ERR_MEMORY;
    }
    pMeta->ppElem = ppNew;

    SubFileMetaElem *pElem = static_cast<SubFileMetaElem *>(nsfHostAlloc(pAlloc, sizeof(SubFileMetaElem)));
    if (pElem == nullptr) {
        nsfLog(pContext, LOG_ERROR, szFunc, "Error allocating metadata array element");
        return NSF_ERR_MEMORY;
    }
    memset(pElem, 0, sizeof *pElem);
    pMeta->ppElem[pMeta->nElem++] = pElem;
    return NSF_OK;
}

NSFSTATUS nsfGetTMMetadata(NsfContext *pContext, uint32_t dwNoteID, uint32_t hNote, const char *pszName)
{
    static const char szFunc[] = "nsfGetTMMetadata";
    char szValue[64];
    pContext->ucbBuffer = 0;
    if (pContext->rgbBuffer != nullptr)
        pContext->rgbBuffer[0] = 0;

    if (strcmp(pszName, "$$$TM_NoteOID") == 0 || strcmp(pszName, "$$$TM_UName") == 0) {
        ORIGINATORID oid;
        memset(&oid, 0, sizeof oid);
        nsfCallNotesUnjudged(pContext, szFunc, "NSFNoteGetInfo", [&] { NSFNoteGetInfo(hNote, _NOTE_OID, &oid); });
        snprintf(szValue, sizeof szValue, "%08X%08X%08X%08X", (unsigned)oid.File.Innards[1],
                 (unsigned)oid.File.Innards[0], (unsigned)oid.Note.Innards[1], (unsigned)oid.Note.Innards[0]);
        return nsfSetBufferText(pContext, szValue);
    }
    if (strcmp(pszName, "$$$TM_NoteID") == 0) {
        NOTEID dwID = 0;
        nsfCallNotesUnjudged(pContext, szFunc, "NSFNoteGetInfo", [&] { NSFNoteGetInfo(hNote, _NOTE_ID, &dwID); });
        snprintf(szValue, sizeof szValue, "%08X", (unsigned)dwID);
        return nsfSetBufferText(pContext, szValue);
    }
    if (strcmp(pszName, "$$$TM_Folders") == 0) {
        NSFSTATUS nStatus = nsfGetNoteFolders(pContext, dwNoteID, hNote);
        if (nStatus != NSF_OK)
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetNoteFolders() failed");
        return nStatus;
    }
    if (strcmp(pszName, "$$$TM_BodyIsEncrypted") == 0) {
        NSFSTATUS nStatus = nsfGetItemText(pContext, hNote, "Body");
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetItemValue() failed");
            return nStatus;
        }
        const char *pszBody = reinterpret_cast<const char *>(pContext->rgbBuffer);
        int bBodyIsEncrypted = strcmp(pszBody, szEncryptedByCertificate) == 0 || strcmp(pszBody, szEncryptedMime) == 0;
        nsfLogf(pContext, LOG_DIAG, szFunc, "bBodyIsEncrypted %d", bBodyIsEncrypted);
        snprintf(szValue, sizeof szValue, "%d", bBodyIsEncrypted);
        return nsfSetBufferText(pContext, szValue);
    }
    return NSF_OK;
}

NSFSTATUS nsfGetItemMetadata(NsfContext *pContext, uint32_t dwNoteID, uint32_t hNote, const char *pszItemName,
                             const char *pszFieldName, SubFileMetaData *pMeta, HostAllocatorRef *pAlloc)
{
    static const char szFunc[] = "nsfGetItemMetadata";
    NSFSTATUS nStatus = nsfNewMetadataElem(pContext, pMeta, pAlloc);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfNewMetadataElem() failed");
        return nStatus;
    }
    if (pszItemName == nullptr)
        return NSF_OK;
    SubFileMetaElem *pElem = pMeta->ppElem[pMeta->nElem - 1];

    const char *pszName = pszFieldName != nullptr ? pszFieldName : pszItemName;
    size_t cbName = strlen(pszName) + 1;
    pElem->strType = static_cast<char *>(nsfHostAlloc(pAlloc, cbName));
    if (pElem->strType == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating metadata array element name, pszFieldName %s", pszName);
        return NSF_ERR_MEMORY;
    }
    memcpy(pElem->strType, pszName, cbName);

    if (nsfIsTMName(pszItemName)) {
        nStatus = nsfGetTMMetadata(pContext, dwNoteID, hNote, pszItemName);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetTMMetadata() failed");
            return nStatus;
        }
    } else {
        nStatus = nsfGetItemText(pContext, hNote, pszItemName);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetItemValue() failed");
            return nStatus;
        }
    }

    if (pContext->ucbBuffer == 0)
        return NSF_OK;
    int32_t dataSize = 0;
    uint8_t *pbData = nullptr;
    if (!__builtin_add_overflow((int32_t)pContext->ucbBuffer, 1, &dataSize) && pContext->ucbBuffer <= 0x7FFFFFFFu)
        pbData = static_cast<uint8_t *>(nsfHostAlloc(pAlloc, (size_t)dataSize));
    if (pbData == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating metadata array element data, dataSize %d", dataSize);
        return NSF_ERR_MEMORY;
    }
    memcpy(pbData, pContext->rgbBuffer, pContext->ucbBuffer);
    pbData[pContext->ucbBuffer] = 0;
    pElem->data = pbData;
    pElem->dataSize = dataSize;
    pElem->nDataType = TM_META_DATA_TYPE_TEXT;
    pElem->isDataValid = 1;
    return NSF_OK;
}

NSFSTATUS nsfGetNoteMetadata(NsfContext *pContext, uint32_t dwNoteID, uint32_t hNote, int32_t cMetaNames,
                             MetaName **rgMetaNames, SubFileMetaData *pMeta, HostAllocatorRef *pAlloc)
{
    static const char szFunc[] = "nsfGetNoteMetadata";
    NSFSTATUS nStatus;

    if (rgMetaNames != nullptr) {
        for (int32_t i = 0; i < cMetaNames; i++) {
            const MetaName *pName = rgMetaNames[i];
            const char *pszName =
                pName != nullptr && pName->nType == TMMetaNameType_String ? pName->pszName : nullptr;
            nStatus = nsfGetItemMetadata(pContext, dwNoteID, hNote, pszName, nullptr, pMeta, pAlloc);
            if (nStatus != NSF_OK) {
                nsfLogf(pContext, LOG_WARNING, szFunc, "nsfGetItemMetadata() failed, pszItemName %s",
                        pszName != nullptr ? pszName : "NULL");
                return nStatus;
            }
        }
        return NSF_OK;
    }

    if (cMetaNames >= 0) {
        for (const MailField &field : rgMailFields) {
            const char *pszItemName = field.pszItemName;
            if (strcmp(pszItemName, "PostedDate") == 0) {
                STATUS wPresent = NOERROR;
                nStatus = nsfCallNotesUnjudged(pContext, szFunc, "NSFItemIsPresent", &wPresent, [&] {
                    return NSFItemInfo(hNote, "PostedDate", 10, nullptr, nullptr, nullptr, nullptr);
                });
                if (nStatus != NSF_OK)
                    return nStatus;
                if (wPresent != NOERROR)
                    pszItemName = "ComposedDate";
            }
            nStatus = nsfGetItemMetadata(pContext, dwNoteID, hNote, pszItemName, field.pszFieldName, pMeta, pAlloc);
            if (nStatus != NSF_OK) {
                nsfLogf(pContext, LOG_WARNING, szFunc, "nsfGetItemMetadata() failed, pszItemName %s, pesFieldName %s",
                        pszItemName, field.pszFieldName);
                return nStatus;
            }
        }
        return NSF_OK;
    }

    nStatus = nsfGetNoteItemNames(pContext, hNote);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetNoteItemNames() failed");
        return nStatus;
    }
    for (int32_t i = 0; i < pContext->cItemNames; i++) {
        /* nsfGetItemText does not touch the name list, so the name can be used in place */
        const char *pszItemName = pContext->rgItemNames[i];
        nStatus = nsfGetItemMetadata(pContext, dwNoteID, hNote, pszItemName, nullptr, pMeta, pAlloc);
        if (nStatus != NSF_OK) {
            nsfLogf(pContext, LOG_WARNING, szFunc, "nsfGetItemMetadata() failed, pszItemName %s", pszItemName);
            return nStatus;
        }
    }
    return NSF_OK;
}

int32_t nsfGetSubFileMetadata(void *pvContext, int32_t nIndex, int32_t cMetaNames, MetaName **rgMetaNames,
                              SubFileMetaData *pMeta, HostAllocatorRef *pAlloc)
{
    static const char szFunc[] = "nsfGetSubFileMetadata";
    if (pvContext == nullptr || pMeta == nullptr || pAlloc == nullptr)
        return NSF_ERR_ARGUMENT;
    NsfContext *pContext = static_cast<NsfContext *>(pvContext);
    pContext->nIndex = nIndex;
    nsfLog(pContext, LOG_INFO, nullptr, "");
    nsfLogf(pContext, LOG_INFO, szFunc, "nIndex %d 0x%X", nIndex, (unsigned)nIndex);

    if (nIndex < 0 || nIndex >= pContext->cSubFiles) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Invalid nIndex %d, cSubFiles %d", nIndex, pContext->cSubFiles);
        return NSF_ERR_ARGUMENT;
    }
    SubFile *pSubFile = pContext->rgSubFiles != nullptr ? pContext->rgSubFiles[nIndex] : nullptr;
    if (pSubFile == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "No subfile, nIndex %d", nIndex);
        return NSF_ERR_FAILED;
    }
    if (pSubFile->nSubFileType != TMSubFileType_Main) {
        nsfLog(pContext, LOG_INFO, szFunc, "Subfile is not a note (no metadata)");
        return NSF_OK;
    }

    nsfLogf(pContext, LOG_INFO, szFunc, "cMetaNames %d, rgMetaNames 0x%lx", cMetaNames,
            (unsigned long)(uintptr_t)rgMetaNames);
    if (rgMetaNames != nullptr) {
        nsfLog(pContext, LOG_INFO, szFunc, "rgMetaNames...");
        for (int32_t i = 0; i < cMetaNames; i++) {
            const MetaName *pName = rgMetaNames[i];
            int32_t nType = pName != nullptr ? pName->nType : -1;
            const char *pszName = nType == TMMetaNameType_String && pName->pszName != nullptr ? pName->pszName : "Invalid";
            nsfLogf(pContext, LOG_INFO, szFunc, "rgMetaNameArray[%d] type %d (TMMetaNameType_%s), name %s", i, nType,
                    nsfMetaNameTypeName(nType), pszName);
        }
    }

    uint32_t dwNoteID = pSubFile->dwNoteID;
    NOTEHANDLE hNote = NULLHANDLE;
    NSFSTATUS nStatus = nsfCallNotes(pContext, szFunc, "NSFNoteOpenExt",
                                     [&] { return NSFNoteOpenExt(pContext->hDb, dwNoteID, dwOpenFlags, &hNote); });
    if (nStatus != NSF_OK)
        return nStatus;
    nStatus = nsfCallNotes(pContext, szFunc, "NSFNoteDecrypt", [&] { return NSFNoteDecrypt(hNote, 0, nullptr); });
    if (nStatus == NSF_OK) {
        nStatus = nsfGetNoteMetadata(pContext, dwNoteID, hNote, cMetaNames, rgMetaNames, pMeta, pAlloc);
        if (nStatus != NSF_OK)
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetNoteMetadata() failed");
        else
            nsfLogMetadata(pContext, szFunc, pMeta);
    }
    nsfCallNotes(pContext, szFunc, "NSFNoteClose", [&] { return NSFNoteClose(hNote); });
    return nStatus;
}
