/*
 * Note export. A note goes to the host stream in one of three renderings: the Notes DXL exporter's XML,
 * a dump of every item as "name: text" lines, or the mail rendering (which for a note that is not mail is
 * its "Body" text alone). nsfExtractField writes one labelled value for the field dump and the mail header.
 */
#include "extract/extract.h"

#include <string.h>

#include "log/log.h"
#include "log/trace.h"
#include "metadata/metadata.h"
#include "notesapi/notes.h"
#include "notesapi/osmem.h"
#include "notesapi/xml.h"
#include "text/buffer.h"
#include "text/html_escape.h"
#include "text/itemtext.h"

bool nsfWriteIO(IOobj64 *pIO, const void *pv, uint32_t cb)
{
    return pIO->twWriteFunc(pIO, static_cast<const uint8_t *>(pv), cb) != 0;
}

NSFSTATUS nsfExtractNote(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, IOobj64 *pIO,
                         SubFileExtractInfo *)
{
    static const char szFunc[] = "nsfExtractNote";
    if (pIO->twOpenFunc(pIO) == 0) {
        nsfLog(pContext, LOG_ERROR, szFunc, "IOobj64.twOpenFunc() failed");
        return NSF_ERR_IO;
    }

    NSFSTATUS nStatus = NSF_OK;
    if (pContext->bExportDXL) {
        nStatus = nsfExtractNoteDXL(pContext, hNote, pIO);
        if (nStatus != NSF_OK)
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractNoteDXL() failed");
    } else {
        uint8_t bFormatted = pSubFile->bNoteIsMail ? pContext->bGetFormattedBody : 0;
        if (!bFormatted && pContext->bExtractAllFields) {
            nStatus = nsfExtractAllFields(pContext, hNote, pIO);
            if (nStatus != NSF_OK)
                nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractAllFields() failed");
        } else {
            uint8_t bExcludeHeader = pSubFile->bNoteIsMail ? pContext->bExcludeMailHeader : 1;
            nStatus = nsfExtractMailFields(pContext, pSubFile, hNote, pIO, bFormatted, bExcludeHeader);
            if (nStatus != NSF_OK)
                nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractMailFields() failed");
        }
    }

    if (pIO->twCloseFunc != nullptr && pIO->twCloseFunc(pIO) == 0) {
        nsfLog(pContext, LOG_ERROR, szFunc, "IOobj64.twCloseFunc() failed");
        nStatus = NSF_ERR_IO;
    }
    return nStatus;
}

void LNCALLBACK nsfDXLExportCB(const BYTE *pbBuffer, DWORD dwLength, void *pAction)
{
    IOobj64 *pIO = static_cast<IOobj64 *>(pAction);
    /* the exporter has no way to hear of a failed write: the export goes on */
    pIO->twWriteFunc(pIO, pbBuffer, dwLength);
}

NSFSTATUS nsfExtractNoteDXL(NsfContext *pContext, uint32_t hNote, IOobj64 *pIO)
{
    static const char szFunc[] = "nsfExtractNoteDXL";
    nsfLog(pContext, LOG_INFO, szFunc, "Exporting note to DXL...");

    DXLEXPORTHANDLE hExporter = NULLHANDLE;
    NSFSTATUS nStatus = nsfCallNotes(pContext, szFunc, "DXLCreateExporter",
                                     [&] { return DXLCreateExporter(&hExporter); });
    if (nStatus != NSF_OK)
        return nStatus;

    if (!pContext->bExportDXL_PureXML) {
        DXL_RICHTEXT_OPTION eOption = eRichtextAsItemdata;
        nStatus = nsfCallNotes(pContext, szFunc, "DXLSetExporterProperty", [&] {
            return DXLSetExporterProperty(hExporter, eDxlRichtextOption, &eOption);
        });
    }

    if (nStatus == NSF_OK) {
        NSFSTATUS nExport = nsfCallNotes(pContext, szFunc, "DXLExportNote",
                                         [&] { return DXLExportNote(hExporter, nsfDXLExportCB, hNote, pIO); });

        MEMHANDLE hLog = NULLHANDLE;
        NSFSTATUS nLog = nsfCallNotes(pContext, szFunc, "DXLGetExporterProperty", [&] {
            return DXLGetExporterProperty(hExporter, eDxlExportResultLog, &hLog);
        });
        if (nLog == NSF_OK && hLog != NULLHANDLE) {
            const char *pszLog = nullptr;
            nsfCallNotesUnjudged(pContext, szFunc, "OSMemoryLock", &pszLog,
                                 [&] { return static_cast<const char *>(OSMemoryLock(hLog)); });
            if (pszLog != nullptr) {
                int32_t nLevel = nExport != NSF_OK ? LOG_WARNING : LOG_INFO;
                nsfLogValue(pContext, nLevel, szFunc, "DXL Export Result Log...", pszLog);
                nsfCallNotesUnjudged(pContext, szFunc, "OSMemoryUnlock", [&] { OSMemoryUnlock(hLog); });
            }
            nsfCallNotesUnjudged(pContext, szFunc, "OSMemoryFree", [&] { OSMemoryFree(hLog); });
        }
        nStatus = nExport != NSF_OK ? nExport : nLog;
    }

    nsfCallNotesUnjudged(pContext, szFunc, "DXLDeleteExporter", [&] { DXLDeleteExporter(hExporter); });
    return nStatus;
}

NSFSTATUS nsfExtractAllFields(NsfContext *pContext, uint32_t hNote, IOobj64 *pIO)
{
    static const char szFunc[] = "nsfExtractAllFields";
    NSFSTATUS nStatus = nsfGetNoteItemNames(pContext, hNote);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetNoteItemNames() failed");
        return nStatus;
    }

    NSFSTATUS nResult = NSF_OK;
    for (int32_t i = 0; i < pContext->cItemNames; i++) {
        const char *pszItemName = pContext->rgItemNames[i];
        nsfLogf(pContext, LOG_DIAG, szFunc, "pszItemName %s", pszItemName);
        nStatus = nsfGetItemText(pContext, hNote, pszItemName);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetItemText() failed");
            nResult = nStatus;
            continue;
        }
        if (pContext->ucbBuffer == 0 && pContext->rgbBuffer != nullptr) {
            pContext->rgbBuffer[0] = ' ';
            pContext->rgbBuffer[1] = '\0';
            pContext->ucbBuffer = 1;
        }
        nStatus = nsfExtractField(pContext, hNote, pszItemName, pIO, 0);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractField() failed");
            return nStatus;
        }
        nResult = NSF_OK;
    }
    return nResult;
}

NSFSTATUS nsfExtractField(NsfContext *pContext, uint32_t, const char *pszLabel, IOobj64 *pIO, uint8_t bHTML)
{
    static const char szFunc[] = "nsfExtractField";

    char szLabel[NSF_LABEL_PART_MAX + 1];
    size_t cchLabel = 0;
    auto append = [&](const char *psz) {
        size_t cch = strlen(psz);
        if (cch > NSF_LABEL_PART_MAX - cchLabel)
            cch = NSF_LABEL_PART_MAX - cchLabel;
        memcpy(szLabel + cchLabel, psz, cch);
        cchLabel += cch;
    };
    if (pszLabel != nullptr) {
        if (bHTML)
            append("<B>");
        append(pszLabel);
        append(": ");
        if (bHTML)
            append("</B>");
    }
    szLabel[cchLabel] = '\0';
    if (cchLabel > 0 && !nsfWriteIO(pIO, szLabel, static_cast<uint32_t>(cchLabel))) {
        nsfLog(pContext, LOG_ERROR, szFunc, "IOobj64.twWriteFunc() failed (item name)");
        return NSF_ERR_IO;
    }

    if (bHTML) {
        NSFSTATUS nStatus = nsfConvertUTF8toHTML(pContext);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfConvertUTF8toHTML() failed");
            return nStatus;
        }
        nStatus = nsfCheckBuffer(pContext, 5);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
            return nStatus;
        }
        memcpy(pContext->rgbBuffer + pContext->ucbBuffer, "<BR>", 5);
        pContext->ucbBuffer += 4;
    }
    if (pContext->ucbBuffer == 0)
        return NSF_OK;

    NSFSTATUS nStatus = nsfCheckBuffer(pContext, 3);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
        return nStatus;
    }
    memcpy(pContext->rgbBuffer + pContext->ucbBuffer, "\r\n", 3);
    pContext->ucbBuffer += 2;
    if (!nsfWriteIO(pIO, pContext->rgbBuffer, pContext->ucbBuffer)) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "IOobj64.twWriteFunc() failed (item value), ucbBuffer %u",
                pContext->ucbBuffer);
        return NSF_ERR_IO;
    }
    return NSF_OK;
}
