/*
 * Mail notes, in two renderings that share these functions through their bFormatted switch.
 *
 * Plain: the header rows of the mail header table that have a value ("label: value"), then a blank line
 * and the "Body" text. A note that is not mail comes here without its header and gives its "Body" text
 * alone.
 *
 * Formatted: an MHT document (multipart/related). Its HTML part starts with a fixed prologue and a header
 * table of the same rows in HTML; the Notes API writes the body as composite data to a temporary file
 * (a MIME body is converted to composite data first), and the converter turns it into the rest of the
 * page, the image parts and the closing delimiter. A mail with a logo gets the logo image beside the
 * header and as the last part.
 */
#include "extract/extract.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "catalogue/subfiles.h"
#include "entry/tempdir.h"
#include "log/log.h"
#include "log/trace.h"
#include "notesapi/notes.h"
#include "richtext/base64.h"
#include "richtext/driver.h"
#include "text/buffer.h"
#include "text/itemtext.h"
#include "text/names.h"
#include "vos/tmos.h"

namespace {

enum : int32_t {
    nRowFirstSent = 1,
    nRowAltSent = 3,
    nRowNoSent = 4,
    nRowAfterSent = 5,
    nRowStarts = 11,
    nRowEnds = 12,
    nRowRepeats = 13,
    nRowAttachments = 16
};

/* NSFItemIsPresent: reported to the tracer with status 0 whatever the lookup gave. */
bool nsfHasItem(NsfContext *pContext, const char *pszFunc, uint32_t hNote, const char *pszItemName)
{
    STATUS wStatus = ERR_ITEM_NOT_FOUND;
    if (nsfCallNotesUnjudged(pContext, pszFunc, "NSFItemIsPresent", &wStatus, [&] {
            return NSFItemInfo(hNote, pszItemName, static_cast<WORD>(strlen(pszItemName)), nullptr, nullptr,
                               nullptr, nullptr);
        }) != NSF_OK)
        return false;
    return wStatus == NOERROR;
}

void nsfEmptyBuffer(NsfContext *pContext)
{
    pContext->ucbBuffer = 0;
    if (pContext->rgbBuffer != nullptr)
        pContext->rgbBuffer[0] = '\0';
}

/* Appends cb bytes to the main buffer, keeping a zero byte behind them. */
NSFSTATUS nsfAppendBuffer(NsfContext *pContext, const void *pv, uint32_t cb)
{
    NSFSTATUS nStatus = nsfCheckBuffer(pContext, nsfAddSize(cb, 1));
    if (nStatus != NSF_OK)
        return nStatus;
    memcpy(pContext->rgbBuffer + pContext->ucbBuffer, pv, cb);
    pContext->ucbBuffer += cb;
    pContext->rgbBuffer[pContext->ucbBuffer] = '\0';
    return NSF_OK;
}

/* The file names of the attachment subfiles behind the note, up to the next note, joined by ", ". */
NSFSTATUS nsfGetAttachmentList(NsfContext *pContext, const SubFile *pSubFile)
{
    bool bFirst = true;
    for (int32_t i = pSubFile->nSubFile + 1; i < pContext->cSubFiles; i++) {
        const SubFile *pNext = pContext->rgSubFiles[i];
        if (pNext == nullptr)
            continue;
        if (pNext->nSubFileType == TMSubFileType_Main)
            break;
        NSFSTATUS nStatus = NSF_OK;
        if (!bFirst)
            nStatus = nsfAppendBuffer(pContext, ", ", 2);
        if (nStatus == NSF_OK && pNext->pbFileName != nullptr && pNext->cbFileName > 0)
            nStatus = nsfAppendBuffer(pContext, pNext->pbFileName, static_cast<uint32_t>(pNext->cbFileName));
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, "nsfExtractMailHeader", "nsfCheckBuffer() failed");
            return nStatus;
        }
        bFirst = false;
    }
    return NSF_OK;
}

/* The word for a RepeatForUnit value, or null when its first letter is not one of D, M, W, Y. */
const char *nsfRepeatWord(char chUnit)
{
    switch (chUnit) {
    case 'D': return "Daily";
    case 'M': return "Monthly";
    case 'W': return "Weekly";
    case 'Y': return "Yearly";
    default: return nullptr;
    }
}

/* The MHT prologue, one write per line: the multipart/related frame and the start of its HTML part. */
const char *const rgszPrologue[] = {
    "MIME-Version: 1.0\r\n",
    "Content-Type: multipart/related;\r\n",
    "\ttype=\"text/html\";\r\n",
    "\tboundary=\"" NSF_MHT_BOUNDARY "\"\r\n",
    "\r\n",
    "This is a multi-part message in MIME format.\r\n",
    "\r\n",
    NSF_MHT_DELIMITER "\r\n",
    "Content-Type: text/html;\r\n",
    "\tcharset=\"utf-8\"\r\n",
    "Content-Transfer-Encoding: quoted-printable\r\n",
    "Content-Location: file://C:\\1.htm\r\n",
    "\r\n",
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n",
    "<HTML><HEAD>\r\n",
    "<META http-equiv=3DContent-Type content=3D\"text/html; charset=3Dutf-8\">\r\n",
    "<META content=3D\"MSHTML 6.00.6000.17080\" name=3DGENERATOR></HEAD>\r\n",
    "<BODY>\r\n",
};

const char szHeaderLogoStart[] = "<TABLE STYLE=3D\"VERTICAL-ALIGN:top;\">\r\n<TBODY>\r\n"
                                 "<TR STYLE=3D\"VERTICAL-ALIGN:top;\">\r\n<TD>\r\n"
                                 "<IMG src=3D\"file:///tm_%X_image999%s\">\r\n</TD>\r\n<TD>\r\n";
const char szHeaderStart[] = "<P>\r\n<FONT face=3D\"Arial Unicode MS\" size=3D2>\r\n";
const char szHeaderEnd[] = "<BR>\r\n</FONT>\r\n</P>\r\n";
const char szHeaderLogoEnd[] = "</TD>\r\n</TBODY>\r\n</TABLE>\r\n";
const char szLogoPartHeader[] = "%s\r\nContent-Type: image/%s\r\nContent-Transfer-Encoding: base64\r\n"
                                "Content-Location: file:///tm_%X_image999%s\r\n\r\n";
const char szLogoPartEnd[] = "\r\n\r\n%s--\r\n";

/* Extension and MIME subtype of a logo image by its wImageType; other types have neither. */
void nsfGetLogoType(uint16_t wImageType, const char **ppszExtension, const char **ppszSubtype)
{
    switch (wImageType) {
    case 1: *ppszExtension = ".gif"; *ppszSubtype = "gif"; break;
    case 2: *ppszExtension = ".jpeg"; *ppszSubtype = "jpeg"; break;
    case 3: *ppszExtension = ".bmp"; *ppszSubtype = "bmp"; break;
    default: *ppszExtension = ""; *ppszSubtype = ""; break;
    }
}

/* The mail's logo image, or null when it has none (or the catalogue no longer holds it). */
const Image *nsfGetMailLogo(const NsfContext *pContext, const SubFile *pSubFile)
{
    if (pSubFile->nMailLogoImage <= 0 || pSubFile->nMailLogoImage > pContext->cImages)
        return nullptr;
    return pContext->rgImages[pSubFile->nMailLogoImage - 1];
}

/* Formats into the main buffer (which is emptied first); the result is cut to what fits. */
NSFSTATUS nsfFormatBuffer(NsfContext *pContext, uint32_t cbMax, const char *pszFormat, ...)
    __attribute__((format(printf, 3, 4)));
NSFSTATUS nsfFormatBuffer(NsfContext *pContext, uint32_t cbMax, const char *pszFormat, ...)
{
    nsfEmptyBuffer(pContext);
    NSFSTATUS nStatus = nsfCheckBuffer(pContext, cbMax);
    if (nStatus != NSF_OK)
        return nStatus;
    va_list args;
    va_start(args, pszFormat);
    int n = vsnprintf(reinterpret_cast<char *>(pContext->rgbBuffer), cbMax, pszFormat, args);
    va_end(args);
    if (n < 0)
        n = 0;
    pContext->ucbBuffer = static_cast<uint32_t>(n) < cbMax ? static_cast<uint32_t>(n) : cbMax - 1;
    return NSF_OK;
}

/* Writes the main buffer after logging it at DIAG under pszTitle. */
NSFSTATUS nsfWriteMHTPiece(NsfContext *pContext, const char *pszFunc, IOobj64 *pIO, const char *pszTitle,
                           const char *pszFailure)
{
    nsfLog(pContext, LOG_DIAG, pszFunc, pszTitle);
    nsfLogDump(pContext, LOG_DIAG, pContext->rgbBuffer, pContext->ucbBuffer);
    if (!nsfWriteIO(pIO, pContext->rgbBuffer, pContext->ucbBuffer)) {
        nsfLogf(pContext, LOG_ERROR, pszFunc, "IOobj64.twWriteFunc() failed (%s), ucbBuffer %u", pszFailure,
                pContext->ucbBuffer);
        return NSF_ERR_IO;
    }
    return NSF_OK;
}

/* Ends the buffer at the converter's closing delimiter, searched backwards from where it would start. */
void nsfRemoveClosingDelimiter(NsfContext *pContext)
{
    static const uint32_t cbDelimiter = sizeof NSF_MHT_DELIMITER - 1;
    if (pContext->ucbBuffer < cbDelimiter + 2)
        return;
    for (uint32_t ib = pContext->ucbBuffer - (cbDelimiter + 2);; ib--) {
        if (memcmp(pContext->rgbBuffer + ib, NSF_MHT_DELIMITER, cbDelimiter) == 0) {
            pContext->ucbBuffer = ib;
            pContext->rgbBuffer[ib] = '\0';
            return;
        }
        if (ib == 0)
            return;
    }
}

/* The logo as the document's last part: part header, base64 data, closing delimiter. */
NSFSTATUS nsfWriteMailLogo(NsfContext *pContext, const SubFile *pSubFile, const Image *pImage, IOobj64 *pIO)
{
    static const char szFunc[] = "nsfExtractMailBody";
    static const char szFailure[] = "IOobj64.twWriteFunc() failed (mail logo image), ucbBuffer %u";
    const char *pszExtension = nullptr;
    const char *pszSubtype = nullptr;
    nsfGetLogoType(pImage->wImageType, &pszExtension, &pszSubtype);

    NSFSTATUS nStatus = nsfFormatBuffer(pContext, 512, szLogoPartHeader, NSF_MHT_DELIMITER, pszSubtype,
                                        pSubFile->dwNoteID, pszExtension);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
        return nStatus;
    }
    nsfLogValue(pContext, LOG_DIAG, szFunc, "Mail logo image header...", reinterpret_cast<char *>(pContext->rgbBuffer));
    if (!nsfWriteIO(pIO, pContext->rgbBuffer, pContext->ucbBuffer)) {
        nsfLogf(pContext, LOG_ERROR, szFunc, szFailure, pContext->ucbBuffer);
        return NSF_ERR_IO;
    }

    nsfEmptyBuffer(pContext);
    const int64_t cbBase64 = nsfGetBase64Capacity(static_cast<int32_t>(pImage->ucbData));
    nStatus = cbBase64 < 0 || cbBase64 > 0x7FFFFFFF || pImage->ucbData > 0x7FFFFFFF
                  ? NSF_ERR_MEMORY
                  : nsfCheckBuffer(pContext, static_cast<uint32_t>(cbBase64));
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
        return nStatus;
    }
    int32_t nBase64LineLen = 0;
    int32_t cch = pImage->rgbData == nullptr
                      ? 0
                      : encode_base64(pImage->rgbData, static_cast<int32_t>(pImage->ucbData),
                                      reinterpret_cast<char *>(pContext->rgbBuffer), &nBase64LineLen);
    pContext->ucbBuffer = static_cast<uint32_t>(cch);
    nsfLogf(pContext, LOG_DIAG, szFunc, "encode_base64() returned ucbBuffer %u, nBase64LineLen %d",
            pContext->ucbBuffer, nBase64LineLen);
    if (pContext->ucbBuffer == 0) {
        nsfLog(pContext, LOG_WARNING, szFunc, "encode_base64() failed");
    } else if (!nsfWriteIO(pIO, pContext->rgbBuffer, pContext->ucbBuffer)) {
        nsfLogf(pContext, LOG_ERROR, szFunc, szFailure, pContext->ucbBuffer);
        return NSF_ERR_IO;
    }

    nStatus = nsfFormatBuffer(pContext, 128, szLogoPartEnd, NSF_MHT_DELIMITER);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
        return nStatus;
    }
    if (!nsfWriteIO(pIO, pContext->rgbBuffer, pContext->ucbBuffer)) {
        nsfLogf(pContext, LOG_ERROR, szFunc, szFailure, pContext->ucbBuffer);
        return NSF_ERR_IO;
    }
    return NSF_OK;
}

} // namespace

NSFSTATUS nsfExtractMailFields(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, IOobj64 *pIO,
                               uint8_t bFormatted, uint8_t bExcludeHeader)
{
    static const char szFunc[] = "nsfExtractMailFields";
    nsfLogf(pContext, LOG_DIAG, szFunc, "bGetFormattedBody %d, bExcludeMailHeader %d", bFormatted, bExcludeHeader);
    if (bFormatted) {
        for (const char *pszLine : rgszPrologue) {
            if (!nsfWriteIO(pIO, pszLine, static_cast<uint32_t>(strlen(pszLine)))) {
                nsfLog(pContext, LOG_ERROR, szFunc, "IOobj64.twWriteFunc() failed (MHT header)");
                return NSF_ERR_IO;
            }
        }
    }

    if (!bExcludeHeader) {
        NSFSTATUS nStatus = nsfExtractMailHeader(pContext, pSubFile, hNote, pIO, bFormatted);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractMailHeader() failed");
            return nStatus;
        }
    }
    NSFSTATUS nStatus = nsfExtractMailBody(pContext, pSubFile, hNote, pIO, bFormatted);
    if (nStatus != NSF_OK)
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractMailBody() failed");
    return nStatus;
}

NSFSTATUS nsfExtractMailHeader(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, IOobj64 *pIO,
                               uint8_t bFormatted)
{
    static const char szFunc[] = "nsfExtractMailHeader";
    const Image *pLogo = bFormatted ? nsfGetMailLogo(pContext, pSubFile) : nullptr;

    if (bFormatted) {
        /* the logo's tag names the image by the note ID and the extension */
        char szLogoStart[sizeof szHeaderLogoStart + 32] = "";
        if (pLogo != nullptr) {
            const char *pszExtension = nullptr;
            const char *pszSubtype = nullptr;
            nsfGetLogoType(pLogo->wImageType, &pszExtension, &pszSubtype);
            snprintf(szLogoStart, sizeof szLogoStart, szHeaderLogoStart, pSubFile->dwNoteID, pszExtension);
        }
        NSFSTATUS nStatus = nsfFormatBuffer(pContext, 512, "%s%s", szLogoStart, szHeaderStart);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
            return nStatus;
        }
        nStatus = nsfWriteMHTPiece(pContext, szFunc, pIO, "MHT header start...", "MHT header start");
        if (nStatus != NSF_OK)
            return nStatus;
    }

    for (int32_t nRow = 0; MailHeaderTable[nRow].pszLabel != nullptr; nRow++) {
        const char *pszItemName = MailHeaderTable[nRow].pszItemName;
        if (nRow == nRowAltSent) {
            if (pContext->szAltSentField[0] == '\0')
                continue;
            pszItemName = pContext->szAltSentField;
        }
        if (nRow != nRowNoSent) {
            nsfLogf(pContext, LOG_DIAG, szFunc, "pszItemName %s", pszItemName);
            if (!nsfHasItem(pContext, szFunc, hNote, pszItemName))
                continue;
        }

        nsfEmptyBuffer(pContext);
        if (nRow == nRowAttachments) {
            NSFSTATUS nStatus = nsfGetAttachmentList(pContext, pSubFile);
            if (nStatus != NSF_OK)
                return nStatus;
        } else if (nRow == nRowNoSent) {
            if (!bFormatted) {
                NSFSTATUS nStatus = nsfAppendBuffer(pContext, " ", 1);
                if (nStatus != NSF_OK) {
                    nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
                    return nStatus;
                }
            }
        } else {
            NSFSTATUS nStatus = nsfGetItemText(pContext, hNote, pszItemName);
            if (nStatus != NSF_OK) {
                nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetItemText() failed");
                return nStatus;
            }
        }
        if (pContext->ucbBuffer == 0)
            continue;

        char *pszValue = reinterpret_cast<char *>(pContext->rgbBuffer);
        if (nRow == nRowStarts || nRow == nRowEnds) {
            char *pchCut = static_cast<char *>(memchr(pszValue, ';', pContext->ucbBuffer));
            if (pchCut != nullptr) {
                *pchCut = '\0';
                pContext->ucbBuffer = static_cast<uint32_t>(pchCut - pszValue);
            }
        } else if (nRow == nRowRepeats) {
            const char *pszWord = nsfRepeatWord(pszValue[0]);
            if (pszWord != nullptr) {
                nsfEmptyBuffer(pContext);
                NSFSTATUS nStatus = nsfAppendBuffer(pContext, pszWord, static_cast<uint32_t>(strlen(pszWord)));
                if (nStatus != NSF_OK) {
                    nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
                    return nStatus;
                }
            } else {
                nsfLogf(pContext, LOG_WARNING, szFunc, "Field %s has unhandled value: %s",
                        MailHeaderTable[nRow].pszLabel, pszValue);
            }
        }

        NSFSTATUS nStatus = nsfExtractField(pContext, hNote, MailHeaderTable[nRow].pszLabel, pIO, bFormatted);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfExtractField() failed");
            return nStatus;
        }
        if (nRow >= nRowFirstSent && nRow <= nRowAltSent)
            nRow = nRowAfterSent - 1;
    }

    if (bFormatted) {
        NSFSTATUS nStatus = nsfFormatBuffer(pContext, 512, "%s%s", szHeaderEnd, pLogo != nullptr ? szHeaderLogoEnd : "");
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
            return nStatus;
        }
        return nsfWriteMHTPiece(pContext, szFunc, pIO, "MHT header end...", "MHT header end");
    }
    return NSF_OK;
}

NSFSTATUS nsfExtractMailBody(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, IOobj64 *pIO,
                             uint8_t bFormatted)
{
    static const char szFunc[] = "nsfExtractMailBody";
    static const char szBody[] = "Body";

    nsfLogf(pContext, LOG_DIAG, szFunc, "pszItemName %s", szBody);
    const bool bHasBody = nsfHasItem(pContext, szFunc, hNote, szBody);
    if (!bHasBody && !bFormatted) {
        nsfLog(pContext, LOG_WARNING, szFunc, "No mail body item");
        return NSF_OK;
    }
    nsfEmptyBuffer(pContext);

    const Image *pLogo = bFormatted ? nsfGetMailLogo(pContext, pSubFile) : nullptr;
    if (bFormatted) {
        if (bHasBody) {
            NSFSTATUS nStatus = nsfGetBodyComposite(pContext, hNote);
            if (nStatus != NSF_OK) {
                nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetBodyComposite() failed");
                return nStatus;
            }
        }
        NSFSTATUS nStatus = nsfConvertCDtoMHT(pContext, hNote);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfConvertCDtoMHT() failed");
            return nStatus;
        }
        if (pLogo != nullptr)
            nsfRemoveClosingDelimiter(pContext);
    } else {
        NSFSTATUS nStatus = nsfGetItemText(pContext, hNote, szBody);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetItemText() failed");
            return nStatus;
        }
    }

    if (pContext->ucbBuffer != 0) {
        if (!bFormatted && !nsfWriteIO(pIO, "\r\n", 2)) {
            nsfLog(pContext, LOG_ERROR, szFunc, "IOobj64.twWriteFunc() failed (blank line)");
            return NSF_ERR_IO;
        }
        if (!nsfWriteIO(pIO, pContext->rgbBuffer, pContext->ucbBuffer)) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "IOobj64.twWriteFunc() failed (item value), ucbBuffer %u",
                    pContext->ucbBuffer);
            return NSF_ERR_IO;
        }
    }
    if (pLogo == nullptr)
        return NSF_OK;
    return nsfWriteMailLogo(pContext, pSubFile, pLogo, pIO);
}

NSFSTATUS nsfGetBodyComposite(NsfContext *pContext, uint32_t hNote)
{
    static const char szFunc[] = "nsfGetBodyComposite";
    static const char szBody[] = "Body";
    char szTempFile[NSF_TEMP_PATH_SIZE] = "";
    TMOS_FILE *pFile = nullptr;

    NSFSTATUS nStatus = nsfGetTempFilePath(pContext, "cd", szTempFile, sizeof szTempFile);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetTempFilePath() failed");
        return nStatus;
    }
    nsfLogValue(pContext, LOG_DIAG, szFunc, "szTempFile...", szTempFile);

    if (pContext->nLogLevel >= LOG_DIAG) {
        BOOL bHasMIME = FALSE;
        if (nsfCallNotesUnjudged(pContext, szFunc, "NSFNoteHasMIMEPart", &bHasMIME,
                                 [&] { return NSFNoteHasMIMEPart(hNote); }) == NSF_OK)
            nsfLogf(pContext, LOG_DIAG, szFunc, "bNoteHasMIMEPart %d", bHasMIME ? 1 : 0);
    }

    nsfLogf(pContext, LOG_DIAG, szFunc, "pszItemName %s", szBody);
    WORD wValueDataType = 0;
    nStatus = nsfCallNotes(pContext, szFunc, "NSFItemInfo", [&] {
        return NSFItemInfo(hNote, szBody, sizeof szBody - 1, nullptr, &wValueDataType, nullptr, nullptr);
    });
    if (nStatus == NSF_OK) {
        nsfLogf(pContext, LOG_DIAG, szFunc, "wValueDataType 0x%x (%s, %s)", (unsigned)wValueDataType,
                nsfTypeName(wValueDataType), nsfClassName(wValueDataType));
        if (wValueDataType == TYPE_MIME_PART) {
            nsfLog(pContext, LOG_DIAG, szFunc, "Converting MIME data to composite data...");
            nStatus = nsfCallNotes(pContext, szFunc, "MIMEConvertMIMEPartCC", [&] {
                return MIMEConvertMIMEPartCC(hNote, szBody, sizeof szBody - 1, nullptr);
            });
        }
    }

    DWORD dwSize = 0;
    if (nStatus == NSF_OK) {
        nStatus = nsfCallNotes(pContext, szFunc, "MailGetMessageBodyComposite",
                               [&] { return MailGetMessageBodyComposite(hNote, nullptr, szTempFile, &dwSize); });
    }
    if (nStatus == NSF_OK) {
        nsfLogf(pContext, LOG_DIAG, szFunc, "dwSize %ld", (long)dwSize);
        if (dwSize == 0) {
            nsfLog(pContext, LOG_WARNING, szFunc, "MailGetMessageBodyComposite() returned no text");
        } else if ((nStatus = nsfCheckBuffer(pContext, dwSize)) != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
        } else if ((pFile = tmos_fopen(szTempFile, "r+b", 0)) == nullptr) {
            nsfLogValue(pContext, LOG_ERROR, szFunc, "tmos_fopen() failed, szTempFile...", szTempFile);
            nStatus = NSF_ERR_IO;
        } else {
            pContext->ucbBuffer =
                static_cast<uint32_t>(tmos_fread(pFile, pContext->rgbBuffer, 1, pContext->ucbBufferSize));
            if (pContext->ucbBuffer != dwSize) {
                nsfLogValue(pContext, LOG_ERROR, szFunc, "tmos_fread() failed, szTempFile...", szTempFile);
                nStatus = NSF_ERR_IO;
            } else {
                pContext->rgbBuffer[pContext->ucbBuffer] = '\0';
            }
        }
    }

    if (pFile != nullptr && tmos_fclose(pFile) != 0) {
        nsfLogValue(pContext, LOG_WARNING, szFunc, "tmos_fclose() failed, szTempFile...", szTempFile);
        nStatus = NSF_ERR_IO;
    }
    if (tmos_unlink(szTempFile, 0) != 0) {
        nsfLogValue(pContext, LOG_WARNING, szFunc, "tmos_unlink() failed, szTempFile...", szTempFile);
        nStatus = NSF_ERR_IO;
    }
    return nStatus;
}
