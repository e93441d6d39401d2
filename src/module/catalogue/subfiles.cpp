/*
 * The subfile table. nsfInitSubfiles builds the image catalogue, searches the database for notes into an
 * ID table, and walks the table in ascending note ID order: each note that carries mail fields or a body
 * (every searched note with ExtractAllFields) becomes a subfile, followed by its attachments.
 */
#include "catalogue/subfiles.h"

#include <string.h>

#include "catalogue/attachments.h"
#include "catalogue/images.h"
#include "catalogue/notedate.h"
#include "entry/entry.h"
#include "log/log.h"
#include "log/trace.h"
#include "notes/item_calls.h"
#include "text/itemtext.h"
#include "notesapi/notes.h"
#include "text/names.h"

const MailHeader MailHeaderTable[] = {
    {"From", "From"},
    {"PostedDate", "Sent"},
    {"ComposedDate", "Sent"},
    {"", "Sent"},
    {"", "Sent"},
    {"SendTo", "To"},
    {"CopyTo", "Cc"},
    {"BlindCopyTo", "Bcc"},
    {"Subject", "Subject"},
    {"Importance", "Priority"},
    {"Chair", "Chair"},
    {"StartDateTime", "Starts"},
    {"EndDateTime", "Ends"},
    {"RepeatForUnit", "Repeats"},
    {"Location", "Location"},
    {"Attendees", "Attendees"},
    {"$FILE", "Attachments"},
    {nullptr, nullptr},
};

namespace {

const DWORD dwOpenFlags = 0x03000000;       /* OPEN_RAW_MIME */
const WORD wClassMaskAll = 0x7FFF;
const WORD wClassMaskDefault = 0x0009;      /* documents and views */
const int32_t cSubFilesMinimum = 4;         /* room for the root record of an empty database */

STATUS LNCALLBACK nsfSearchCB(void *pParameter, SEARCH_MATCH *pMatch, ITEM_TABLE *)
{
    static const char szFunc[] = "nsfSearchCB";
    NsfContext *pContext = static_cast<NsfContext *>(pParameter);
    nsfRetAPI(pContext, szFunc, 0);

    SEARCH_MATCH match;
    memcpy(&match, pMatch, sizeof match);
    DWORD dwNoteID = match.ID.NoteID;
    WORD wNoteClass = match.NoteClass;
    STATUS wStatus = NOERROR;
    if (!pContext->bExtractAllNotes && wNoteClass != NOTE_CLASS_DOCUMENT) {
        nsfLogf(pContext, LOG_DIAG, szFunc, "Skipping non-document note, dwNoteID %d", (int)dwNoteID);
    } else {
        BOOL bInserted = FALSE;
        uint16_t wNotes = 0;
        NSFSTATUS nStatus = nsfCallNotes(pContext, szFunc, "IDInsert",
                                         [&] { return IDInsert(pContext->hIDTable, dwNoteID, &bInserted); }, &wNotes);
        wStatus = nStatus == NSF_ERR_EXCEPTION ? (STATUS)ERR_RUNTIME_INTERNAL : wNotes;
        if (nStatus == NSF_OK && bInserted)
            nsfLogf(pContext, LOG_DIAG, szFunc, "Inserted note, dwNoteID %d, wNoteClass 0x%x (%s)", (int)dwNoteID,
                    (unsigned)wNoteClass, nsfNoteClassName(wNoteClass));
    }

    nsfCallAPI(pContext, szFunc, "NSFSearch");
    return wStatus;
}

/* Steps of nsfInitSubfiles between creating and destroying the ID table; failures end them early. */
void nsfFillSubfiles(NsfContext *pContext)
{
    static const char szFunc[] = "nsfInitSubfiles";
    if (nsfInitImages(pContext) != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfInitImages() failed");
        return;
    }

    nsfLog(pContext, LOG_INFO, szFunc, "Searching for notes...");
    WORD wClassMask = pContext->bExtractAllNotes ? wClassMaskAll : wClassMaskDefault;
    if (nsfCallNotes(pContext, szFunc, "NSFSearch", [&] {
            return NSFSearch(pContext->hDb, NULLHANDLE, nullptr, 0, wClassMask, nullptr, nsfSearchCB, pContext, nullptr);
        }) != NSF_OK)
        return;

    nsfLog(pContext, LOG_DIAG, szFunc, "Search for notes done");
    DWORD dwEntries = 0;
    nsfCallNotesUnjudged(pContext, szFunc, "IDEntries", &dwEntries, [&] { return IDEntries(pContext->hIDTable); });
    pContext->dwIDEntries = (int32_t)dwEntries;
    nsfLogf(pContext, LOG_DIAG, szFunc, "dwIDEntries %ld", (long)pContext->dwIDEntries);
    nsfLog(pContext, LOG_INFO, szFunc, "Getting subfiles from notes...");

    if (pContext->dwFlags & CNVO_CREATEROOTDIR) {
        if (nsfNewSubFile(pContext) != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfNewSubFile() failed (root node)");
            return;
        }
        SubFile *pRoot = pContext->rgSubFiles[pContext->cSubFiles - 1];
        if (pRoot == nullptr) {
            nsfLog(pContext, LOG_ERROR, szFunc, "No subfile");
            return;
        }
        pRoot->nSubFileType = TMSubFileType_Folder;
    }

    DWORD dwNoteID = 0;
    for (BOOL bFirst = TRUE;; bFirst = FALSE) {
        BOOL bFound = FALSE;
        if (nsfCallNotesUnjudged(pContext, szFunc, "IDScan", &bFound,
                                 [&] { return IDScan(pContext->hIDTable, bFirst, &dwNoteID); }) != NSF_OK ||
            !bFound)
            break;
        if (nsfGetNoteSubfiles(pContext, dwNoteID) != NSF_OK)
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetNoteSubfiles() failed");
    }
}

/* The $FILE items of an open, decrypted note: each object item becomes an attachment record. */
NSFSTATUS nsfGetAttachSubfiles(NsfContext *pContext, uint32_t hNote, uint32_t dwNoteID)
{
    static const char szFunc[] = "nsfGetNoteSubfiles";
    BLOCKID bhItem{}, bhPrev{}, bhValue{};
    for (int32_t cItems = 0; cItems < 0x7FFFFFFF; cItems++) {
        WORD wType = 0;
        DWORD dwLength = 0;
        uint16_t wNotes = 0;
        NSFSTATUS nStatus;
        if (cItems == 0)
            nStatus = nsfCallNotesItem(pContext, szFunc, "NSFItemInfo", [&] {
                return NSFItemInfo(hNote, "$FILE", 5, &bhItem, &wType, &bhValue, &dwLength);
            }, &wNotes);
        else
            nStatus = nsfCallNotesItem(pContext, szFunc, "NSFItemInfoNext", [&] {
                return NSFItemInfoNext(hNote, bhPrev, "$FILE", 5, &bhItem, &wType, &bhValue, &dwLength);
            }, &wNotes);
        if (nStatus != NSF_OK)
            return nStatus;
        if (wNotes == ERR_ITEM_NOT_FOUND)
            return NSF_OK;
        bhPrev = bhItem;
        nsfLogf(pContext, LOG_DIAG, szFunc, "wValueDataType 0x%x (%s, %s)", (unsigned)wType, nsfClassName(wType),
                nsfTypeName(wType));
        if (wType != TYPE_OBJECT)
            continue;
        nStatus = nsfGetAttachSubfile(pContext, hNote, dwNoteID, cItems + 1, bhItem, bhValue);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetAttachSubfile() failed");
            return nStatus;
        }
    }
    return NSF_OK;
}

/* The mail logo of a mail note's record: the image named by the logo item, when the catalogue has it. */
NSFSTATUS nsfGetMailLogo(NsfContext *pContext, uint32_t hNote, SubFile *pSubFile)
{
    static const char szFunc[] = "nsfGetNoteSubfile";
    const char *pszField = pContext->szMailLogoFieldName[0] != '\0' ? pContext->szMailLogoFieldName : "Logo";
    if (!nsfIsItemPresent(pContext, szFunc, hNote, pszField))
        return NSF_OK;
    nsfLog(pContext, LOG_DIAG, szFunc, "Getting mail note logo...");
    NSFSTATUS nStatus = nsfGetItemText(pContext, hNote, pszField);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_DIAG, szFunc, "nsfGetItemText() failed");
        return nStatus;
    }
    const char *pszValue = reinterpret_cast<const char *>(pContext->rgbBuffer);
    if (*pszValue == '\0')
        pszValue = pContext->szMailLogoFieldDefaultValue[0] != '\0' ? pContext->szMailLogoFieldDefaultValue
                                                                    : "StdNotesLtr0";
    if (pszValue != reinterpret_cast<const char *>(pContext->rgbBuffer)) {
        size_t cch = strnlen(pszValue, pContext->ucbBufferSize - 1);
        memmove(pContext->rgbBuffer, pszValue, cch);
        pContext->rgbBuffer[cch] = 0;
        pContext->ucbBuffer = (uint32_t)cch;
        pszValue = reinterpret_cast<const char *>(pContext->rgbBuffer);
    }
    nsfLogf(pContext, LOG_DIAG, szFunc, "%s: %s", pszField, pszValue);

    char szLinkName[NSF_IMAGE_LINK_NAME_SIZE * 4];
    size_t cch = strnlen(pszValue, sizeof szLinkName - 1);
    memcpy(szLinkName, pszValue, cch);
    szLinkName[cch] = '\0';
    Image *pImage = nsfFindImage(pContext, szLinkName);
    if (pImage != nullptr && pImage->rgbData != nullptr && pImage->ucbData > 0)
        pSubFile->nMailLogoImage = pImage->nImage + 1;
    nsfLogf(pContext, LOG_DIAG, szFunc, "nMailLogoImage %d", pSubFile->nMailLogoImage);
    return NSF_OK;
}

} // namespace

NSFSTATUS nsfNewSubFile(NsfContext *pContext)
{
    static const char szFunc[] = "nsfNewSubFile";

    if (pContext->rgSubFiles == nullptr) {
        pContext->cSubFiles = 0;
        int32_t cMax = 0, cb = 0;
        bool bOverflow = __builtin_mul_overflow(pContext->dwIDEntries > 0 ? pContext->dwIDEntries : 0, 4, &cMax);
        if (!bOverflow && cMax < cSubFilesMinimum)
            cMax = cSubFilesMinimum;
        bOverflow = bOverflow || __builtin_mul_overflow(cMax, (int32_t)sizeof(SubFile *), &cb);
        SubFile **rgNew = bOverflow ? nullptr : static_cast<SubFile **>(nsfMalloc(pContext, (size_t)cb));
        pContext->cSubFilesMax = bOverflow ? 0 : cMax;
        if (rgNew == nullptr) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating subfile array, cSubFilesMax %d", pContext->cSubFilesMax);
            pContext->cSubFilesMax = 0;
            return NSF_ERR_MEMORY;
        }
        memset(rgNew, 0, (size_t)cb);
        pContext->rgSubFiles = rgNew;
        nsfLogf(pContext, LOG_DIAG, szFunc, "cSubFilesMax %d", pContext->cSubFilesMax);
    } else if (pContext->cSubFiles >= pContext->cSubFilesMax) {
        int32_t cStep = pContext->dwIDEntries > 0 ? pContext->dwIDEntries : cSubFilesMinimum;
        int32_t cWanted = 0;
        if (!nsfGrowTable(pContext, &pContext->rgSubFiles, &pContext->cSubFilesMax, cStep, &cWanted)) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error re-allocating subfile array, cSubFilesMax %d", cWanted);
            return NSF_ERR_MEMORY;
        }
        nsfLogf(pContext, LOG_DIAG, szFunc, "cSubFilesMax %d", pContext->cSubFilesMax);
    }

    SubFile *pSubFile = static_cast<SubFile *>(nsfMalloc(pContext, sizeof(SubFile)));
    if (pSubFile == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating subfile, cSubFiles %d", pContext->cSubFiles);
        return NSF_ERR_MEMORY;
    }
    memset(pSubFile, 0, sizeof *pSubFile);
    pSubFile->nSubFile = pContext->cSubFiles;
    pContext->rgSubFiles[pContext->cSubFiles] = pSubFile;
    pContext->cSubFiles++;
    return NSF_OK;
}

NSFSTATUS nsfGetNoteSubfile(NsfContext *pContext, uint32_t hNote, uint32_t dwNoteID, uint8_t *pbIsSubfile)
{
    static const char szFunc[] = "nsfGetNoteSubfile";
    *pbIsSubfile = 0;

    if (pContext->nLogLevel >= LOG_DIAG) {
        nsfLog(pContext, LOG_DIAG, szFunc, "Note subject...");
        if (nsfGetItemText(pContext, hNote, "Subject") != NSF_OK)
            nsfLog(pContext, LOG_DIAG, szFunc, "nsfGetItemText() failed");
        else
            nsfLog(pContext, LOG_DIAG, szFunc, reinterpret_cast<const char *>(pContext->rgbBuffer));
        BOOL bHasMIME = FALSE, bHasMIMEPart = FALSE;
        nsfCallNotesUnjudged(pContext, szFunc, "NSFNoteHasMIME", &bHasMIME, [&] { return NSFNoteHasMIME(hNote); });
        nsfCallNotesUnjudged(pContext, szFunc, "NSFNoteHasMIMEPart", &bHasMIMEPart,
                             [&] { return NSFNoteHasMIMEPart(hNote); });
        nsfLogf(pContext, LOG_DIAG, szFunc, "bNoteHasMIME %d, bNoteHasMIMEPart %d", bHasMIME ? 1 : 0, bHasMIMEPart ? 1 : 0);
    }

    WORD wNoteClass = 0;
    nsfCallNotesUnjudged(pContext, szFunc, "NSFNoteGetInfo", [&] { NSFNoteGetInfo(hNote, _NOTE_CLASS, &wNoteClass); });
    uint8_t bNoteIsDocument = (wNoteClass & NOTE_CLASS_DOCUMENT) ? 1 : 0;
    nsfLogf(pContext, LOG_DIAG, szFunc, "wNoteClass 0x%x (%s), bNoteIsDocument %d", (unsigned)wNoteClass,
            nsfNoteClassName(wNoteClass), bNoteIsDocument);

    uint8_t bMailHeader = 0;
    for (const MailHeader *pHeader = MailHeaderTable; pHeader->pszItemName != nullptr; pHeader++) {
        if (nsfIsItemPresent(pContext, szFunc, hNote, pHeader->pszItemName)) {
            bMailHeader = 1;
            break;
        }
    }
    uint8_t bMailBody = nsfIsItemPresent(pContext, szFunc, hNote, "Body") ? 1 : 0;
    nsfLogf(pContext, LOG_DIAG, szFunc, "bNoteIsDocument %d, bMailHeader %d, bMailBody %d", bNoteIsDocument, bMailHeader,
            bMailBody);

    uint8_t bNoteIsMail = bNoteIsDocument && bMailHeader;
    uint8_t bNoteIsSubfile = bMailHeader || bMailBody || pContext->bExtractAllFields;
    nsfLogf(pContext, LOG_DIAG, szFunc, "bNoteIsMail %d, bNoteIsSubfile %d", bNoteIsMail, bNoteIsSubfile);
    if (!bNoteIsSubfile) {
        nsfLog(pContext, LOG_DIAG, szFunc, "Note is not subfile");
        return NSF_OK;
    }

    NSFSTATUS nStatus = nsfNewSubFile(pContext);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfNewSubFile() failed");
        return nStatus;
    }
    SubFile *pSubFile = pContext->rgSubFiles[pContext->cSubFiles - 1];
    if (pSubFile == nullptr) {
        nsfLog(pContext, LOG_ERROR, szFunc, "No subfile");
        return NSF_ERR_FAILED;
    }
    pSubFile->nSubFileType = TMSubFileType_Main;
    pSubFile->dwNoteID = dwNoteID;
    pSubFile->bNoteIsMail = bNoteIsMail;
    if (nsfGetNoteFileTime(pContext, hNote, pSubFile->fileTime) != NSF_OK)
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetNoteFileTime() failed");
    nsfLogf(pContext, LOG_INFO, szFunc, "Added note as subfile, dwNoteID %d, bNoteIsMail %d, cSubFiles %d", (int)dwNoteID,
            bNoteIsMail, pContext->cSubFiles);
    *pbIsSubfile = 1;

    if (bNoteIsMail)
        return nsfGetMailLogo(pContext, hNote, pSubFile);
    return NSF_OK;
}

NSFSTATUS nsfGetNoteSubfiles(NsfContext *pContext, uint32_t dwNoteID)
{
    static const char szFunc[] = "nsfGetNoteSubfiles";
    nsfLog(pContext, LOG_DIAG, nullptr, "");
    nsfLogf(pContext, LOG_DIAG, szFunc, "Getting note subfiles, dwNoteID %d", (int)dwNoteID);

    NOTEHANDLE hNote = NULLHANDLE;
    NSFSTATUS nStatus = nsfCallNotes(pContext, szFunc, "NSFNoteOpenExt",
                                     [&] { return NSFNoteOpenExt(pContext->hDb, dwNoteID, dwOpenFlags, &hNote); });
    if (nStatus != NSF_OK)
        return nStatus;

    uint8_t bIsSubfile = 0;
    nStatus = nsfGetNoteSubfile(pContext, hNote, dwNoteID, &bIsSubfile);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetNoteSubfile() failed");
    } else if (bIsSubfile && !pContext->bExportDXL) {
        nStatus = nsfCallNotes(pContext, szFunc, "NSFNoteDecrypt", [&] { return NSFNoteDecrypt(hNote, 0, nullptr); });
        if (nStatus == NSF_OK)
            nStatus = nsfGetAttachSubfiles(pContext, hNote, dwNoteID);
    }

    nsfCallNotes(pContext, szFunc, "NSFNoteClose", [&] { return NSFNoteClose(hNote); });
    return nStatus;
}

NSFSTATUS nsfInitSubfiles(NsfContext *pContext)
{
    static const char szFunc[] = "nsfInitSubfiles";
    nsfLog(pContext, LOG_INFO, szFunc, "Creating ID table...");
    DHANDLE hTable = NULLHANDLE;
    if (nsfCallNotes(pContext, szFunc, "IDCreateTable", [&] { return IDCreateTable(4, &hTable); }) != NSF_OK)
        return NSF_ERR_MEMORY;
    if (hTable == NULLHANDLE) {
        nsfLog(pContext, LOG_ERROR, szFunc, "IDCreateTable() returned null ID table handle");
        return NSF_ERR_MEMORY;
    }
    pContext->hIDTable = hTable;

    nsfFillSubfiles(pContext);

    NSFSTATUS nStatus = NSF_OK;
    if (pContext->hIDTable != NULLHANDLE) {
        nsfLog(pContext, LOG_INFO, szFunc, "Destroying ID table...");
        nStatus = nsfCallNotes(pContext, szFunc, "IDDestroyTable", [&] { return IDDestroyTable(pContext->hIDTable); });
        if (nStatus == NSF_OK)
            pContext->hIDTable = NULLHANDLE;
    }
    return nStatus;
}
