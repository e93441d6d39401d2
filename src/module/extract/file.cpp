/*
 * Attachment extraction. The Notes API writes the attachment (a "$FILE" object or an OLE object) to a
 * fresh temporary file; the file is then copied to the host stream through the main buffer and deleted,
 * whatever happened in between. The host stream is opened only once the temporary file is ready.
 */
#include "extract/extract.h"

#include <string.h>

#include "catalogue/subfiles.h"
#include "entry/tempdir.h"
#include "log/log.h"
#include "log/trace.h"
#include "notesapi/notes.h"
#include "vos/tmos.h"

namespace {

const char szFunc[] = "nsfExtractFile";
const char szFileItem[] = "$FILE";
const int32_t nMaxAttachment = 0x7FFFFFFF;

/* Writes the nAttachment-th "$FILE" item of the note to pszTempFile. */
NSFSTATUS nsfExtractAttachment(NsfContext *pContext, const SubFile *pSubFile, uint32_t hNote, ENCRYPTION_KEY *pKey,
                               const char *pszTempFile)
{
    BLOCKID bhItem{};
    BLOCKID bhValue{};
    WORD wType = 0;
    DWORD dwLength = 0;
    NSFSTATUS nStatus = nsfCallNotes(pContext, szFunc, "NSFItemInfo", [&] {
        return NSFItemInfo(hNote, szFileItem, 5, &bhItem, &wType, &bhValue, &dwLength);
    });
    for (int32_t nCounter = 0; nStatus == NSF_OK && nCounter + 1 != pSubFile->nAttachment; nCounter++) {
        if (nCounter >= nMaxAttachment - 1)
            return NSF_ERR_FAILED;
        BLOCKID bhPrevious = bhItem;
        nStatus = nsfCallNotes(pContext, szFunc, "NSFItemInfoNext", [&] {
            return NSFItemInfoNext(hNote, bhPrevious, szFileItem, 5, &bhItem, &wType, &bhValue, &dwLength);
        });
    }
    if (nStatus != NSF_OK)
        return nStatus;
    return nsfCallNotes(pContext, szFunc, "NSFNoteExtractFile",
                        [&] { return NSFNoteExtractFile(hNote, bhItem, pszTempFile, pKey); });
}

/* Copies the open temporary file to the host stream: open, chunks of up to ucbBufferSize bytes, close. */
NSFSTATUS nsfCopyToIO(NsfContext *pContext, TMOS_FILE *pFile, IOobj64 *pIO)
{
    if (pIO->twOpenFunc(pIO) == 0) {
        nsfLog(pContext, LOG_ERROR, szFunc, "IOobj64.twOpenFunc() failed");
        return NSF_ERR_IO;
    }
    NSFSTATUS nStatus = NSF_OK;
    for (;;) {
        pContext->ucbBuffer =
            static_cast<uint32_t>(tmos_fread(pFile, pContext->rgbBuffer, 1, pContext->ucbBufferSize));
        if (pContext->ucbBuffer == 0)
            break;
        if (pIO->twWriteFunc(pIO, pContext->rgbBuffer, pContext->ucbBuffer) == 0) {
            nsfLogValue(pContext, LOG_ERROR, szFunc, "IOobj64.twWriteFunc() failed, IOobj64.pFileName...",
                        pIO->pFileName != nullptr ? pIO->pFileName : "");
            nStatus = NSF_ERR_IO;
            break;
        }
    }
    if (pIO->twCloseFunc != nullptr && pIO->twCloseFunc(pIO) == 0) {
        nsfLog(pContext, LOG_ERROR, szFunc, "IOobj64.twCloseFunc() failed");
        nStatus = NSF_ERR_IO;
    }
    return nStatus;
}

} // namespace

NSFSTATUS nsfExtractFile(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, ENCRYPTION_KEY *pKey,
                         IOobj64 *pIO)
{
    char szTempFile[NSF_TEMP_PATH_SIZE] = "";
    TMOS_FILE *pFile = nullptr;

    NSFSTATUS nStatus = nsfGetTempFilePath(pContext, "tmp", szTempFile, sizeof szTempFile);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetTempFilePath() failed");
        szTempFile[0] = '\0';
    } else {
        switch (pSubFile->nSubFileType) {
        case TMSubFileType_Attachment:
            nStatus = nsfExtractAttachment(pContext, pSubFile, hNote, pKey, szTempFile);
            break;
        case TMSubFileType_OLE:
            nStatus = nsfCallNotes(pContext, szFunc, "NSFNoteExtractOLE2Object", [&] {
                return NSFNoteExtractOLE2Object(hNote, reinterpret_cast<const char *>(pSubFile->rgbOrigFileName),
                                                szTempFile, nullptr, 1, 0);
            });
            break;
        default:
            nsfLogf(pContext, LOG_ERROR, szFunc, "Invalid nSubFileType %d", pSubFile->nSubFileType);
            nStatus = NSF_ERR_FAILED;
            break;
        }
        if (nStatus == NSF_OK) {
            pFile = tmos_fopen(szTempFile, "r+b", 0);
            if (pFile == nullptr) {
                nsfLogValue(pContext, LOG_ERROR, szFunc, "tmos_fopen() failed, szTempFile...", szTempFile);
                nStatus = NSF_ERR_IO;
            } else {
                nStatus = nsfCopyToIO(pContext, pFile, pIO);
            }
        }
    }

    if (nStatus != NSF_OK) {
        if (pSubFile->nSubFileType == TMSubFileType_OLE) {
            nsfLog(pContext, LOG_WARNING, szFunc, "rgbOrigFileName...");
            if (pSubFile->rgbOrigFileName != nullptr)
                nsfLogDump(pContext, LOG_WARNING, pSubFile->rgbOrigFileName,
                           static_cast<uint32_t>(pSubFile->cbOrigFileName));
        }
        if (pSubFile->nSubFileType == TMSubFileType_Attachment || pSubFile->nSubFileType == TMSubFileType_OLE)
            nsfLogValue(pContext, LOG_WARNING, szFunc, "szTempFile...", szTempFile);
    }
    if (pFile != nullptr && tmos_fclose(pFile) != 0) {
        nsfLogValue(pContext, LOG_WARNING, szFunc, "tmos_fclose() failed, szTempFile...", szTempFile);
        nStatus = NSF_ERR_IO;
    }
    if (szTempFile[0] != '\0' && tmos_unlink(szTempFile, 0) != 0) {
        nsfLogValue(pContext, LOG_WARNING, szFunc, "tmos_unlink() failed, szTempFile...", szTempFile);
        nStatus = NSF_ERR_IO;
    }
    return nStatus;
}
