/*
 * Folder membership. The view notes are searched once per context; every folder among them keeps its
 * title and its member note IDs in the folder table, and each later request is a look-up in that table.
 */
#include <stddef.h>
#include <string.h>

#include <algorithm>

#include "entry/entry.h"
#include "log/log.h"
#include "log/trace.h"
#include "metadata/metadata.h"
#include "notesapi/notes.h"
#include "text/buffer.h"
#include "text/itemtext.h"

namespace {

const DWORD dwOpenFlags = 0x03000000;   /* OPEN_RAW_MIME */

bool nsfFolderHolds(const Folder *pFolder, uint32_t dwNoteID)
{
    const uint32_t *pEnd = pFolder->rgNoteIDs + pFolder->cNoteIDs;
    return std::binary_search(pFolder->rgNoteIDs, pEnd, dwNoteID);
}

/* The folder table's array: made with NSF_FOLDERS_FIRST entries, grown by NSF_FOLDERS_STEP. */
NSFSTATUS nsfGrowFolderArray(NsfContext *pContext)
{
    static const char szFunc[] = "nsfNewFolder";
    if (pContext->rgFolders == nullptr) {
        pContext->cFolders = 0;
        pContext->cFoldersMax = NSF_FOLDERS_FIRST;
        pContext->rgFolders = static_cast<Folder **>(nsfMalloc(pContext, NSF_FOLDERS_FIRST * sizeof(Folder *)));
        if (pContext->rgFolders == nullptr) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating folder array, cFoldersMax %d", pContext->cFoldersMax);
            pContext->cFoldersMax = 0;
            return NSF_ERR_MEMORY;
        }
        memset(pContext->rgFolders, 0, NSF_FOLDERS_FIRST * sizeof(Folder *));
        nsfLogf(pContext, LOG_DIAG, szFunc, "cFoldersMax %d", pContext->cFoldersMax);
    } else if (pContext->cFolders >= pContext->cFoldersMax) {
        int32_t cWanted = 0;
        if (!nsfGrowTable(pContext, &pContext->rgFolders, &pContext->cFoldersMax, NSF_FOLDERS_STEP, &cWanted)) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error re-allocating folder array, cFoldersMax %d", cWanted);
            return NSF_ERR_MEMORY;
        }
        nsfLogf(pContext, LOG_DIAG, szFunc, "cFoldersMax %d", pContext->cFoldersMax);
    }
    return NSF_OK;
}

/* The member IDs of a folder's ID table into the folder, and the table destroyed. */
void nsfCopyFolderMembers(NsfContext *pContext, DHANDLE hTable, Folder *pFolder)
{
    static const char szFunc[] = "nsfFolderSearchCB";
    BOOL bFirst = TRUE;
    DWORD dwID = 0;   /* the scan goes on from the previous ID */
    for (int32_t i = 0; pFolder != nullptr && i < pFolder->cNoteIDs; i++) {
        BOOL bFound = FALSE;
        if (nsfCallNotesUnjudged(pContext, szFunc, "IDScan", &bFound, [&] { return IDScan(hTable, bFirst, &dwID); }) !=
                NSF_OK ||
            !bFound) {
            pFolder->cNoteIDs = i;
            break;
        }
        bFirst = FALSE;
        pFolder->rgNoteIDs[i] = dwID;
    }
    nsfCallNotes(pContext, szFunc, "IDDestroyTable", [&] { return IDDestroyTable(hTable); });
}

} // namespace

NSFSTATUS nsfNewFolder(NsfContext *pContext, int32_t cNoteIDs)
{
    static const char szFunc[] = "nsfNewFolder";
    NSFSTATUS nStatus = nsfGrowFolderArray(pContext);
    if (nStatus != NSF_OK)
        return nStatus;

    int32_t cbIDs = 0;
    int32_t cbSize = 0;
    Folder *pFolder = nullptr;
    bool bOverflow = cNoteIDs < 0 || __builtin_mul_overflow(cNoteIDs, (int32_t)sizeof(uint32_t), &cbIDs) ||
                     __builtin_add_overflow(cbIDs, (int32_t)offsetof(Folder, rgNoteIDs), &cbSize);
    if (!bOverflow) {
        cbSize = std::max(cbSize, (int32_t)sizeof(Folder));
        pFolder = static_cast<Folder *>(nsfMalloc(pContext, (size_t)cbSize));
    }
    if (pFolder == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating folder, ucbSize %u, cFolders %d", (unsigned)cbSize,
                pContext->cFolders);
        return NSF_ERR_MEMORY;
    }
    memset(pFolder, 0, (size_t)cbSize);
    pFolder->cNoteIDs = cNoteIDs;
    pContext->rgFolders[pContext->cFolders++] = pFolder;
    return NSF_OK;
}

STATUS LNCALLBACK nsfFolderSearchCB(void *pParameter, SEARCH_MATCH *pMatch, ITEM_TABLE *)
{
    static const char szFunc[] = "nsfFolderSearchCB";
    NsfContext *pContext = static_cast<NsfContext *>(pParameter);
    nsfRetAPI(pContext, szFunc, 0);

    SEARCH_MATCH match;
    memcpy(&match, pMatch, sizeof match);
    NOTEID dwNoteID = match.ID.NoteID;
    nsfLogf(pContext, LOG_DIAG, szFunc, "Opening view note, dwNoteID %d", (int)dwNoteID);

    STATUS wResult = NOERROR;
    NOTEHANDLE hNote = NULLHANDLE;
    uint16_t wNotes = 0;
    NSFSTATUS nStatus = nsfCallNotes(
        pContext, szFunc, "NSFNoteOpenExt", [&] { return NSFNoteOpenExt(pContext->hDb, dwNoteID, dwOpenFlags, &hNote); },
        &wNotes);
    if (nStatus != NSF_OK) {
        wResult = wNotes != NOERROR ? wNotes : ERR_RUNTIME_INTERNAL;
        nsfCallAPI(pContext, szFunc, "NSFSearch");
        return wResult;
    }

    /* Only folders have an ID table of their members; other views answer "not a folder". */
    DHANDLE hTable = NULLHANDLE;
    nsfCallAPI(pContext, szFunc, "NSFFolderGetIDTable");
    STATUS wFolder = NOERROR;
    try {
        wFolder = NSFFolderGetIDTable(pContext->hDb, pContext->hDb, dwNoteID, 0, &hTable);
        nStatus = nsfRetAPI(pContext, szFunc, wFolder == ERR_NOTE_NOT_FOLDER ? 0 : static_cast<uint16_t>(wFolder));
    } catch (...) {
        nStatus = nsfExcepAPI(pContext, szFunc, "NSFFolderGetIDTable");
    }

    if (nStatus == NSF_OK && wFolder == NOERROR && hTable != NULLHANDLE) {
        DWORD dwEntries = 0;
        nsfCallNotesUnjudged(pContext, szFunc, "IDEntries", &dwEntries, [&] { return IDEntries(hTable); });
        int32_t cNoteIDs = dwEntries > 0x7FFFFFFFu ? 0x7FFFFFFF : (int32_t)dwEntries;
        nsfLogf(pContext, LOG_DIAG, szFunc, "View note (folder) dwIDEntries %d", cNoteIDs);
        Folder *pFolder = nullptr;
        if (nsfNewFolder(pContext, cNoteIDs) != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfNewFolder() failed");
        } else {
            pFolder = pContext->rgFolders[pContext->cFolders - 1];
            if (pFolder == nullptr)
                nsfLog(pContext, LOG_ERROR, szFunc, "No folder");
        }
        if (pFolder != nullptr) {
            pFolder->dwNoteID = dwNoteID;
            nsfLogf(pContext, LOG_DIAG, szFunc, "Added view note as folder, dwNoteID %d, cFolders %d", (int)dwNoteID,
                    pContext->cFolders);
        }
        nsfCopyFolderMembers(pContext, hTable, pFolder);

        if (pFolder != nullptr) {
            WORD wTextLen = 0;
            nsfCallNotesUnjudged(pContext, szFunc, "NSFItemGetText", &wTextLen, [&] {
                return NSFItemGetText(hNote, "$TITLE", pFolder->szName, (WORD)sizeof pFolder->szName);
            });
            pFolder->szName[sizeof pFolder->szName - 1] = '\0';
            if (wTextLen == 0) {
                pFolder->szName[0] = '\0';
                nsfLogf(pContext, LOG_ERROR, szFunc,
                        "NSFItemGetText() returned no text, wTextLen %u, ucbBufferSize %u, MAXWORD %u", 0u,
                        pContext->ucbBufferSize, NSF_MAXWORD);
            } else {
                nsfLogValue(pContext, LOG_DIAG, szFunc, "Folder szName...", pFolder->szName);
            }
        }
    }

    nsfCallNotes(pContext, szFunc, "NSFNoteClose", [&] { return NSFNoteClose(hNote); }, &wNotes);
    wResult = wNotes;
    nsfCallAPI(pContext, szFunc, "NSFSearch");
    return wResult;
}

NSFSTATUS nsfGetNoteFolders(NsfContext *pContext, uint32_t dwNoteID, uint32_t)
{
    static const char szFunc[] = "nsfGetNoteFolders";
    if (pContext->cFolders == 0) {
        nsfLog(pContext, LOG_INFO, szFunc, "Searching for folders...");
        NSFSTATUS nStatus = nsfCallNotes(pContext, szFunc, "NSFSearch", [&] {
            return NSFSearch(pContext->hDb, NULLHANDLE, nullptr, 0, NOTE_CLASS_VIEW, nullptr, nsfFolderSearchCB,
                             pContext, nullptr);
        });
        if (nStatus != NSF_OK)
            return nStatus == NSF_ERR_EXCEPTION ? nStatus : NSF_ERR_OPEN;
        nsfLogf(pContext, LOG_DIAG, szFunc, "Search for folders done, cFolders %d", pContext->cFolders);
    }

    pContext->ucbBuffer = 0;
    if (pContext->rgbBuffer != nullptr)
        pContext->rgbBuffer[0] = 0;
    for (int32_t i = 0; i < pContext->cFolders; i++) {
        const Folder *pFolder = pContext->rgFolders[i];
        if (pFolder == nullptr) {
            nsfLog(pContext, LOG_ERROR, szFunc, "No folder");
            return NSF_ERR_FAILED;
        }
        if (!nsfFolderHolds(pFolder, dwNoteID))
            continue;
        uint32_t cbName = (uint32_t)strnlen(pFolder->szName, sizeof pFolder->szName);
        uint32_t cbSeparator = pContext->ucbBuffer > 0 ? 2 : 0;
        NSFSTATUS nStatus = nsfCheckBuffer(pContext, cbSeparator + cbName);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
            return nStatus;
        }
        memcpy(pContext->rgbBuffer + pContext->ucbBuffer, ", ", cbSeparator);
        pContext->ucbBuffer += cbSeparator;
        memcpy(pContext->rgbBuffer + pContext->ucbBuffer, pFolder->szName, cbName);
        pContext->ucbBuffer += cbName;
        pContext->rgbBuffer[pContext->ucbBuffer] = 0;
    }
    return NSF_OK;
}
