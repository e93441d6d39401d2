/*
 * Item values as UTF-8 text in the main work buffer: plain values through the runtime's text form, rich
 * text record by record, MIME parts after converting them to rich text.
 */
#include "text/itemtext.h"

#include <string.h>

#include "log/log.h"
#include "log/trace.h"
#include "notesapi/notes.h"
#include "text/buffer.h"
#include "text/names.h"

namespace {

const WORD wSigImageSegment = 124;
const WORD wSigImageHeader = 125;
const WORD wSigParagraph = 129;
const WORD wSigText = 0xFF85;
const WORD wSigTextEffect = 0xFFC3;
const WORD wSigBar = 0xFFAC;
const WORD wSigHotspotBegin = 0xFFA9;

const uint32_t cbDumpDiag = 64;   /* results shorter than this are dumped at DIAG, others at DUMP */

uint16_t nsfReadWord(const uint8_t *pb)
{
    return static_cast<uint16_t>(pb[0] | (pb[1] << 8));
}

/* One NSFItemInfo / NSFItemInfoNext call. "Item not found" is reported to the tracer as success and
   returned in *pwNotes; any other failure gives the tracer's status. */
template <typename Call>
NSFSTATUS nsfCallItemInfo(NsfContext *pContext, const char *pszFunction, const char *pszAPI, uint16_t *pwNotes,
                          Call &&call)
{
    *pwNotes = 0;
    nsfCallAPI(pContext, pszFunction, pszAPI);
    try {
        *pwNotes = static_cast<uint16_t>(call());
    } catch (...) {
        return nsfExcepAPI(pContext, pszFunction, pszAPI);
    }
    return nsfRetAPI(pContext, pszFunction, *pwNotes == ERR_ITEM_NOT_FOUND ? 0 : *pwNotes);
}

/* Appends image segment data to the image being read. */
void nsfAddImageSegment(NsfContext *pContext, const uint8_t *pbRecord, uint32_t cbRecord)
{
    static const char szFunc[] = "nsfEnumCompositeBufferCB";
    Image *pImage = pContext->pImageWork;
    if (cbRecord < 10)
        return;
    uint32_t cbData = nsfReadWord(pbRecord + 6);
    if (10 + cbData > cbRecord)
        cbData = cbRecord - 10;

    MemoryService *pService = nsfMemoryService(pContext);
    uint8_t *rgbNew = nullptr;
    uint32_t ucbNewSize;
    if (pImage->rgbData == nullptr) {
        pImage->ucbData = 0;
        ucbNewSize = cbData + 1;
        rgbNew = static_cast<uint8_t *>(pService->fpMalloc(pService, ucbNewSize));
    } else {
        ucbNewSize = nsfAddSize(pImage->ucbDataSize, cbData);
        if (ucbNewSize != NSF_SIZE_OVERFLOW)
            rgbNew = static_cast<uint8_t *>(pService->fpRealloc(pService, pImage->rgbData, ucbNewSize));
    }
    if (rgbNew == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating image data, ucbDataSize %u, wImageDataSize %d",
                ucbNewSize, (int)cbData);
        return;
    }
    pImage->rgbData = rgbNew;
    pImage->ucbDataSize = ucbNewSize;
    nsfLogf(pContext, LOG_DIAG, szFunc, "wImageDataSize %u, Image.ucbDataSize %u", cbData, pImage->ucbDataSize);
    memcpy(pImage->rgbData + pImage->ucbData, pbRecord + 10, cbData);
    pImage->ucbData += cbData;
    memset(pImage->rgbData + pImage->ucbData, 0, pImage->ucbDataSize - pImage->ucbData);
}

/* The text a record contributes, or none. */
void nsfRecordText(NsfContext *pContext, const uint8_t *pbRecord, WORD wRecordType, uint32_t cbRecord,
                   const uint8_t **ppbText, uint32_t *pcbText)
{
    *ppbText = nullptr;
    *pcbText = 0;
    switch (wRecordType) {
    case wSigText:
    case wSigTextEffect:
        if (cbRecord > 8) {
            *ppbText = pbRecord + 8;
            *pcbText = cbRecord - 8;
        }
        break;
    case wSigBar:
        if (cbRecord > 12) {
            *ppbText = pbRecord + 12;
            *pcbText = cbRecord - 12;
        }
        break;
    case wSigHotspotBegin:
        if ((pContext->dwFlags & CNVO_SHOWHIDDENTEXT) != 0 && cbRecord >= 12 &&
            nsfReadWord(pbRecord + 4) == NSF_HOTSPOT_TYPE_HIDDEN_TEXT) {
            uint32_t cbData = nsfReadWord(pbRecord + 10);
            if (cbData > cbRecord - 12)
                cbData = cbRecord - 12;
            *ppbText = pbRecord + 12;
            *pcbText = cbData;
        }
        break;
    default:
        break;
    }
}

/* Whether one of the eight bytes is 0, LF or CR. */
bool nsfHasLineByte(uint64_t qw)
{
    const uint64_t qwOnes = 0x0101010101010101ull, qwHighs = 0x8080808080808080ull;
    auto hasZero = [&](uint64_t v) { return ((v - qwOnes) & ~v & qwHighs) != 0; };
    return hasZero(qw) || hasZero(qw ^ (qwOnes * 10)) || hasZero(qw ^ (qwOnes * 13));
}

/* The staging below when the stage has room for every byte doubled: plain stretches are copied whole,
   0 and LF become CR LF, CR goes. Returns the count of source bytes done (all of them). */
uint32_t nsfStageLineEnds(const uint8_t *pbSource, uint32_t cbText, uint8_t *pbStage, uint32_t *pcbStage)
{
    uint32_t cbStage = *pcbStage;
    uint32_t ib = 0;
    while (ib < cbText) {
        uint32_t ibPlain = ib;
        for (uint64_t qw; cbText - ib >= 8 && (memcpy(&qw, pbSource + ib, 8), !nsfHasLineByte(qw));)
            ib += 8;
        while (ib < cbText && pbSource[ib] != 0 && pbSource[ib] != 10 && pbSource[ib] != 13)
            ib++;
        memcpy(pbStage + cbStage, pbSource + ibPlain, ib - ibPlain);
        cbStage += ib - ibPlain;
        if (ib == cbText)
            break;
        if (pbSource[ib++] != 13) {
            pbStage[cbStage++] = 13;
            pbStage[cbStage++] = 10;
        }
    }
    *pcbStage = cbStage;
    return cbText;
}

/* nsfGetTextUTF8 without the final terminator on failure. */
NSFSTATUS nsfTranslateUTF8(NsfContext *pContext, uint32_t cbText)
{
    static const char szFunc[] = "nsfGetTextUTF8";
    NSFSTATUS nStatus = nsfCheckBuffer2(pContext, nsfAddSize(cbText, cbText));
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer2() failed");
        return nStatus;
    }

    /* Stage the text with its line ends made CR LF. */
    const uint8_t *pbSource = pContext->rgbBuffer + pContext->ucbBuffer;
    uint8_t *pbStage = pContext->rgbBuffer2;
    uint32_t ib = 0;
    if (static_cast<uint64_t>(pContext->ucbBuffer2) + 2ull * cbText < pContext->ucbBuffer2Size)
        ib = nsfStageLineEnds(pbSource, cbText, pbStage, &pContext->ucbBuffer2);
    for (; ib < cbText; ib++) {
        uint8_t b = pbSource[ib];
        if (b == 0 || b == 10) {
            pbStage[pContext->ucbBuffer2++] = 13;
            if (pContext->ucbBuffer2 < pContext->ucbBuffer2Size)
                pbStage[pContext->ucbBuffer2++] = 10;
        } else if (b != 13) {
            pbStage[pContext->ucbBuffer2++] = b;
        }
        if (pContext->ucbBuffer2 >= pContext->ucbBuffer2Size) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Buffer overflow, ucbBuffer2 %u", pContext->ucbBuffer2);
            return NSF_ERR_FAILED;
        }
    }
    pbStage[pContext->ucbBuffer2] = 0;
    if (pContext->ucbBuffer2 == 0) {
        pContext->rgbBuffer[pContext->ucbBuffer] = 0;
        return NSF_OK;
    }
    if (pContext->ucbBuffer2 > NSF_MAXWORD) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Invalid ucbBuffer2 %u, MAXWORD %u", pContext->ucbBuffer2, NSF_MAXWORD);
        return NSF_ERR_FAILED;
    }

    nStatus = nsfCheckBuffer(pContext, pContext->ucbBuffer2);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
        return nStatus;
    }
    uint32_t cbSpace = pContext->ucbBufferSize - pContext->ucbBuffer;
    if (cbSpace > NSF_MAXWORD) {
        nsfLogf(pContext, LOG_DIAG, szFunc, "Reset ucbBufferSize %u (MAXWORD %u)", cbSpace, NSF_MAXWORD);
        cbSpace = NSF_MAXWORD;
    }

    WORD wTextLen = 0;
    char *pszOut = reinterpret_cast<char *>(pContext->rgbBuffer + pContext->ucbBuffer);
    const char *pszIn = reinterpret_cast<const char *>(pContext->rgbBuffer2);
    WORD cbIn = static_cast<WORD>(pContext->ucbBuffer2);
    nStatus = nsfCallNotesUnjudged(pContext, szFunc, "OSTranslate", &wTextLen, [&] {
        return OSTranslate(OS_TRANSLATE_LMBCS_TO_UTF8, pszIn, cbIn, pszOut, static_cast<WORD>(cbSpace));
    });
    if (nStatus != NSF_OK)
        return nStatus;

    if (wTextLen != pContext->ucbBuffer2) {
        nsfLogf(pContext, LOG_DIAG, szFunc, "OSTranslate() returned wTextLen %u (ucbBuffer2 %u)", (unsigned)wTextLen,
                pContext->ucbBuffer2);
        nsfLogf(pContext, LOG_DUMP, szFunc, "ucbBuffer2 %u 0x%x, rgbBuffer2...", pContext->ucbBuffer2,
                pContext->ucbBuffer2);
        nsfLogDump(pContext, LOG_DUMP, pContext->rgbBuffer2, pContext->ucbBuffer2);
    }
    nsfLogf(pContext, LOG_DIAG, szFunc, "wTextLen %u 0x%x", (unsigned)wTextLen, (unsigned)wTextLen);
    nsfLogf(pContext, LOG_DUMP, szFunc, "rgbBuffer + ucbBuffer %u...", pContext->ucbBuffer);
    nsfLogDump(pContext, LOG_DUMP, pContext->rgbBuffer + pContext->ucbBuffer, wTextLen);
    pContext->ucbBuffer += wTextLen;
    pContext->rgbBuffer[pContext->ucbBuffer] = 0;
    return NSF_OK;
}

} // namespace

NSFSTATUS nsfGetTextUTF8(NsfContext *pContext, uint32_t cbText)
{
    NSFSTATUS nStatus = nsfTranslateUTF8(pContext, cbText);
    /* whatever happened, the text so far stays terminated */
    if (pContext->rgbBuffer != nullptr)
        pContext->rgbBuffer[pContext->ucbBuffer] = 0;
    return nStatus;
}

STATUS LNCALLBACK nsfEnumCompositeBufferCB(char *pbRecordPtr, WORD wRecordType, DWORD dwRecordLength, void *pvContext)
{
    static const char szFunc[] = "nsfEnumCompositeBufferCB";
    NsfContext *pContext = static_cast<NsfContext *>(pvContext);
    nsfRetAPI(pContext, szFunc, 0);

    const uint8_t *pbRecord = reinterpret_cast<const uint8_t *>(pbRecordPtr);
    uint32_t cbRecord = pbRecord != nullptr ? dwRecordLength : 0;
    if (nsfLogWanted(pContext, LOG_DIAG))
        nsfLogf(pContext, LOG_DIAG, szFunc, "wRecordType %d 0x%x (%s)", (int)wRecordType, (unsigned)wRecordType,
                nsfSigName(wRecordType));
    nsfLogf(pContext, LOG_DUMP, szFunc, "dwRecordLength %ld 0x%lx, pbRecordPtr...", (long)dwRecordLength,
            (unsigned long)dwRecordLength);
    if (cbRecord > 0)
        nsfLogDump(pContext, LOG_DUMP, pbRecord, cbRecord);

    const uint8_t *pbText = nullptr;
    uint32_t cbText = 0;
    if (wRecordType == wSigImageSegment) {
        if (pContext->pImageWork != nullptr)
            nsfAddImageSegment(pContext, pbRecord, cbRecord);
    } else if (wRecordType == wSigImageHeader) {
        if (pContext->pImageWork != nullptr && cbRecord >= 8)
            pContext->pImageWork->wImageType = nsfReadWord(pbRecord + 6);
    } else if (wRecordType == wSigParagraph) {
        if (nsfCheckBuffer(pContext, 2) != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
        } else {
            pContext->rgbBuffer[pContext->ucbBuffer++] = 13;
            pContext->rgbBuffer[pContext->ucbBuffer++] = 10;
        }
    } else {
        nsfRecordText(pContext, pbRecord, wRecordType, cbRecord, &pbText, &cbText);
    }

    if (cbText > 0) {
        nsfLogf(pContext, LOG_DUMP, szFunc, "dwTextLength %ld 0x%lx, pbTextPtr...", (long)cbText,
                (unsigned long)cbText);
        nsfLogDump(pContext, LOG_DUMP, pbText, cbText);
        if (nsfCheckBuffer(pContext, cbText) != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
        } else {
            memcpy(pContext->rgbBuffer + pContext->ucbBuffer, pbText, cbText);
            if (nsfGetTextUTF8(pContext, cbText) != NSF_OK)
                nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetTextUTF8() failed");
        }
    }

    if (pContext->rgbBuffer != nullptr)
        pContext->rgbBuffer[pContext->ucbBuffer] = 0;
    nsfCallAPI(pContext, szFunc, "EnumCompositeBuffer");
    return NOERROR;
}

NSFSTATUS nsfGetItemText(NsfContext *pContext, uint32_t hNote, const char *pszItemName)
{
    static const char szFunc[] = "nsfGetItemText";
    nsfLog(pContext, LOG_DIAG, nullptr, "");
    nsfLog(pContext, LOG_DIAG, szFunc, "Getting item text...");
    nsfLogf(pContext, LOG_DIAG, szFunc, "pszItemName %s", pszItemName);
    pContext->ucbBuffer = 0;
    if (pContext->rgbBuffer != nullptr)
        pContext->rgbBuffer[0] = 0;
    WORD cbName = static_cast<WORD>(strlen(pszItemName));

    BLOCKID bhItem{};
    bool bConverted = false;
    for (int32_t cItems = 0; cItems < 0x7FFFFFFF; cItems++) {
        nsfLogf(pContext, LOG_DIAG, szFunc, "pszItemName %s, cItems %d", pszItemName, cItems);
        WORD wType = 0;
        DWORD dwLength = 0;
        BLOCKID bhValue{};
        BLOCKID bhPrevious = bhItem;
        uint16_t wNotes = 0;
        NSFSTATUS nStatus;
        if (cItems == 0)
            nStatus = nsfCallItemInfo(pContext, szFunc, "NSFItemInfo", &wNotes, [&] {
                return NSFItemInfo(hNote, pszItemName, cbName, &bhItem, &wType, &bhValue, &dwLength);
            });
        else
            nStatus = nsfCallItemInfo(pContext, szFunc, "NSFItemInfoNext", &wNotes, [&] {
                return NSFItemInfoNext(hNote, bhPrevious, pszItemName, cbName, &bhItem, &wType, &bhValue, &dwLength);
            });
        if (nStatus != NSF_OK)
            return nStatus;
        if (wNotes == ERR_ITEM_NOT_FOUND)
            break;

        nsfLogf(pContext, LOG_DIAG, szFunc, "wValueDataType 0x%x (%s, %s)", (unsigned)wType, nsfClassName(wType),
                nsfTypeName(wType));
        nsfLogf(pContext, LOG_DIAG, szFunc, "dwValueLen %lu 0x%lx", (unsigned long)dwLength, (unsigned long)dwLength);

        if (wType == TYPE_MIME_PART) {
            if (bConverted) {
                /* the runtime left a MIME part behind: read the rest of the items */
                nsfLog(pContext, LOG_DIAG, szFunc, "MIME data already converted, skipping item");
                continue;
            }
            nsfLog(pContext, LOG_DIAG, szFunc, "Converting MIME data to composite data...");
            nStatus = nsfCallNotes(pContext, szFunc, "MIMEConvertMIMEPartCC",
                                   [&] { return MIMEConvertMIMEPartCC(hNote, pszItemName, cbName, nullptr); });
            if (nStatus != NSF_OK)
                return nStatus;
            bConverted = true;
            pContext->ucbBuffer = 0;
            if (pContext->rgbBuffer != nullptr)
                pContext->rgbBuffer[0] = 0;
            bhItem = BLOCKID{};
            cItems = -1;
            continue;
        }

        if (wType == TYPE_COMPOSITE) {
            nsfLog(pContext, LOG_DIAG, szFunc, "Converting composite data to text...");
            nsfCallAPI(pContext, szFunc, "EnumCompositeBuffer");
            STATUS wEnum = NOERROR;
            try {
                wEnum = EnumCompositeBuffer(bhValue, dwLength, nsfEnumCompositeBufferCB, pContext);
            } catch (...) {
                return nsfExcepAPI(pContext, szFunc, "EnumCompositeBuffer");
            }
            nStatus = nsfRetAPI(pContext, szFunc, wEnum == ERR_ODS_ENUM_COMPLETE ? 0 : static_cast<uint16_t>(wEnum));
            if (nStatus != NSF_OK)
                return nStatus;
            continue;
        }

        nsfLog(pContext, LOG_DIAG, szFunc, "Converting non-composite data to text...");
        nStatus = nsfCheckBuffer(pContext, dwLength);
        if (nStatus != NSF_OK) {
            nsfLog(pContext, LOG_WARNING, szFunc, "nsfCheckBuffer() failed");
            return nStatus;
        }
        uint32_t cbFree = pContext->ucbBufferSize - pContext->ucbBuffer;
        if (cbFree > NSF_MAXWORD)
            cbFree = NSF_MAXWORD;
        char *pszOut = reinterpret_cast<char *>(pContext->rgbBuffer + pContext->ucbBuffer);
        WORD wTextLen = 0;
        nStatus = nsfCallNotesUnjudged(pContext, szFunc, "NSFItemConvertValueToText", &wTextLen, [&] {
            return NSFItemConvertValueToText(wType, bhValue, dwLength, pszOut, static_cast<WORD>(cbFree), 0);
        });
        if (nStatus != NSF_OK)
            return nStatus;
        nsfLogf(pContext, LOG_DIAG, szFunc, "Text returned, wTextLen %u 0x%x", (unsigned)wTextLen, (unsigned)wTextLen);
        if (wTextLen != 0) {
            nStatus = nsfGetTextUTF8(pContext, wTextLen);
            if (nStatus != NSF_OK) {
                nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetTextUTF8() failed");
                return nStatus;
            }
        }
    }

    nsfLogf(pContext, LOG_DIAG, szFunc, "Total text returned, ucbBuffer %u", pContext->ucbBuffer);
    if (pContext->ucbBuffer > 0) {
        int32_t nLevel = pContext->ucbBuffer < cbDumpDiag ? LOG_DIAG : LOG_DUMP;
        nsfLogf(pContext, nLevel, szFunc, "ucbBuffer %u 0x%x, rgbBuffer...", pContext->ucbBuffer, pContext->ucbBuffer);
        nsfLogDump(pContext, nLevel, pContext->rgbBuffer, pContext->ucbBuffer);
    }
    return NSF_OK;
}
