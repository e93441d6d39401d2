/*
 * The image catalogue. Image resource notes are form notes with an "$ImageData" item; their "$TITLE" ends
 * in the link name after the last ';'. The item text reader fills the image type and bytes into the record
 * that pImageWork points at while "$ImageData" is read.
 */
#include "catalogue/images.h"

#include <string.h>
#include <strings.h>

#include "entry/entry.h"
#include "log/log.h"
#include "log/trace.h"
#include "notes/item_calls.h"
#include "text/itemtext.h"
#include "notesapi/notes.h"
#include "text/names.h"

namespace {

const DWORD dwOpenFlags = 0x03000000;   /* OPEN_RAW_MIME */
const int32_t cImagesStep = 10;

STATUS LNCALLBACK nsfSearchCB2(void *pParameter, SEARCH_MATCH *pMatch, ITEM_TABLE *)
{
    static const char szFunc[] = "nsfSearchCB2";
    NsfContext *pContext = static_cast<NsfContext *>(pParameter);
    nsfRetAPI(pContext, szFunc, 0);

    SEARCH_MATCH match;
    memcpy(&match, pMatch, sizeof match);
    DWORD dwNoteID = match.ID.NoteID;
    BOOL bInserted = FALSE;
    uint16_t wNotes = 0;
    NSFSTATUS nStatus = nsfCallNotes(pContext, szFunc, "IDInsert",
                                     [&] { return IDInsert(pContext->hIDTable, dwNoteID, &bInserted); }, &wNotes);
    STATUS wStatus = nStatus == NSF_ERR_EXCEPTION ? (STATUS)ERR_RUNTIME_INTERNAL : wNotes;
    if (nStatus == NSF_OK && bInserted)
        nsfLogf(pContext, LOG_DIAG, szFunc, "Inserted note (image), dwNoteID %d, wNoteClass 0x%x (%s)", (int)dwNoteID,
                (unsigned)match.NoteClass, nsfNoteClassName(match.NoteClass));

    nsfCallAPI(pContext, szFunc, "NSFSearch");
    return wStatus;
}

const char *nsfImageTypeName(uint16_t wImageType)
{
    switch (wImageType) {
    case 1:
        return "GIF";
    case 2:
        return "JPEG";
    case 3:
        return "BMP";
    default:
        return "UNKNOWN";
    }
}

/* Steps of nsfGetNoteImage while the note is open. */
NSFSTATUS nsfReadNoteImage(NsfContext *pContext, uint32_t hNote, uint32_t dwNoteID)
{
    static const char szFunc[] = "nsfGetNoteImage";
    if (!nsfIsItemPresent(pContext, szFunc, hNote, "$ImageData"))
        return NSF_OK;

    NSFSTATUS nStatus = nsfGetItemText(pContext, hNote, "$TITLE");
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_DIAG, szFunc, "nsfGetItemText() failed");
        return nStatus;
    }
    const char *pszTitle = reinterpret_cast<const char *>(pContext->rgbBuffer);
    if (*pszTitle == '\0') {
        nsfLog(pContext, LOG_DIAG, szFunc, "No title");
        return NSF_OK;
    }
    const char *pchSemicolon = strrchr(pszTitle, ';');
    if (pchSemicolon == nullptr) {
        nsfLogf(pContext, LOG_DIAG, szFunc, "No image link in title %s", pszTitle);
        return NSF_OK;
    }
    char szLinkName[NSF_IMAGE_LINK_NAME_SIZE];
    size_t cchLink = strnlen(pchSemicolon + 1, sizeof szLinkName - 1);
    memcpy(szLinkName, pchSemicolon + 1, cchLink);
    szLinkName[cchLink] = '\0';
    nsfLogf(pContext, LOG_DIAG, szFunc, "pszLinkName %s", pchSemicolon + 1);

    nStatus = nsfNewImage(pContext);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfNewImage() failed");
        return nStatus;
    }
    Image *pImage = pContext->rgImages[pContext->cImages - 1];
    if (pImage == nullptr) {
        nsfLog(pContext, LOG_ERROR, szFunc, "No image");
        return NSF_ERR_FAILED;
    }
    pImage->dwNoteID = dwNoteID;
    nsfLogf(pContext, LOG_INFO, szFunc, "Added note as image, dwNoteID %d, cImages %d", (int)dwNoteID, pContext->cImages);
    memcpy(pImage->pszLinkName, szLinkName, cchLink + 1);

    pContext->pImageWork = pImage;
    nStatus = nsfGetItemText(pContext, hNote, "$ImageData");
    pContext->pImageWork = nullptr;
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_DIAG, szFunc, "nsfGetItemText() failed");
        return nStatus;
    }
    nsfLogf(pContext, LOG_DIAG, szFunc, "Image.wImageType %d (CDIMAGETYPE_%s)", (int)pImage->wImageType,
            nsfImageTypeName(pImage->wImageType));
    nsfLogf(pContext, LOG_DUMP, szFunc, "Image.ucbData %d 0x%x, rgbData...", (int)pImage->ucbData,
            (unsigned)pImage->ucbData);
    nsfLogDump(pContext, LOG_DUMP, pImage->rgbData, pImage->ucbData);
    return NSF_OK;
}

} // namespace

NSFSTATUS nsfNewImage(NsfContext *pContext)
{
    static const char szFunc[] = "nsfNewImage";

    if (pContext->rgImages == nullptr) {
        pContext->cImages = 0;
        int32_t cMax = pContext->dwIDEntries > 0 ? pContext->dwIDEntries : 0;
        int32_t cb = 0;
        bool bOverflow = __builtin_mul_overflow(cMax, (int32_t)sizeof(Image *), &cb);
        Image **rgNew = bOverflow ? nullptr : static_cast<Image **>(nsfMalloc(pContext, (size_t)cb));
        if (rgNew == nullptr) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating image array, cImagesMax %d", cMax);
            return NSF_ERR_MEMORY;
        }
        memset(rgNew, 0, (size_t)cb);
        pContext->rgImages = rgNew;
        pContext->cImagesMax = cMax;
        nsfLogf(pContext, LOG_DIAG, szFunc, "cImagesMax %d", pContext->cImagesMax);
    }
    if (pContext->cImages >= pContext->cImagesMax) {
        int32_t cWanted = 0;
        if (!nsfGrowTable(pContext, &pContext->rgImages, &pContext->cImagesMax, cImagesStep, &cWanted)) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error re-allocating image array, cImagesMax %d", cWanted);
            return NSF_ERR_MEMORY;
        }
        nsfLogf(pContext, LOG_DIAG, szFunc, "cImagesMax %d", pContext->cImagesMax);
    }

    Image *pImage = static_cast<Image *>(nsfMalloc(pContext, sizeof(Image)));
    if (pImage == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating image, cImages %d", pContext->cImages);
        return NSF_ERR_MEMORY;
    }
    memset(pImage, 0, sizeof *pImage);
    pImage->nImage = pContext->cImages;
    pContext->rgImages[pContext->cImages] = pImage;
    pContext->cImages++;
    return NSF_OK;
}

NSFSTATUS nsfGetNoteImage(NsfContext *pContext, uint32_t dwNoteID)
{
    static const char szFunc[] = "nsfGetNoteImage";
    nsfLog(pContext, LOG_DIAG, nullptr, "");
    nsfLogf(pContext, LOG_DIAG, szFunc, "Getting note image, dwNoteID %d", (int)dwNoteID);
    NOTEHANDLE hNote = NULLHANDLE;
    NSFSTATUS nStatus = nsfCallNotes(pContext, szFunc, "NSFNoteOpenExt",
                                     [&] { return NSFNoteOpenExt(pContext->hDb, dwNoteID, dwOpenFlags, &hNote); });
    if (nStatus != NSF_OK)
        return nStatus;
    nStatus = nsfReadNoteImage(pContext, hNote, dwNoteID);
    nsfCallNotes(pContext, szFunc, "NSFNoteClose", [&] { return NSFNoteClose(hNote); });
    return nStatus;
}

NSFSTATUS nsfInitImages(NsfContext *pContext)
{
    static const char szFunc[] = "nsfInitImages";
    nsfLog(pContext, LOG_INFO, szFunc, "Searching for notes (for images)...");
    if (nsfCallNotes(pContext, szFunc, "NSFSearch", [&] {
            return NSFSearch(pContext->hDb, NULLHANDLE, nullptr, 0, NOTE_CLASS_FORM, nullptr, nsfSearchCB2, pContext,
                             nullptr);
        }) == NSF_OK) {
        nsfLog(pContext, LOG_DIAG, szFunc, "Search for notes (for images) done");
        DWORD dwEntries = 0;
        nsfCallNotesUnjudged(pContext, szFunc, "IDEntries", &dwEntries, [&] { return IDEntries(pContext->hIDTable); });
        pContext->dwIDEntries = (int32_t)dwEntries;
        nsfLogf(pContext, LOG_DIAG, szFunc, "dwIDEntries %d", pContext->dwIDEntries);

        nsfLog(pContext, LOG_INFO, szFunc, "Getting images from notes...");
        DWORD dwNoteID = 0;
        for (BOOL bFirst = TRUE;; bFirst = FALSE) {
            BOOL bFound = FALSE;
            if (nsfCallNotesUnjudged(pContext, szFunc, "IDScan", &bFound,
                                     [&] { return IDScan(pContext->hIDTable, bFirst, &dwNoteID); }) != NSF_OK ||
                !bFound)
                break;
            if (nsfGetNoteImage(pContext, dwNoteID) != NSF_OK)
                nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetNoteImage() failed");
        }
    }

    nsfLog(pContext, LOG_INFO, szFunc, "Deleting ID table...");
    return nsfCallNotes(pContext, szFunc, "IDDeleteAll", [&] { return IDDeleteAll(pContext->hIDTable); });
}

Image *nsfFindImage(NsfContext *pContext, const char *pszLinkName)
{
    static const char szFunc[] = "nsfFindImage";
    if (pContext->rgImages == nullptr) {
        nsfLog(pContext, LOG_WARNING, szFunc, "No images");
        return nullptr;
    }
    for (int32_t i = 0; i < pContext->cImages; i++) {
        Image *pImage = pContext->rgImages[i];
        if (pImage != nullptr && pszLinkName != nullptr && strcasecmp(pImage->pszLinkName, pszLinkName) == 0)
            return pImage;
    }
    nsfLogf(pContext, LOG_WARNING, szFunc, "Image not found, pszLinkName %s", pszLinkName != nullptr ? pszLinkName : "");
    return nullptr;
}
