/*
 * The composite-to-MHT driver: the main work buffer in, the MHT body text out, with the converter classes
 * in between behind an exception boundary.
 */
#include "richtext/driver.h"

#include <stdio.h>
#include <string.h>

#include <exception>
#include <string>

#include "catalogue/images.h"
#include "log/log.h"
#include "log/trace.h"
#include "notesapi/global.h"
#include "notesapi/nsfnote.h"
#include "richtext/converter.h"
#include "text/buffer.h"
#include "text/cddump.h"
#include "text/html_escape.h"
#include "text/itemtext.h"
#include "text/names.h"

namespace {

const char *const kConvertCDtoMHT = "nsfConvertCDtoMHT";
const char *const kGetMHTImageCB = "nsfGetMHTImageCB";
const char kBodyEnd[] = "</BODY>";
const uint32_t kcbBodyEnd = sizeof kBodyEnd - 1;

inline uint16_t nsfReadWord(const uint8_t *pb)
{
    return static_cast<uint16_t>(pb[0] | (pb[1] << 8));
}

/* The record type as the signature name table wants it: a word signature (high byte 0xFF) whole, else the
   signature byte alone (the high byte is a length or zero). */
inline uint16_t nsfSignatureOf(uint16_t wRecordType)
{
    return (wRecordType & 0xFF00) == 0xFF00 ? wRecordType : static_cast<uint16_t>(wRecordType & 0xFF);
}

void nsfLogValueType(NsfContext *pContext, const char *pszFormat, uint16_t wType)
{
    nsfLogf(pContext, LOG_DIAG, kConvertCDtoMHT, pszFormat, (unsigned)wType, nsfTypeName(wType),
            nsfClassName(wType));
}

/* Logs "<message> <count> <count hex>, <buffer>..." and a dump of the bytes at DUMP. */
void nsfLogBytes(NsfContext *pContext, const char *pszFormat, const uint8_t *pb, uint32_t cb)
{
    nsfLogf(pContext, LOG_DUMP, kConvertCDtoMHT, pszFormat, cb, cb);
    if (pb != nullptr)
        nsfLogDump(pContext, LOG_DUMP, pb, cb);
}

NSFSTATUS nsfCheckFailed(NsfContext *pContext, const char *pszCheck, NSFSTATUS nStatus)
{
    nsfLogf(pContext, LOG_WARNING, kConvertCDtoMHT, "%s() failed", pszCheck);
    return nStatus;
}

/* Splits a TYPE_TEXT value: the text in front of the first paragraph definition goes to temp buffer 2,
   the records behind it stay in the main buffer as a composite value. */
NSFSTATUS nsfSplitTextPrefix(NsfContext *pContext)
{
    uint8_t *rgb = pContext->rgbBuffer;
    const uint32_t cb = pContext->ucbBuffer;
    uint32_t ibSplit = cb;
    for (uint32_t ib = 2; ib + 1 < cb; ib++) {
        if (rgb[ib] == 0x82 && rgb[ib + 1] == 0xFF) {
            ibSplit = ib;
            break;
        }
    }

    const uint32_t cbPrefix = ibSplit - 2;
    if (cbPrefix > 0) {
        NSFSTATUS nStatus = nsfCheckBuffer2(pContext, cbPrefix);
        if (nStatus != NSF_OK)
            return nsfCheckFailed(pContext, "nsfCheckBuffer2", nStatus);
        memcpy(pContext->rgbBuffer2, rgb + 2, cbPrefix);
        pContext->ucbBuffer2 = cbPrefix;
        pContext->rgbBuffer2[cbPrefix] = 0;
        nsfLogBytes(pContext, "Text ucbBuffer2 %u 0x%x, rgbBuffer2...", pContext->rgbBuffer2, cbPrefix);
    }
    /* the allocation is at least the reserve plus slack, so two bytes are always there to read */
    nsfLogValueType(pContext, "Text wValueDataType 0x%x (%s, %s)",
                    pContext->rgbBuffer2 != nullptr ? nsfReadWord(pContext->rgbBuffer2) : 0);

    const uint32_t cbRecords = cb - ibSplit;
    memmove(rgb + 2, rgb + ibSplit, cbRecords);
    rgb[0] = NSF_TYPE_COMPOSITE & 0xFF;
    rgb[1] = NSF_TYPE_COMPOSITE >> 8;
    pContext->ucbBuffer = 2 + cbRecords;
    rgb[pContext->ucbBuffer] = 0;
    return NSF_OK;
}

/* Puts the escaped text prefix (kept in temp buffer 2) into the MHT text in the main buffer, in front of
   the first "</BODY>". */
NSFSTATUS nsfMergeTextPrefix(NsfContext *pContext)
{
    nsfLogBytes(pContext, "Initial MHT ucbBuffer %u 0x%x, rgbBuffer...", pContext->rgbBuffer, pContext->ucbBuffer);

    /* the MHT text to buffer 3 */
    NSFSTATUS nStatus = nsfCheckBuffer3(pContext, pContext->ucbBuffer);
    if (nStatus != NSF_OK)
        return nsfCheckFailed(pContext, "nsfCheckBuffer3", nStatus);
    memcpy(pContext->rgbBuffer3, pContext->rgbBuffer, pContext->ucbBuffer);
    pContext->ucbBuffer3 = pContext->ucbBuffer;
    pContext->rgbBuffer3[pContext->ucbBuffer3] = 0;
    pContext->ucbBuffer = 0;

    /* the LMBCS prefix to the main buffer, converted and escaped there */
    nStatus = nsfCheckBuffer(pContext, pContext->ucbBuffer2);
    if (nStatus != NSF_OK)
        return nsfCheckFailed(pContext, "nsfCheckBuffer", nStatus);
    memcpy(pContext->rgbBuffer, pContext->rgbBuffer2, pContext->ucbBuffer2);
    pContext->rgbBuffer[pContext->ucbBuffer2] = 0;
    nStatus = nsfGetTextUTF8(pContext, pContext->ucbBuffer2);
    if (nStatus != NSF_OK)
        return nsfCheckFailed(pContext, "nsfGetTextUTF8", nStatus);
    nStatus = nsfConvertUTF8toHTML(pContext);
    if (nStatus != NSF_OK)
        return nsfCheckFailed(pContext, "nsfConvertUTF8toHTML", nStatus);

    /* the escaped prefix to buffer 2 */
    nStatus = nsfCheckBuffer2(pContext, pContext->ucbBuffer);
    if (nStatus != NSF_OK)
        return nsfCheckFailed(pContext, "nsfCheckBuffer2", nStatus);
    memcpy(pContext->rgbBuffer2, pContext->rgbBuffer, pContext->ucbBuffer);
    pContext->ucbBuffer2 = pContext->ucbBuffer;
    pContext->rgbBuffer2[pContext->ucbBuffer2] = 0;
    pContext->ucbBuffer = 0;

    const void *pvEnd = memmem(pContext->rgbBuffer3, pContext->ucbBuffer3, kBodyEnd, kcbBodyEnd);
    if (pvEnd == nullptr) {
        nsfLog(pContext, LOG_ERROR, kConvertCDtoMHT, "Could not find end of MHT body");
        nsfLogf(pContext, LOG_DUMP, kConvertCDtoMHT, "Invalid MHT ucbBuffer3 %u 0x%x, rgbBuffer3...",
                pContext->ucbBuffer3, pContext->ucbBuffer3);
        nsfLogDump(pContext, LOG_DUMP, pContext->rgbBuffer3, pContext->ucbBuffer3);
        return NSF_ERR_FAILED;
    }
    const uint32_t ibEnd = static_cast<uint32_t>(static_cast<const uint8_t *>(pvEnd) - pContext->rgbBuffer3);

    /* two more bytes for the line end behind the prefix: the buffer's reserve holds them */
    nStatus = nsfCheckBuffer(pContext, nsfAddSize(pContext->ucbBuffer3, pContext->ucbBuffer2));
    if (nStatus != NSF_OK)
        return nsfCheckFailed(pContext, "nsfCheckBuffer", nStatus);
    uint8_t *pb = pContext->rgbBuffer;
    memcpy(pb, pContext->rgbBuffer3, ibEnd);
    pb += ibEnd;
    memcpy(pb, pContext->rgbBuffer2, pContext->ucbBuffer2);
    pb += pContext->ucbBuffer2;
    *pb++ = '\r';
    *pb++ = '\n';
    memcpy(pb, pContext->rgbBuffer3 + ibEnd, pContext->ucbBuffer3 - ibEnd);
    pb += pContext->ucbBuffer3 - ibEnd;
    pContext->ucbBuffer = static_cast<uint32_t>(pb - pContext->rgbBuffer);
    *pb = 0;
    return NSF_OK;
}

} // namespace

NSFSTATUS nsfConvertCDtoMHT(NsfContext *pContext, uint32_t hNote)
{
    uint16_t wValueDataType = NSF_TYPE_ERROR;
    if (pContext->ucbBuffer >= 2) {
        wValueDataType = nsfReadWord(pContext->rgbBuffer);
        nsfLogValueType(pContext, "CD wValueDataType 0x%x (%s, %s)", wValueDataType);
    }
    pContext->ucbBuffer2 = 0;

    NSFSTATUS nStatus;
    if (pContext->ucbBuffer > 2 && wValueDataType != NSF_TYPE_COMPOSITE) {
        nsfLog(pContext, LOG_DIAG, kConvertCDtoMHT, "Initial CD buffer...");
        nsfDumpCDBuffer(pContext);
        if (wValueDataType != NSF_TYPE_TEXT) {
            nsfLogf(pContext, LOG_ERROR, kConvertCDtoMHT, "Invalid wValueDataType 0x%x (%s, %s)",
                    (unsigned)wValueDataType, nsfTypeName(wValueDataType), nsfClassName(wValueDataType));
            return NSF_ERR_FAILED;
        }
        nStatus = nsfSplitTextPrefix(pContext);
        if (nStatus != NSF_OK)
            return nStatus;
    }

    nsfLog(pContext, LOG_DIAG, kConvertCDtoMHT, "Final CD buffer...");
    nsfDumpCDBuffer(pContext);
    if (pContext->ucbBuffer >= 2)
        nsfLogValueType(pContext, "CD wValueDataType 0x%x (%s, %s)", nsfReadWord(pContext->rgbBuffer));
    if (pContext->ucbBuffer >= 4) {
        uint16_t wRecordType = nsfReadWord(pContext->rgbBuffer + 2);
        nsfLogf(pContext, LOG_DIAG, kConvertCDtoMHT, "CD wRecordType %d 0x%x (%s)", (int)wRecordType,
                (unsigned)wRecordType, nsfSigName(nsfSignatureOf(wRecordType)));
    }

    NOTEID dwNoteID = 0;
    nsfCallNotesUnjudged(pContext, kConvertCDtoMHT, "NSFNoteGetInfo",
                         [&] { NSFNoteGetInfo(static_cast<NOTEHANDLE>(hNote), _NOTE_ID, &dwNoteID); });
    char szNoteID[NSF_NOTE_ID_TEXT_SIZE];
    snprintf(szNoteID, sizeof szNoteID, "%lX", (unsigned long)dwNoteID);
    nsfLogf(pContext, LOG_DIAG, kConvertCDtoMHT, "szNoteID %s", szNoteID);

    nStatus = nsfCheckBuffer(pContext, pContext->ucbBuffer);
    if (nStatus != NSF_OK)
        return nsfCheckFailed(pContext, "nsfCheckBuffer", nStatus);

    uint32_t cbOut = 0;
    nStatus = nsfRTConverter(pContext, pContext->pZAPI, szNoteID, pContext->dwFlags, pContext->rgbBuffer,
                             pContext->ucbBuffer, pContext->ucbBufferSize, &cbOut);
    if (nStatus != NSF_OK && cbOut > 0) {
        /* the result did not fit: one more attempt in a buffer grown by its length */
        NSFSTATUS nCheck = nsfCheckBuffer(pContext, cbOut);
        if (nCheck != NSF_OK)
            return nsfCheckFailed(pContext, "nsfCheckBuffer", nCheck);
        nStatus = nsfRTConverter(pContext, pContext->pZAPI, szNoteID, pContext->dwFlags, pContext->rgbBuffer,
                                 pContext->ucbBuffer, pContext->ucbBufferSize, &cbOut);
    }
    if (nStatus != NSF_OK) {
        nsfLogf(pContext, LOG_ERROR, kConvertCDtoMHT, "nsfRTConverter() failed, error %d, ucbBuffer %u", nStatus,
                cbOut);
        nsfLogBytes(pContext, "Invalid CD ucbBuffer %u 0x%x, rgbBuffer...", pContext->rgbBuffer, pContext->ucbBuffer);
        return nStatus;
    }
    pContext->ucbBuffer = cbOut;
    pContext->rgbBuffer[cbOut] = 0; /* within the slack: cbOut <= ucbBufferSize */

    if (pContext->ucbBuffer2 != 0) {
        nStatus = nsfMergeTextPrefix(pContext);
        if (nStatus != NSF_OK)
            return nStatus;
    }

    nsfLogBytes(pContext, "Final MHT ucbBuffer %u 0x%x, rgbBuffer...", pContext->rgbBuffer, pContext->ucbBuffer);
    return NSF_OK;
}

NSFSTATUS nsfRTConverter(NsfContext *pContext, ZAPI *pZAPI, const char *szNoteID, uint32_t dwFlags,
                         uint8_t *pData, uint32_t cbData, uint32_t cbCapacity, uint32_t *pcbOut)
{
    if (pZAPI == nullptr || szNoteID == nullptr || pData == nullptr || pcbOut == nullptr || cbData > cbCapacity)
        return NSF_ERR_ARGUMENT;
    if (cbData < 2)
        cbData = 2;
    *pcbOut = 0;

    try {
        std::string strResult;
        {
            CLotusRTConverter converter(pZAPI, szNoteID);
            converter.pContext = pContext;
            converter.pfnImage = nsfRTImageCB;
            converter.SetOptions(dwFlags);
            if (converter.Convert(pData + 2, cbData - 2, strResult) != 0)
                return NSF_ERR_FAILED;
        }
        if (strResult.size() > 0xFFFFFFFFu)
            return NSF_ERR_FAILED;
        *pcbOut = static_cast<uint32_t>(strResult.size());
        if (*pcbOut < 1 || *pcbOut > cbCapacity)
            return NSF_ERR_FAILED;
        memcpy(pData, strResult.data(), strResult.size());
        return NSF_OK;
    } catch (...) {
        /* memory exhausted while a string grew, a container's length error: the conversion failed */
        return NSF_ERR_FAILED;
    }
}

int32_t nsfRTImageCB(const char *pszLinkName, NsfContext *pContext, uint8_t **ppData, uint32_t *pcbData,
                     int32_t *pnType)
{
    int32_t nStreamType = 0;
    NSFSTATUS nStatus = nsfGetMHTImageCB(pContext, pszLinkName, ppData, pcbData, &nStreamType);
    if (nStatus != NSF_OK)
        return nStatus;
    if (pnType != nullptr)
        *pnType = nStreamType >= 1 && nStreamType <= 3 ? nStreamType : 0;
    return NSF_OK;
}

NSFSTATUS nsfGetMHTImageCB(NsfContext *pContext, const char *pszLinkName, uint8_t **ppData,
                           uint32_t *pnImageSize, int32_t *pnStreamType)
{
    if (pContext == nullptr || pszLinkName == nullptr || ppData == nullptr || pnImageSize == nullptr ||
        pnStreamType == nullptr)
        return NSF_ERR_ARGUMENT;
    *ppData = nullptr;
    *pnImageSize = 0;
    *pnStreamType = 0;
    nsfLogf(pContext, LOG_DIAG, kGetMHTImageCB, "pszLinkName %s", pszLinkName);

    const Image *pImage = nsfFindImage(pContext, pszLinkName);
    if (pImage == nullptr) {
        nsfLog(pContext, LOG_WARNING, kGetMHTImageCB, "nsfFindImage() failed");
        return NSF_ERR_FAILED;
    }
    if (pImage->rgbData == nullptr || pImage->ucbDataSize == 0) {
        nsfLog(pContext, LOG_WARNING, kGetMHTImageCB, "No image data");
        return NSF_ERR_FAILED;
    }

    MemoryService *pService = nsfMemoryService(pContext);
    uint8_t *pbCopy = pImage->ucbDataSize <= 0x7FFFFFFFu
                          ? static_cast<uint8_t *>(pService->fpMalloc(pService, pImage->ucbDataSize))
                          : nullptr;
    if (pbCopy == nullptr) {
        nsfLogf(pContext, LOG_ERROR, kGetMHTImageCB, "Error allocating image buf, Image.ucbDataSize %u",
                pImage->ucbDataSize);
        return NSF_ERR_MEMORY;
    }
    memcpy(pbCopy, pImage->rgbData, pImage->ucbDataSize);
    *ppData = pbCopy;
    /* never more than the copy holds, even for an inconsistent record */
    *pnImageSize = pImage->ucbData <= pImage->ucbDataSize ? pImage->ucbData : pImage->ucbDataSize;
    *pnStreamType = pImage->wImageType;
    nsfLogf(pContext, LOG_DIAG, kGetMHTImageCB, "*pnImageSize %d, *pnStreamType %d", (int)*pnImageSize,
            (int)*pnStreamType);
    return NSF_OK;
}
