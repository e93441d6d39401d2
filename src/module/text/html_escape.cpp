/*
 * HTML escaping of UTF-8 text for the quoted-printable page part of an MHT document.
 *
 * One pass into temp buffer 2, which is sized once to twice the input plus its reserve. The overflow test
 * runs after each input byte, so an expansion may run up to 5 bytes past the recorded size; the slack
 * behind every work buffer holds them.
 */
#include "text/html_escape.h"

#include <string.h>

#include "log/log.h"
#include "text/buffer.h"

namespace {

const char *const kFunction = "nsfConvertUTF8toHTML";

/* Appends cb bytes at the end of temp buffer 2 (room is guaranteed by the caller's overflow test). */
inline void nsfAppend2(NsfContext *pContext, const char *pch, uint32_t cb)
{
    memcpy(pContext->rgbBuffer2 + pContext->ucbBuffer2, pch, cb);
    pContext->ucbBuffer2 += cb;
}

} // namespace

NSFSTATUS nsfConvertUTF8toHTML(NsfContext *pContext)
{
    const uint32_t cbIn = pContext->ucbBuffer;
    NSFSTATUS nStatus = nsfCheckBuffer2(pContext, nsfAddSize(cbIn, cbIn));
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, kFunction, "nsfCheckBuffer2() failed");
        return nStatus;
    }

    ZAPI *pZAPI = pContext->pZAPI;
    ZIsLeadByteFunc fpIsLeadByte = pZAPI != nullptr ? pZAPI->fpIsLeadByte : nullptr;
    const uint8_t *pbIn = pContext->rgbBuffer;
    for (uint32_t ib = 0; ib < cbIn; ib++) {
        const uint8_t b = pbIn[ib];
        if (fpIsLeadByte != nullptr && fpIsLeadByte(pZAPI, b, NSF_LEADBYTE_CHARSET) != 0) {
            pContext->rgbBuffer2[pContext->ucbBuffer2++] = b;
            /* the trail byte, unless the text ends on the lead byte */
            if (ib + 1 < cbIn)
                pContext->rgbBuffer2[pContext->ucbBuffer2++] = pbIn[++ib];
        } else {
            switch (b) {
            case '\n':
                nsfAppend2(pContext, "<BR>\r\n", 6);
                break;
            case '\r':
                break;
            case '<':
                nsfAppend2(pContext, "&lt;", 4);
                break;
            case '>':
                nsfAppend2(pContext, "&gt;", 4);
                break;
            case '=':
                nsfAppend2(pContext, "=3D", 3);
                break;
            default:
                pContext->rgbBuffer2[pContext->ucbBuffer2++] = b;
                break;
            }
        }
        if (pContext->ucbBuffer2 >= pContext->ucbBuffer2Size) {
            nsfLogf(pContext, LOG_ERROR, kFunction, "Buffer overflow, ucbBuffer2 %u", pContext->ucbBuffer2);
            return NSF_ERR_FAILED;
        }
    }
    pContext->rgbBuffer2[pContext->ucbBuffer2] = 0;

    nStatus = nsfCheckBuffer(pContext, pContext->ucbBuffer2);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, kFunction, "nsfCheckBuffer() failed");
        return nStatus;
    }
    memcpy(pContext->rgbBuffer, pContext->rgbBuffer2, pContext->ucbBuffer2);
    pContext->ucbBuffer = pContext->ucbBuffer2;
    pContext->rgbBuffer[pContext->ucbBuffer] = 0;

    nsfLogf(pContext, LOG_DUMP, kFunction, "ucbBuffer %u 0x%x, rgbBuffer ...", pContext->ucbBuffer,
            pContext->ucbBuffer);
    nsfLogDump(pContext, LOG_DUMP, pContext->rgbBuffer, pContext->ucbBuffer);
    return NSF_OK;
}
