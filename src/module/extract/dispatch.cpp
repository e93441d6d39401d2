/*
 * Extraction (slots 5 and 7). Slot 5 opens and decrypts the note behind one subfile and hands it to the
 * attachment extractor or the note exporter; slot 7 does the same, or extracts a note named by the host
 * together with its attachments, which join the subfile table only for the time of the call.
 */
#include "entry/entry.h"

#include <string.h>

#include "catalogue/subfiles.h"
#include "extract/extract.h"
#include "log/log.h"
#include "log/trace.h"
#include "notesapi/notes.h"

namespace {

const char *OrEmpty(const char *psz)
{
    return psz != nullptr ? psz : "";
}

void nsfLogExtractInfo(NsfContext *pContext, const char *pszFunc, const SubFileExtractInfo *pExtract)
{
    uint32_t dwFlag = pExtract->infoFlag;
    auto bit = [dwFlag](uint32_t dwBit) { return (dwFlag & dwBit) != 0 ? 1 : 0; };
    nsfLog(pContext, LOG_INFO, pszFunc, "");
    nsfLog(pContext, LOG_INFO, pszFunc, "Returning SubFileExtractInfo...");
    nsfLogf(pContext, LOG_INFO, pszFunc, "infoFlag 0x%lx", (unsigned long)dwFlag);
    nsfLogf(pContext, LOG_INFO, pszFunc, "TMSubFileExtractInfoFlag_NeedsExtraction %d, _FileCreated %d, _CharsetConverted %d",
            bit(TMSubFileExtractInfoFlag_NeedsExtraction), bit(TMSubFileExtractInfoFlag_FileCreated),
            bit(TMSubFileExtractInfoFlag_CharsetConverted));
    nsfLogf(pContext, LOG_INFO, pszFunc,
            "TMSubFileExtractInfoFlag_External %d, _FolderCreated %d, _NonFormattedBodyExtracted %d",
            bit(TMSubFileExtractInfoFlag_External), bit(TMSubFileExtractInfoFlag_FolderCreated),
            bit(TMSubFileExtractInfoFlag_NonFormattedBodyExtracted));
}

/* Takes the subfiles from nFirst on out of the table again, the last one first. */
void nsfRemoveSubFiles(NsfContext *pContext, int32_t nFirst)
{
    for (int32_t i = pContext->cSubFiles - 1; i >= nFirst; i--) {
        SubFile *pSubFile = pContext->rgSubFiles[i];
        if (pSubFile != nullptr) {
            if (pSubFile->rgbOrigFileName != nullptr)
                nsfFree(pContext, pSubFile->rgbOrigFileName);
            if (pSubFile->pbFileName != nullptr)
                nsfFree(pContext, pSubFile->pbFileName);
            nsfFree(pContext, pSubFile);
        }
        pContext->rgSubFiles[i] = nullptr;
    }
    pContext->cSubFiles = nFirst;
}

} // namespace

int32_t nsfExtractSubFileToIOobj(void *pvContext, int32_t nIndex, IOobj64 *pIO, SubFileExtractInfo *pExtract,
                                 void *pHost, uint32_t nFlag)
{
    static const char szFunc[] = "nsfExtractSubFileToIOobj";
    if (pvContext == nullptr || pIO == nullptr || pExtract == nullptr || pHost == nullptr)
        return NSF_ERR_ARGUMENT;
    NsfContext *pContext = static_cast<NsfContext *>(pvContext);

    pContext->nIndex = nIndex;
    nsfLog(pContext, LOG_INFO, szFunc, "");
    nsfLogf(pContext, LOG_INFO, szFunc, "nIndex %d 0x%X", nIndex, (unsigned)nIndex);
    nsfLogValue(pContext, LOG_INFO, szFunc, "IOobj64.pFileName...", OrEmpty(pIO->pFileName));
    nsfLogValue(pContext, LOG_INFO, szFunc, "SubFileExtractInfo.filePath...", OrEmpty(pExtract->filePath));
    nsfLogValue(pContext, LOG_INFO, szFunc, "SubFileExtractInfo.fileName...", OrEmpty(pExtract->fileName));
    nsfLogf(pContext, LOG_INFO, szFunc, "nFlag 0x%x", (unsigned)nFlag);

    pContext->bExcludeMailHeader = (nFlag & TM_EXTRACT_EXCLUDE_MAIL_HEADER) != 0 ? 1 : 0;
    pContext->bGetFormattedBody = (nFlag & TM_EXTRACT_FORMATTED_BODY) != 0 ? 1 : 0;
    nsfLogf(pContext, LOG_INFO, szFunc, "bExcludeMailHeader %d, bGetFormattedBody %d", pContext->bExcludeMailHeader,
            pContext->bGetFormattedBody);

    if (nIndex < 0 || nIndex >= pContext->cSubFiles) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Invalid nIndex %d, cSubFiles %d", nIndex, pContext->cSubFiles);
        return NSF_ERR_ARGUMENT;
    }
    SubFile *pSubFile = pContext->rgSubFiles[nIndex];
    if (pSubFile == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "No subfile, nIndex %d", nIndex);
        return NSF_ERR_FAILED;
    }

    /* The root folder record has no note behind it (note ID 0): nothing to open, nothing to write. */
    if (pSubFile->nSubFileType == TMSubFileType_Folder) {
        nsfLogExtractInfo(pContext, szFunc, pExtract);
        return NSF_OK;
    }

    NOTEHANDLE hNote = NULLHANDLE;
    NSFSTATUS nStatus = nsfCallNotes(pContext, szFunc, "NSFNoteOpenExt", [&] {
        return NSFNoteOpenExt(pContext->hDb, pSubFile->dwNoteID, NSF_OPEN_NOTE_FLAGS, &hNote);
    });
    if (nStatus != NSF_OK)
        return nStatus;

    ENCRYPTION_KEY key;
    memset(&key, 0, sizeof key);
    nStatus = nsfCallNotes(pContext, szFunc, "NSFNoteDecrypt", [&] { return NSFNoteDecrypt(hNote, 0, &key); });
    if (nStatus == NSF_OK) {
        switch (pSubFile->nSubFileType) {
        case TMSubFileType_Main:
            nStatus = nsfExtractNote(pContext, pSubFile, hNote, pIO, pExtract);
            if (nStatus != NSF_OK)
                nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractNote() failed");
            break;
        case TMSubFileType_Attachment:
        case TMSubFileType_OLE:
            nStatus = nsfExtractFile(pContext, pSubFile, hNote, &key, pIO);
            if (nStatus != NSF_OK)
                nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractFile() failed");
            break;
        default:
            nsfLogf(pContext, LOG_ERROR, szFunc, "Invalid nSubFileType %d", pSubFile->nSubFileType);
            nStatus = NSF_ERR_FAILED;
            break;
        }
        if (nStatus == NSF_OK)
            nsfLogExtractInfo(pContext, szFunc, pExtract);
    }

    nsfCallNotes(pContext, szFunc, "NSFNoteClose", [&] { return NSFNoteClose(hNote); });
    return nStatus;
}

int32_t nsfExtractSubFileToIOobjEx(void *pvContext, int32_t nIndex, IOobj64 *pIO, SubFileExtractInfo *pExtract,
                                   void *pHost, ExtraSubFileInfo *pExtra)
{
    static const char szFunc[] = "nsfExtractSubFileToIOobjEx";
    if (pvContext == nullptr || pIO == nullptr || pExtract == nullptr || pHost == nullptr || pExtra == nullptr)
        return NSF_ERR_ARGUMENT;
    NsfContext *pContext = static_cast<NsfContext *>(pvContext);
    pContext->nIndex = nIndex;
    nsfLog(pContext, LOG_INFO, szFunc, "");
    nsfLog(pContext, LOG_INFO, szFunc, "...");

    if (pExtra->pNote == nullptr) {
        nsfLog(pContext, LOG_INFO, szFunc, "Calling nsfExtractSubFileToIOobj()...");
        NSFSTATUS nStatus = nsfExtractSubFileToIOobj(pContext, nIndex, pIO, pExtract, pHost, pExtra->dwFlags);
        if (nStatus != NSF_OK)
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractSubFileToIOobj() failed");
        return nStatus;
    }

    const NoteDescriptor *pNote = pExtra->pNote;
    if (pNote->qwNoteID == 0 || pNote->nKind != TM_NOTE_DESCRIPTOR_KIND) {
        nsfLog(pContext, LOG_ERROR, szFunc, "Invalid ExtraSubFileInfo");
        return NSF_ERR_ARGUMENT;
    }
    uint32_t dwNoteID = static_cast<uint32_t>(pNote->qwNoteID);
    nsfLogf(pContext, LOG_INFO, szFunc, "Extracting note (with attachments), dwNoteID %d", (int)dwNoteID);

    int32_t nFirst = pContext->cSubFiles;
    NSFSTATUS nStatus = nsfGetNoteSubfiles(pContext, dwNoteID);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetNoteSubfiles() failed");
        /* whatever was added before the failure goes again */
        if (pContext->cSubFiles > nFirst)
            nsfRemoveSubFiles(pContext, nFirst);
        return nStatus;
    }
    nsfLogf(pContext, LOG_INFO, szFunc, "Note subfiles %d", pContext->cSubFiles - nFirst);

    int32_t cSubFilesAfter = pContext->cSubFiles;
    for (int32_t i = nFirst; i < cSubFilesAfter; i++) {
        nsfLogf(pContext, LOG_INFO, szFunc, "Calling nsfExtractSubFileToIOobj() for subfile %d", i);
        nStatus = nsfExtractSubFileToIOobj(pContext, i, pIO, pExtract, pHost, pExtra->dwFlags);
        if (nStatus != NSF_OK)
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractSubFileToIOobj() failed");
    }

    nsfRemoveSubFiles(pContext, nFirst);
    return nStatus;
}
