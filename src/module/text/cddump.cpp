/*
 * Logging a composite value record by record.
 *
 * A record starts with its signature byte and a length byte. The length byte tells the header form: 0xFF
 * a word header (the length is the 16-bit word behind it, the record type 0xFF00 plus the signature), 0 a
 * long header (the length is the 32-bit word behind it), anything else a byte header whose length it is.
 * Records are aligned on 2 bytes.
 */
#include "text/cddump.h"

#include "log/log.h"
#include "text/names.h"

namespace {

constexpr uint8_t kWordHeader = 0xFF;
constexpr uint8_t kLongHeader = 0x00;

} // namespace

NSFSTATUS nsfDumpCDBuffer(NsfContext *pContext)
{
    static const char szFunction[] = "nsfDumpCDBuffer";
    if (pContext == nullptr || pContext->nLogLevel < LOG_DIAG)
        return NSF_OK;

    const uint32_t ucbBuffer = pContext->ucbBuffer;
    nsfLogf(pContext, LOG_DUMP, szFunction, "ucbBuffer %u 0x%x", ucbBuffer, ucbBuffer);
    const uint8_t *pb = pContext->rgbBuffer;
    if (pb == nullptr || ucbBuffer <= 2)
        return NSF_OK;

    /* skip the value's data type word */
    uint32_t ib = 2;
    uint32_t cbLeft = ucbBuffer - 2;
    while (cbLeft >= 1) {
        const uint8_t *pbRecord = pb + ib;
        uint8_t uchSignature = pbRecord[0];
        uint8_t uchLength = cbLeft >= 2 ? pbRecord[1] : kLongHeader;
        nsfLogf(pContext, LOG_DUMP, szFunction, "uchSignature %u 0x%x, uchLength %u 0x%x", uchSignature,
                uchSignature, uchLength, uchLength);

        /* the record type and length; a header cut off by the end of the value counts as running past it */
        uint16_t uSignature = uchSignature;
        uint32_t cbHeader = 2;
        uint64_t lcbRecord = uchLength;
        if (cbLeft < 2) {
            lcbRecord = cbHeader;
        } else if (uchLength == kWordHeader) {
            uSignature = static_cast<uint16_t>(0xFF00u | uchSignature);
            cbHeader = 4;
            lcbRecord = cbLeft >= cbHeader ? static_cast<uint64_t>(pbRecord[2] | (pbRecord[3] << 8)) : cbHeader;
        } else if (uchLength == kLongHeader) {
            cbHeader = 6;
            lcbRecord = cbLeft >= cbHeader ? (static_cast<uint64_t>(pbRecord[2]) | (static_cast<uint64_t>(pbRecord[3]) << 8) |
                                              (static_cast<uint64_t>(pbRecord[4]) << 16) |
                                              (static_cast<uint64_t>(pbRecord[5]) << 24))
                                           : cbHeader;
        }
        nsfLogf(pContext, LOG_DIAG, szFunction, "uSignature %u 0x%x (%s)", uSignature, uSignature,
                nsfSigName(uSignature));

        if (lcbRecord > cbLeft) {
            nsfLogf(pContext, LOG_WARNING, szFunction, "Invalid lcbRecord 0x%lx %ld", static_cast<unsigned long>(lcbRecord),
                    static_cast<long>(lcbRecord));
            return NSF_ERR_FAILED;
        }
        nsfLogf(pContext, LOG_DIAG, szFunction, "lcbRecord 0x%lx %ld, pbRecord...", static_cast<unsigned long>(lcbRecord),
                static_cast<long>(lcbRecord));
        nsfLogDump(pContext, LOG_DIAG, pbRecord, static_cast<uint32_t>(lcbRecord));

        /* next record on an even offset; an empty record still moves on by 2 */
        uint64_t cbAdvance = lcbRecord == 0 ? 2 : (lcbRecord + 1) & ~static_cast<uint64_t>(1);
        if (cbAdvance >= cbLeft)
            break;
        ib += static_cast<uint32_t>(cbAdvance);
        cbLeft -= static_cast<uint32_t>(cbAdvance);
    }
    return NSF_OK;
}
