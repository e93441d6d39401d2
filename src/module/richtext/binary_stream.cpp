#include "richtext/binary_stream.h"

#include <string.h>

CLotusBinaryStream::CLotusBinaryStream(ZAPI *pHost, int32_t nImageType, const std::string &strImageName)
    : pZAPI(pHost), nType(nImageType), pbData(nullptr), nLength(0), strName(strImageName)
{
}

CLotusBinaryStream::~CLotusBinaryStream()
{
    Clear();
}

void CLotusBinaryStream::Clear()
{
    if (pbData != nullptr && pZAPI != nullptr && pZAPI->memoryService.fpFree != nullptr)
        pZAPI->memoryService.fpFree(&pZAPI->memoryService, pbData);
    pbData = nullptr;
    nLength = 0;
}

void CLotusBinaryStream::Append(const uint8_t *pb, int32_t cb)
{
    /* The size is checked in 32-bit signed terms: one the host could never describe is refused. */
    const int64_t cbNew = static_cast<int64_t>(nLength) + cb + 1;
    const bool bCanResize = pZAPI != nullptr && pZAPI->memoryService.fpResize != nullptr;
    if (cb < 0 || (cb > 0 && pb == nullptr) || cbNew > INT32_MAX || !bCanResize) {
        Clear();
        return;
    }

    /* Like realloc, the host keeps the old block when it cannot resize it; it is released here so that
       a failed append leaves the stream empty and nothing leaks. */
    void *pvNew = pZAPI->memoryService.fpResize(&pZAPI->memoryService, pbData, static_cast<size_t>(cbNew));
    if (pvNew == nullptr) {
        Clear();
        return;
    }
    pbData = static_cast<uint8_t *>(pvNew);
    if (cb > 0)
        memcpy(pbData + nLength, pb, static_cast<size_t>(cb));
    nLength += cb;
}
