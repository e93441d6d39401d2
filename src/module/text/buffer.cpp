/*
 * Growing and shrinking the three work buffers through the host's allocator.
 *
 * Growth is exact (the need plus a reserve), not geometric, so a buffer stays near the size of the largest
 * recent value; a buffer left large by a big value is given back at the next check.
 */
#include "text/buffer.h"

#include "log/log.h"

namespace {

/* A block of cbSize + slack bytes, or null when that is beyond a signed 32-bit size or the host refuses. */
uint8_t *nsfAllocBlock(NsfContext *pContext, uint8_t *pbOld, uint32_t cbSize)
{
    uint32_t cbAlloc = nsfAddSize(cbSize, NSF_BUFFER_SLACK);
    if (cbSize == NSF_SIZE_OVERFLOW || cbAlloc == NSF_SIZE_OVERFLOW)
        return nullptr;
    MemoryService *pService = nsfMemoryService(pContext);
    size_t cb = static_cast<size_t>(static_cast<int32_t>(cbAlloc));
    void *pv = pbOld != nullptr ? pService->fpRealloc(pService, pbOld, cb) : pService->fpMalloc(pService, cb);
    return static_cast<uint8_t *>(pv);
}

void nsfFreeBlock(NsfContext *pContext, uint8_t *&rgb)
{
    if (rgb != nullptr) {
        MemoryService *pService = nsfMemoryService(pContext);
        pService->fpFree(pService, rgb);
        rgb = nullptr;
    }
}

/* The fields and log texts of one temp buffer. */
struct TempBuffer {
    uint8_t *&rgb;
    uint32_t &ucb;
    uint32_t &ucbSize;
    const char *pszFunction;
    const char *pszResetting;
    const char *pszAllocated;
    const char *pszFailed;
};

NSFSTATUS nsfCheckTempBuffer(NsfContext *pContext, const TempBuffer &buffer, uint32_t cbNeeded)
{
    buffer.ucb = 0;
    if (buffer.rgb == nullptr) {
        buffer.ucbSize = 0;
    } else if (buffer.ucbSize > NSF_TEMP_BUFFER_SHRINK) {
        nsfLogf(pContext, LOG_DIAG, buffer.pszFunction, buffer.pszResetting, buffer.ucbSize, buffer.ucbSize);
        nsfFreeBlock(pContext, buffer.rgb);
        buffer.ucbSize = 0;
    }

    uint32_t cbWanted = nsfAddSize(cbNeeded, NSF_TEMP_BUFFER_RESERVE);
    if (cbWanted <= buffer.ucbSize)
        return NSF_OK;

    /* the content is never kept: a fresh block is cheaper than a copy */
    buffer.ucbSize = cbWanted;
    nsfFreeBlock(pContext, buffer.rgb);
    buffer.rgb = nsfAllocBlock(pContext, nullptr, buffer.ucbSize);
    if (buffer.rgb != nullptr) {
        nsfLogf(pContext, LOG_DIAG, buffer.pszFunction, buffer.pszAllocated, buffer.ucbSize, buffer.ucbSize);
        return NSF_OK;
    }
    nsfLogf(pContext, LOG_ERROR, buffer.pszFunction, buffer.pszFailed, buffer.ucbSize, buffer.ucbSize);
    buffer.ucbSize = 0;
    return NSF_ERR_MEMORY;
}

} // namespace

uint32_t nsfAddSize(uint32_t a, uint32_t b)
{
    uint64_t qwSum = static_cast<uint64_t>(a) + b;
    return qwSum > 0x7FFFFFFFu ? NSF_SIZE_OVERFLOW : static_cast<uint32_t>(qwSum);
}

NSFSTATUS nsfCheckBuffer(NsfContext *pContext, uint32_t cbNeeded)
{
    static const char szFunction[] = "nsfCheckBuffer";
    if (pContext == nullptr)
        return NSF_ERR_ARGUMENT;

    if (pContext->rgbBuffer == nullptr) {
        pContext->ucbBuffer = 0;
        pContext->ucbBufferSize = 0;
    } else if (pContext->ucbBuffer == 0 && pContext->ucbBufferSize >= NSF_BUFFER_SHRINK) {
        nsfLogf(pContext, LOG_DIAG, szFunction, "Resetting main buffer, ucbBufferSize %u 0x%x", pContext->ucbBufferSize,
                pContext->ucbBufferSize);
        nsfFreeBlock(pContext, pContext->rgbBuffer);
        pContext->ucbBufferSize = 0;
    }

    uint32_t cbWanted = nsfAddSize(nsfAddSize(pContext->ucbBuffer, cbNeeded), NSF_BUFFER_RESERVE);
    if (cbWanted <= pContext->ucbBufferSize)
        return NSF_OK;

    pContext->ucbBufferSize = cbWanted;
    uint8_t *pbNew;
    if (pContext->rgbBuffer != nullptr && pContext->ucbBuffer > 0) {
        /* keeps the content; on failure the old block is still ours */
        pbNew = nsfAllocBlock(pContext, pContext->rgbBuffer, pContext->ucbBufferSize);
    } else {
        nsfFreeBlock(pContext, pContext->rgbBuffer);
        pbNew = nsfAllocBlock(pContext, nullptr, pContext->ucbBufferSize);
    }
    if (pbNew != nullptr) {
        pContext->rgbBuffer = pbNew;
        nsfLogf(pContext, LOG_DIAG, szFunction, "Re-allocated main buffer, ucbBufferSize %u 0x%x",
                pContext->ucbBufferSize, pContext->ucbBufferSize);
        return NSF_OK;
    }

    /* fall back to an empty buffer of the size open starts with */
    nsfLogf(pContext, LOG_ERROR, szFunction, "Error re-allocating main buffer, ucbBufferSize %u", pContext->ucbBufferSize);
    nsfFreeBlock(pContext, pContext->rgbBuffer);
    pContext->ucbBuffer = 0;
    pContext->ucbBufferSize = NSF_BUFFER_FALLBACK;
    pContext->rgbBuffer = nsfAllocBlock(pContext, nullptr, pContext->ucbBufferSize);
    if (pContext->rgbBuffer == nullptr) {
        nsfLogf(pContext, LOG_ERROR, szFunction, "Error re-allocating main buffer, ucbBufferSize %u 0x%x",
                pContext->ucbBufferSize, pContext->ucbBufferSize);
        pContext->ucbBufferSize = 0;
    }
    return NSF_ERR_MEMORY;
}

NSFSTATUS nsfCheckBuffer2(NsfContext *pContext, uint32_t cbNeeded)
{
    if (pContext == nullptr)
        return NSF_ERR_ARGUMENT;
    const TempBuffer buffer{pContext->rgbBuffer2,
                            pContext->ucbBuffer2,
                            pContext->ucbBuffer2Size,
                            "nsfCheckBuffer2",
                            "Resetting temp buffer, ucbBuffer2Size %u 0x%x",
                            "Re-allocated temp buffer, ucbBuffer2Size %u 0x%x",
                            "Error re-allocating temp buffer, ucbBuffer2Size %u 0x%x"};
    return nsfCheckTempBuffer(pContext, buffer, cbNeeded);
}

NSFSTATUS nsfCheckBuffer3(NsfContext *pContext, uint32_t cbNeeded)
{
    if (pContext == nullptr)
        return NSF_ERR_ARGUMENT;
    const TempBuffer buffer{pContext->rgbBuffer3,
                            pContext->ucbBuffer3,
                            pContext->ucbBuffer3Size,
                            "nsfCheckBuffer3",
                            "Resetting temp buffer, ucbBuffer3Size %u 0x%x",
                            "Re-allocated temp buffer, ucbBuffer3Size %u 0x%x",
                            "Error re-allocating temp buffer, ucbBuffer3Size %u 0x%x"};
    return nsfCheckTempBuffer(pContext, buffer, cbNeeded);
}
