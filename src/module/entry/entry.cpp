/*
 * The entry point, the operation table, and opening and closing a container.
 */
#include "entry/entry.h"

#include <string.h>

#include "catalogue/subfiles.h"
#include "entry/options.h"
#include "entry/tempdir.h"
#include "log/log.h"
#include "log/trace.h"
#include "notes/database.h"
#include "notes/runtime.h"
#include "notesapi/notes.h"

namespace {

const uint32_t TM_IO_MAX_PATH = 8192;   /* the host's longest path; first size of the main buffer */

bool nsfIsSeparator(char ch)
{
    return ch == '\\' || ch == '/';
}

/* Steps 6 to 13 of open, after the context exists and the log is running. */
NSFSTATUS nsfOpenContainer(NsfContext *pContext, IOobj64 *pIO, uint32_t dwFlags, const CredentialList *pCredList)
{
    static const char szFunc[] = "nsfInit";
    NSFSTATUS nStatus;

    pContext->dwFlags = dwFlags;
    nsfLogf(pContext, LOG_INFO, szFunc, "dwFlags 0x%lx, CNVO_CREATEROOTDIR %d, CNVO_SHOWHIDDENTEXT %d",
            (unsigned long)dwFlags, (dwFlags & CNVO_CREATEROOTDIR) ? 1 : 0, (dwFlags & CNVO_SHOWHIDDENTEXT) ? 1 : 0);

    nsfInitOptions(pContext);

    pContext->ucbBufferSize = TM_IO_MAX_PATH;
    pContext->rgbBuffer = static_cast<uint8_t *>(nsfMalloc(pContext, pContext->ucbBufferSize + 16));
    if (pContext->rgbBuffer == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating main buffer, ucbBufferSize %u (TM_IO_MAX_PATH %u)",
                pContext->ucbBufferSize, TM_IO_MAX_PATH);
        pContext->ucbBufferSize = 0;
        return NSF_ERR_MEMORY;
    }
    nsfLogf(pContext, LOG_DIAG, szFunc, "Allocated main buffer, ucbBufferSize %u", pContext->ucbBufferSize);

    const char *pszPath = pIO->pFileName;
    if (pszPath == nullptr) {
        nsfLog(pContext, LOG_ERROR, szFunc, "No input file path");
        return NSF_ERR_INIT;
    }

    nsfGetFileName8(pszPath, pContext->szFileName8);
    nsfLogf(pContext, LOG_INFO, szFunc, "szFileName8 %s", pContext->szFileName8);

    /* The database is read through the Notes runtime by its path, never through the host stream; the
       stream is only opened (when the host has not done so) and closed again. */
    if (pIO->twCloseFunc == nullptr) {
        if (pIO->twOpenFunc == nullptr || pIO->twOpenFunc(pIO) == 0) {
            nsfLog(pContext, LOG_ERROR, szFunc, "IOobj64.twOpenFunc() failed");
            return NSF_ERR_OPEN;
        }
        if (pIO->twCloseFunc == nullptr) {
            nsfLog(pContext, LOG_ERROR, szFunc, "IOobj64.twCloseFunc() null");
            return NSF_ERR_OPEN;
        }
    }
    pIO->twCloseFunc(pIO);
    pContext->pIOobj = pIO;

    nStatus = nsfInitNotes(pContext);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfInitNotes() failed");
        return nStatus;
    }

    const Cred *pCred = nullptr;
    if (pCredList != nullptr) {
        nStatus = nsfSaveUserIdFile(pContext);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfSaveUserIdFile() failed");
            return nStatus;
        }
        nStatus = nsfInitCreds(pContext, pCredList);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfInitCreds() failed");
            return nStatus;
        }
        if (pContext->cCreds >= 2) {
            for (int32_t iCred = 0; iCred < pContext->cCreds; iCred++) {
                nsfLogf(pContext, LOG_INFO, szFunc, "Testing credential # %d of %d", iCred + 1, pContext->cCreds);
                if (nsfTestCreds(pContext, pszPath, &pContext->rgCreds[iCred]) != NSF_OK)
                    nsfLog(pContext, LOG_WARNING, szFunc, "nsfTestCreds() failed");
            }
            int32_t iChosen = nsfChooseCred(pContext);
            nsfLogf(pContext, LOG_INFO, szFunc, "Using credential # %d of %d", iChosen + 1, pContext->cCreds);
            pCred = &pContext->rgCreds[iChosen];
        } else if (pContext->cCreds == 1) {
            pCred = &pContext->rgCreds[0];
        }
    }

    nStatus = nsfOpenDatabase(pContext, pszPath, pCred != nullptr ? pCred->pszUserIdFile : nullptr,
                              pCred != nullptr ? pCred->pszPassword : nullptr);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfOpenDatabase() failed");
        return nStatus;
    }

    nStatus = nsfInitSubfiles(pContext);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfInitSubfiles() failed");
        return nStatus;
    }
    return NSF_OK;
}

/* Every table of the context, each record and string in it, and the work buffers. */
void nsfFreeTables(NsfContext *pContext)
{
    if (pContext->rgCreds != nullptr) {
        for (int32_t i = 0; i < pContext->cCreds; i++) {
            nsfFree(pContext, pContext->rgCreds[i].pszUserIdFile);
            nsfFree(pContext, pContext->rgCreds[i].pszPassword);
        }
        nsfFree(pContext, pContext->rgCreds);
        pContext->rgCreds = nullptr;
        pContext->cCreds = 0;
    }

    if (pContext->rgSubFiles != nullptr) {
        for (int32_t i = 0; i < pContext->cSubFilesMax; i++) {
            SubFile *pSubFile = pContext->rgSubFiles[i];
            if (pSubFile == nullptr)
                continue;
            nsfFree(pContext, pSubFile->rgbOrigFileName);
            nsfFree(pContext, pSubFile->pbFileName);
            nsfFree(pContext, pSubFile);
        }
        nsfFree(pContext, pContext->rgSubFiles);
        pContext->rgSubFiles = nullptr;
    }
    pContext->cSubFiles = pContext->cSubFilesMax = 0;

    if (pContext->rgImages != nullptr) {
        for (int32_t i = 0; i < pContext->cImagesMax; i++) {
            Image *pImage = pContext->rgImages[i];
            if (pImage == nullptr)
                continue;
            nsfFree(pContext, pImage->rgbData);
            nsfFree(pContext, pImage);
        }
        nsfFree(pContext, pContext->rgImages);
        pContext->rgImages = nullptr;
    }
    pContext->cImages = pContext->cImagesMax = 0;
    pContext->pImageWork = nullptr;

    if (pContext->rgItemNames != nullptr) {
        for (int32_t i = 0; i < pContext->cItemNamesMax; i++)
            nsfFree(pContext, pContext->rgItemNames[i]);
        nsfFree(pContext, pContext->rgItemNames);
        pContext->rgItemNames = nullptr;
    }
    pContext->cItemNames = pContext->cItemNamesMax = 0;

    if (pContext->rgFolders != nullptr) {
        for (int32_t i = 0; i < pContext->cFoldersMax; i++)
            nsfFree(pContext, pContext->rgFolders[i]);
        nsfFree(pContext, pContext->rgFolders);
        pContext->rgFolders = nullptr;
    }
    pContext->cFolders = pContext->cFoldersMax = 0;

    nsfFree(pContext, pContext->rgbBuffer);
    pContext->rgbBuffer = nullptr;
    nsfFree(pContext, pContext->rgbBuffer2);
    pContext->rgbBuffer2 = nullptr;
    nsfFree(pContext, pContext->rgbBuffer3);
    pContext->rgbBuffer3 = nullptr;
    pContext->ucbBuffer = pContext->ucbBufferSize = 0;
    pContext->ucbBuffer2 = pContext->ucbBuffer2Size = 0;
    pContext->ucbBuffer3 = pContext->ucbBuffer3Size = 0;
}

} // namespace

void *nsfMalloc(NsfContext *pContext, size_t cb)
{
    MemoryService *pService = nsfMemoryService(pContext);
    if (pService->fpMalloc == nullptr)
        return nullptr;
    return pService->fpMalloc(pService, cb);
}

void nsfFree(NsfContext *pContext, void *pv)
{
    MemoryService *pService = nsfMemoryService(pContext);
    if (pv != nullptr && pService->fpFree != nullptr)
        pService->fpFree(pService, pv);
}

void nsfGetFileName8(const char *pszPath, char szFileName8[NSF_FILENAME8_SIZE])
{
    szFileName8[0] = '\0';
    if (pszPath == nullptr)
        return;
    const char *pchDot = strchr(pszPath, '.');
    const char *pchStart = pchDot != nullptr ? pchDot : pszPath + strlen(pszPath);
    while (pchStart > pszPath && !nsfIsSeparator(pchStart[-1]))
        pchStart--;
    size_t cch = strnlen(pchStart, NSF_FILENAME8_SIZE - 1);
    memcpy(szFileName8, pchStart, cch);
    szFileName8[cch] = '\0';
    char *pchCut = strchr(szFileName8, '.');
    if (pchCut != nullptr)
        *pchCut = '\0';
}

int32_t nsfChooseCred(const NsfContext *pContext)
{
    if (pContext->rgCreds == nullptr || pContext->cCreds <= 0)
        return -1;
    int32_t cBodyBest = 0;
    for (int32_t i = 0; i < pContext->cCreds; i++)
        if (pContext->rgCreds[i].cBody > cBodyBest)
            cBodyBest = pContext->rgCreds[i].cBody;
    for (int32_t i = 0; i < pContext->cCreds; i++)
        if (pContext->rgCreds[i].cBody == cBodyBest)
            return i;
    return 0;
}

void *nsfInit(IOobj64 *pIO, ZAPI *pZAPI, uint32_t dwFlags, uint32_t, CredentialList *pCreds, int32_t *pnStatus)
{
    if (pIO == nullptr || pZAPI == nullptr) {
        if (pnStatus != nullptr)
            *pnStatus = NSF_ERR_ARGUMENT;
        return nullptr;
    }
    if (pnStatus == nullptr)
        return nullptr;

    MemoryService *pService = &pZAPI->memoryService;
    NsfContext *pContext =
        pService->fpMalloc != nullptr ? static_cast<NsfContext *>(pService->fpMalloc(pService, sizeof(NsfContext)))
                                      : nullptr;
    if (pContext == nullptr) {
        *pnStatus = NSF_ERR_MEMORY;
        return nullptr;
    }
    memset(pContext, 0, sizeof *pContext);
    pContext->pZAPI = pZAPI;

    nsfLogOpen(pContext);
    nsfLog(pContext, LOG_INFO, nullptr, "");
    nsfLogValue(pContext, LOG_INFO, "nsfInit", "IOobj64.pFileName...", pIO->pFileName);

    *pnStatus = nsfOpenContainer(pContext, pIO, dwFlags, pCreds);
    return pContext;
}

void nsfShutdown(void *pvContext)
{
    static const char szFunc[] = "nsfShutdown";
    NsfContext *pContext = static_cast<NsfContext *>(pvContext);
    if (pContext == nullptr)
        return;

    nsfLog(pContext, LOG_INFO, nullptr, "");
    nsfLog(pContext, LOG_INFO, szFunc, "...");

    if (pContext->hIDTable != 0)
        nsfLog(pContext, LOG_WARNING, szFunc, "ID table is not destroyed");

    if (nsfCloseDatabase(pContext) != NSF_OK)
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfCloseDatabase() failed");

    if (pContext->bNotesInitialized) {
        nsfLog(pContext, LOG_INFO, szFunc, "Terminating Notes...");
        nsfCallNotesUnjudged(pContext, szFunc, "NotesTerm", [] { NotesTerm(); });
        pContext->bNotesInitialized = 0;
    }

    nsfLog(pContext, LOG_INFO, szFunc, "Deleting temp dir...");
    if (nsfDeleteTempDir(pContext) != NSF_OK)
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfDeleteTempDir() failed");

    nsfLog(pContext, LOG_INFO, szFunc, "Freeing context...");
    nsfFreeTables(pContext);

    nsfLogClose(pContext);
    nsfFree(pContext, pContext);
}

void nsfFillReaderInterface(ContainerReaderInterface *pTable)
{
    pTable->fpInit = nsfInit;
    pTable->fpShutdown = nsfShutdown;
    pTable->fpGetContainerInfo = nsfGetContainerInfo;
    pTable->fpGetSubFileInfo = nsfGetSubFileInfo;
    pTable->fpGetSubFileMetadata = nsfGetSubFileMetadata;
    pTable->fpExtractSubFileToIOobj = nsfExtractSubFileToIOobj;
    pTable->fpExtractSubFileToIOobjEx = nsfExtractSubFileToIOobjEx;
}

extern "C" NSFREX_EXPORT ContainerReaderInterface *nsfGetContainerReaderInterfaceEx(ContainerReaderInterface *pTable)
{
    if (pTable != nullptr)
        nsfFillReaderInterface(pTable);
    return pTable;
}
