/*
 * Credentials and database access: the ID file the runtime used before open (to switch back at close),
 * the credentials the host hands over, testing each credential on the database, opening the database
 * under the chosen one and closing it again.
 */
#include "notes/database.h"

#include <stdio.h>
#include <string.h>

#include "entry/entry.h"
#include "log/log.h"
#include "log/trace.h"
#include "text/itemtext.h"
#include "notesapi/notes.h"

namespace {

const WORD cbUserName = 256;
const DWORD dwOpenFlags = 0x3000000;   /* OPEN_RAW_MIME */

/* Reads a runtime variable into the main work buffer (cleared first); the call is not judged. */
void nsfGetEnvironment(NsfContext *pContext, const char *pszFunction, const char *pszName)
{
    memset(pContext->rgbBuffer, 0, pContext->ucbBufferSize);
    char *pszValue = reinterpret_cast<char *>(pContext->rgbBuffer);
    WORD cbValue = static_cast<WORD>(pContext->ucbBufferSize & 0xFFFF);
    nsfCallNotesUnjudged(pContext, pszFunction, "OSGetEnvironmentString",
                         [&] { return OSGetEnvironmentString(pszName, pszValue, cbValue); });
    pContext->rgbBuffer[pContext->ucbBufferSize - 1] = 0;
}

void nsfCopyText(char *pszTarget, size_t cbTarget, const char *pszSource)
{
    size_t cch = strnlen(pszSource, cbTarget - 1);
    memcpy(pszTarget, pszSource, cch);
    pszTarget[cch] = '\0';
}

/* The search callback of the credential test: collects the document notes in hIDTable. */
STATUS LNCALLBACK nsfCredsSearchCB(void *pParameter, SEARCH_MATCH *pMatch, ITEM_TABLE *)
{
    static const char szFunc[] = "nsfCredsSearchCB";
    NsfContext *pContext = static_cast<NsfContext *>(pParameter);
    nsfRetAPI(pContext, szFunc, 0);

    SEARCH_MATCH match;
    memcpy(&match, pMatch, sizeof match);
    STATUS wStatus = NOERROR;
    if (match.NoteClass == NOTE_CLASS_DOCUMENT) {
        BOOL bInserted = FALSE;
        DWORD dwNoteID = match.ID.NoteID;
        NSFSTATUS nStatus = nsfCallNotesUnjudged(pContext, szFunc, "IDInsert", &wStatus, [&] {
            return IDInsert(pContext->hIDTable, dwNoteID, &bInserted);
        });
        if (nStatus != NSF_OK && wStatus == NOERROR)
            wStatus = ERR_RUNTIME_INTERNAL;
        if (wStatus == NOERROR && bInserted)
            nsfLogf(pContext, LOG_DIAG, szFunc, "Inserted note, dwNoteID %d, wNoteClass 0x%x", (int)dwNoteID,
                    (unsigned)match.NoteClass);
    } else {
        nsfLogf(pContext, LOG_DIAG, szFunc, "Skipping non-document note, dwNoteID %d", (int)match.ID.NoteID);
    }

    nsfCallAPI(pContext, szFunc, "NSFSearch");
    return wStatus;
}

/* Opens, counts and (when encrypted) decrypts each collected note; the status that ended the scan. */
NSFSTATUS nsfScanCredNotes(NsfContext *pContext, Cred *pCred)
{
    static const char szFunc[] = "nsfTestCreds";
    DWORD dwNoteID = 0;
    BOOL bFirst = TRUE;
    for (;;) {
        BOOL bFound = FALSE;
        if (nsfCallNotesUnjudged(pContext, szFunc, "IDScan", &bFound,
                                 [&] { return IDScan(pContext->hIDTable, bFirst, &dwNoteID); }) != NSF_OK)
            return NSF_ERR_EXCEPTION;
        bFirst = FALSE;
        if (!bFound)
            return NSF_OK;

        NOTEHANDLE hNote = NULLHANDLE;
        NSFSTATUS nStatus = nsfCallNotes(pContext, szFunc, "NSFNoteOpenExt", [&] {
            return NSFNoteOpenExt(pContext->hDb, dwNoteID, dwOpenFlags, &hNote);
        });
        if (nStatus != NSF_OK)
            return nStatus;
        pCred->cNotes++;

        STATUS wPresent = NOERROR;
        nStatus = nsfCallNotesUnjudged(pContext, szFunc, "NSFItemIsPresent", &wPresent,
                                       [&] { return NSFItemInfo(hNote, "Encrypt", 7, nullptr, nullptr, nullptr, nullptr); });
        if (nStatus == NSF_OK && wPresent == NOERROR) {
            if (nsfGetItemText(pContext, hNote, "Encrypt") != NSF_OK)
                nsfLog(pContext, LOG_DIAG, szFunc, "nsfGetItemText() failed");
            else if (pContext->ucbBuffer > 0 && pContext->rgbBuffer[0] == '1')
                nStatus = nsfCallNotes(pContext, szFunc, "NSFNoteDecrypt",
                                       [&] { return NSFNoteDecrypt(hNote, 0, nullptr); });
        }
        if (nStatus == NSF_OK) {
            nStatus = nsfCallNotesUnjudged(pContext, szFunc, "NSFItemIsPresent", &wPresent,
                                           [&] { return NSFItemInfo(hNote, "Body", 4, nullptr, nullptr, nullptr, nullptr); });
            if (nStatus == NSF_OK) {
                if (wPresent == NOERROR)
                    pCred->cBody++;
                else
                    nsfLog(pContext, LOG_WARNING, szFunc, "No mail body item");
            }
        }
        nsfCallNotes(pContext, szFunc, "NSFNoteClose", [&] { return NSFNoteClose(hNote); });
        if (nStatus != NSF_OK)
            return nStatus;
    }
}

} // namespace

NSFSTATUS nsfSaveUserIdFile(NsfContext *pContext)
{
    static const char szFunc[] = "nsfSaveUserIdFile";
    pContext->szPassword[0] = '\0';
    pContext->szUserIdFile[0] = '\0';
    if (pContext->rgbBuffer == nullptr || pContext->ucbBufferSize == 0)
        return NSF_ERR_MEMORY;

    nsfGetEnvironment(pContext, szFunc, "KeyFileName");
    if (pContext->rgbBuffer[0] == 0)
        nsfGetEnvironment(pContext, szFunc, "ServerKeyFileName");
    const char *pszValue = reinterpret_cast<const char *>(pContext->rgbBuffer);
    nsfLogValue(pContext, LOG_DIAG, szFunc, "KeyFileName or ServerKeyFileName...", pszValue);
    nsfCopyText(pContext->szUserIdFile, sizeof pContext->szUserIdFile, pszValue);

    if (pContext->szUserIdFile[0] != '\0') {
        if (strchr(pContext->szUserIdFile, '\\') == nullptr && strchr(pContext->szUserIdFile, '/') == nullptr) {
            nsfGetEnvironment(pContext, szFunc, "Directory");
            nsfLogValue(pContext, LOG_DIAG, szFunc, "Directory...", pszValue);
            if (*pszValue == '\0') {
                nsfLog(pContext, LOG_ERROR, szFunc, "No directory found");
                pContext->szUserIdFile[0] = '\0';
                return NSF_ERR_FAILED;
            }
            /* The module writes '/' between directory and name. */
            char szName[NSF_USER_ID_FILE_SIZE];
            memcpy(szName, pContext->szUserIdFile, sizeof szName);
            nsfCopyText(pContext->szUserIdFile, sizeof pContext->szUserIdFile, pszValue);
            size_t cch = strlen(pContext->szUserIdFile);
            if (cch + 1 < sizeof pContext->szUserIdFile) {
                pContext->szUserIdFile[cch++] = '/';
                nsfCopyText(pContext->szUserIdFile + cch, sizeof pContext->szUserIdFile - cch, szName);
            }
        }
        nsfGetEnvironment(pContext, szFunc, "TAMSEL_NSFREX_PASSWORD");
        nsfCopyText(pContext->szPassword, sizeof pContext->szPassword, pszValue);
    }

    nsfLogf(pContext, LOG_INFO, szFunc, "Saved user ID file, szPassword %s, szUserIdFile...", pContext->szPassword);
    nsfLog(pContext, LOG_INFO, szFunc, pContext->szUserIdFile);
    return NSF_OK;
}

NSFSTATUS nsfNewCred(NsfContext *pContext, const char *pszUserIdFile, const char *pszPassword)
{
    static const char szFunc[] = "nsfNewCred";
    if (pszUserIdFile == nullptr) {
        nsfLog(pContext, LOG_ERROR, szFunc, "No User ID file");
        return NSF_ERR_FAILED;
    }
    MemoryService *pService = nsfMemoryService(pContext);
    int32_t cNew = 0;
    int32_t cbNew = 0;
    bool bOverflow = __builtin_add_overflow(pContext->cCreds, 1, &cNew) ||
                     __builtin_mul_overflow(cNew, (int32_t)sizeof(Cred), &cbNew);
    Cred *rgNew = nullptr;
    if (pContext->rgCreds != nullptr) {
        if (!bOverflow && pService->fpRealloc != nullptr)
            rgNew = static_cast<Cred *>(pService->fpRealloc(pService, pContext->rgCreds, (size_t)cbNew));
        if (rgNew == nullptr) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error re-allocating credentials array, cCreds %d", pContext->cCreds);
            return NSF_ERR_MEMORY;
        }
    } else {
        if (!bOverflow)
            rgNew = static_cast<Cred *>(nsfMalloc(pContext, sizeof(Cred)));
        if (rgNew == nullptr) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating credentials array, cCreds %d", pContext->cCreds);
            return NSF_ERR_MEMORY;
        }
    }
    pContext->rgCreds = rgNew;
    Cred *pCred = &rgNew[pContext->cCreds];
    pContext->cCreds++;
    memset(pCred, 0, sizeof *pCred);

    pCred->pszUserIdFile = pContext->pZAPI->fpStrdup != nullptr ? pContext->pZAPI->fpStrdup(pContext->pZAPI, pszUserIdFile)
                                                                : nullptr;
    if (pCred->pszUserIdFile == nullptr) {
        nsfLogValue(pContext, LOG_ERROR, szFunc, "ZAPI.fpStrdup() failed on pszUserIdFile...", pszUserIdFile);
        return NSF_ERR_MEMORY;
    }
    if (pszPassword != nullptr) {
        pCred->pszPassword = pContext->pZAPI->fpStrdup(pContext->pZAPI, pszPassword);
        if (pCred->pszPassword == nullptr) {
            nsfLog(pContext, LOG_ERROR, szFunc, "ZAPI.fpStrdup() failed on pszPassword...");
            return NSF_ERR_MEMORY;
        }
    }
    nsfLogf(pContext, LOG_DIAG, szFunc, "cCreds %d", pContext->cCreds);
    return NSF_OK;
}

NSFSTATUS nsfInitCreds(NsfContext *pContext, const CredentialList *pCredList)
{
    static const char szFunc[] = "nsfInitCreds";
    const char *pszIdFile = nullptr;
    const char *pszPassword = nullptr;
    NSFSTATUS nStatus = NSF_OK;

    int32_t cItems = pCredList != nullptr && pCredList->rgpItems != nullptr ? pCredList->cItems : 0;
    for (int32_t i = 0; i < cItems && nStatus == NSF_OK; i++) {
        const CredentialItem *pItem = pCredList->rgpItems[i];
        if (pItem == nullptr)
            continue;
        if (pItem->dwType == (uint32_t)CRED_USER_ID_FILE) {
            if (pszIdFile != nullptr) {
                nStatus = nsfNewCred(pContext, pszIdFile, pszPassword);
                pszIdFile = pszPassword = nullptr;
            }
            pszIdFile = pItem->pszValue;
        } else if (pItem->dwType == (uint32_t)CRED_PASSWORD) {
            if (pszIdFile != nullptr && pszPassword != nullptr) {
                nStatus = nsfNewCred(pContext, pszIdFile, pszPassword);
                pszIdFile = pszPassword = nullptr;
            }
            pszPassword = pItem->pszValue;
        }
    }
    if (nStatus == NSF_OK && pszIdFile != nullptr)
        nStatus = nsfNewCred(pContext, pszIdFile, pszPassword);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfNewCred() failed");
        return nStatus;
    }

    nsfLogf(pContext, LOG_DIAG, szFunc, "cCreds %d", pContext->cCreds);
    for (int32_t k = 0; k < pContext->cCreds; k++) {
        snprintf(pContext->szText, sizeof pContext->szText, "rgCreds[%d]: pszUserIdFile, pszPassword...", k);
        nsfLogValue(pContext, LOG_DIAG, szFunc, pContext->szText, pContext->rgCreds[k].pszUserIdFile);
    }
    return NSF_OK;
}

NSFSTATUS nsfTestCreds(NsfContext *pContext, const char *pszPath, Cred *pCred)
{
    static const char szFunc[] = "nsfTestCreds";
    NSFSTATUS nStatus;

    nsfLog(pContext, LOG_INFO, szFunc, "Testing credentials...");
    nsfLogValue(pContext, LOG_DIAG, szFunc, "Creds pszUserIdFile, pszPassword...", pCred->pszUserIdFile);

    nStatus = nsfOpenDatabase(pContext, pszPath, pCred->pszUserIdFile, pCred->pszPassword);
    if (nStatus != NSF_OK) {
        nsfLogValue(pContext, LOG_WARNING, szFunc, "nsfOpenDatabase() failed, pszUserIdFile...", pCred->pszUserIdFile);
    } else {
        nsfLog(pContext, LOG_INFO, szFunc, "Creating ID table...");
        DHANDLE hTable = NULLHANDLE;
        if (nsfCallNotes(pContext, szFunc, "IDCreateTable", [&] { return IDCreateTable(4, &hTable); }) != NSF_OK) {
            nStatus = NSF_ERR_MEMORY;
        } else if (hTable == NULLHANDLE) {
            nsfLog(pContext, LOG_ERROR, szFunc, "IDCreateTable() returned null ID table handle");
            nStatus = NSF_ERR_MEMORY;
        } else {
            pContext->hIDTable = hTable;
            nsfLog(pContext, LOG_INFO, szFunc, "Searching for notes (creds)...");
            nStatus = nsfCallNotes(pContext, szFunc, "NSFSearch", [&] {
                return NSFSearch(pContext->hDb, NULLHANDLE, nullptr, 0, NOTE_CLASS_DOCUMENT, nullptr, nsfCredsSearchCB,
                                 pContext, nullptr);
            });
            if (nStatus != NSF_OK && nStatus != NSF_ERR_EXCEPTION)
                nStatus = NSF_ERR_OPEN;
            if (nStatus == NSF_OK) {
                nsfLog(pContext, LOG_DIAG, szFunc, "Search for notes done");
                DWORD dwEntries = 0;
                nsfCallNotesUnjudged(pContext, szFunc, "IDEntries", &dwEntries,
                                     [&] { return IDEntries(pContext->hIDTable); });
                pContext->dwIDEntries = (int32_t)dwEntries;
                nsfLogf(pContext, LOG_DIAG, szFunc, "dwIDEntries %ld", (long)pContext->dwIDEntries);
                nsfLog(pContext, LOG_INFO, szFunc, "Checking credentials on notes...");
                nStatus = nsfScanCredNotes(pContext, pCred);
            }
            nsfLogf(pContext, LOG_DIAG, szFunc, "Creds cNotes %d, cBody %d", pCred->cNotes, pCred->cBody);
            nsfLog(pContext, LOG_INFO, szFunc, "Destroying ID table...");
            nStatus = nsfCallNotes(pContext, szFunc, "IDDestroyTable", [&] { return IDDestroyTable(pContext->hIDTable); });
            if (nStatus == NSF_OK)
                pContext->hIDTable = NULLHANDLE;
        }
    }

    if (pContext->hDb != 0) {
        nStatus = nsfCloseDatabase(pContext);
        if (nStatus != NSF_OK)
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfCloseDatabase() failed");
    }
    return nStatus;
}

NSFSTATUS nsfOpenDatabase(NsfContext *pContext, const char *pszPath, const char *pszUserIdFile, const char *pszPassword)
{
    static const char szFunc[] = "nsfOpenDatabase";
    NSFSTATUS nStatus;

    if (pContext->hDb != 0) {
        nsfLog(pContext, LOG_ERROR, szFunc, "Database is already open");
        return NSF_ERR_FAILED;
    }

    if (pszUserIdFile != nullptr) {
        char szUserName[cbUserName] = {};
        nStatus = nsfCallNotes(pContext, szFunc, "SECKFMSwitchToIDFile", [&] {
            return SECKFMSwitchToIDFile(pszUserIdFile, pszPassword, szUserName, cbUserName, 0, nullptr);
        });
        if (nStatus != NSF_OK)
            return nStatus;
        snprintf(pContext->szText, sizeof pContext->szText, "Switched to temp ID file, szUserName %s, szUserIdFile...",
                 szUserName);
        nsfLogValue(pContext, LOG_INFO, szFunc, pContext->szText, pszUserIdFile);
    }

    nsfLogValue(pContext, LOG_INFO, szFunc, "Opening NSF database...", pszPath);
    DBHANDLE hDb = NULLHANDLE;
    nStatus = nsfCallNotes(pContext, szFunc, "NSFDbOpen", [&] { return NSFDbOpen(pszPath, &hDb); });
    if (nStatus != NSF_OK)
        return nStatus == NSF_ERR_EXCEPTION || nStatus == NSF_ERR_ACCESS ? nStatus : NSF_ERR_OPEN;
    if (hDb == NULLHANDLE) {
        nsfLog(pContext, LOG_ERROR, szFunc, "NSFDbOpen() returned null database handle");
        return NSF_ERR_OPEN;
    }
    pContext->hDb = hDb;

    BUILDVERSION version;
    memset(&version, 0, sizeof version);
    nStatus = nsfCallNotes(pContext, szFunc, "NSFDbGetMajMinVersion",
                           [&] { return NSFDbGetMajMinVersion(pContext->hDb, &version); });
    if (nStatus != NSF_OK)
        return nStatus;
    nsfLogf(pContext, LOG_INFO, szFunc, "BuildVersion: %d.%d.%d.%d.%d.%d", (int)version.MajorVersion,
            (int)version.MinorVersion, (int)version.QMRNumber, (int)version.QMUNumber, (int)version.HotfixNumber,
            (int)version.Flags);
    return NSF_OK;
}

NSFSTATUS nsfCloseDatabase(NsfContext *pContext)
{
    static const char szFunc[] = "nsfCloseDatabase";
    NSFSTATUS nStatus = NSF_OK;

    if (pContext->szUserIdFile[0] != '\0') {
        char szUserName[cbUserName] = {};
        nStatus = nsfCallNotes(pContext, szFunc, "SECKFMSwitchToIDFile", [&] {
            return SECKFMSwitchToIDFile(pContext->szUserIdFile, pContext->szPassword, szUserName, cbUserName, 0, nullptr);
        });
        if (nStatus != NSF_OK) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "szPassword %s, szUserIdFile...", pContext->szPassword);
            nsfLog(pContext, LOG_ERROR, szFunc, pContext->szUserIdFile);
        } else {
            snprintf(pContext->szText, sizeof pContext->szText,
                     "Switched back to ID file, szUserName %s, szPassword %s, szUserIdFile...", szUserName,
                     pContext->szPassword);
            nsfLogValue(pContext, LOG_INFO, szFunc, pContext->szText, pContext->szUserIdFile);
        }
    }

    if (pContext->hDb != 0) {
        nsfLogValue(pContext, LOG_INFO, szFunc, "Closing NSF database...",
                    pContext->pIOobj != nullptr && pContext->pIOobj->pFileName != nullptr ? pContext->pIOobj->pFileName
                                                                                          : "");
        DBHANDLE hDb = pContext->hDb;
        nsfCallNotes(pContext, szFunc, "NSFDbClose", [&] { return NSFDbClose(hDb); });
        pContext->hDb = 0;
    }
    return nStatus;
}
