/*
 * Mail notes as text: the header rows of the mail header table that have a value ("label: value"), then
 * a blank line and the "Body" text. A note that is not mail comes here without its header and gives its
 * "Body" text alone.
 *
 * The formatted rendering (an MHT document around the converted body) shares these functions through
 * their bFormatted switch; until the composite-to-MHT converter is linked into extraction, a request for
 * it is served in plain form.
 */
#include "extract/extract.h"

#include <string.h>

#include "catalogue/subfiles.h"
#include "log/log.h"
#include "log/trace.h"
#include "notesapi/notes.h"
#include "text/buffer.h"
#include "text/itemtext.h"

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

} // namespace

NSFSTATUS nsfExtractMailFields(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, IOobj64 *pIO,
                               uint8_t bFormatted, uint8_t bExcludeHeader)
{
    static const char szFunc[] = "nsfExtractMailFields";
    nsfLogf(pContext, LOG_DIAG, szFunc, "bGetFormattedBody %d, bExcludeMailHeader %d", bFormatted, bExcludeHeader);
    /* the MHT frame is written by the formatted rendering, which is not part of extraction yet */
    bFormatted = 0;

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
    return NSF_OK;
}

NSFSTATUS nsfExtractMailBody(NsfContext *pContext, SubFile *, uint32_t hNote, IOobj64 *pIO, uint8_t bFormatted)
{
    static const char szFunc[] = "nsfExtractMailBody";
    static const char szBody[] = "Body";

    nsfLogf(pContext, LOG_DIAG, szFunc, "pszItemName %s", szBody);
    if (!nsfHasItem(pContext, szFunc, hNote, szBody) && !bFormatted) {
        nsfLog(pContext, LOG_WARNING, szFunc, "No mail body item");
        return NSF_OK;
    }
    nsfEmptyBuffer(pContext);

    NSFSTATUS nStatus = nsfGetItemText(pContext, hNote, szBody);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetItemText() failed");
        return nStatus;
    }
    if (pContext->ucbBuffer == 0)
        return NSF_OK;
    if (!bFormatted && !nsfWriteIO(pIO, "\r\n", 2)) {
        nsfLog(pContext, LOG_ERROR, szFunc, "IOobj64.twWriteFunc() failed (blank line)");
        return NSF_ERR_IO;
    }
    if (!nsfWriteIO(pIO, pContext->rgbBuffer, pContext->ucbBuffer)) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "IOobj64.twWriteFunc() failed (item value), ucbBuffer %u",
                pContext->ucbBuffer);
        return NSF_ERR_IO;
    }
    return NSF_OK;
}
