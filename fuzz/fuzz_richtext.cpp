/*
 * libFuzzer target: arbitrary bytes as a rich-text value for the CD-to-HTML converter.
 *
 * The first byte chooses the conversion flags and which host services behave well; the rest is the
 * record sequence. The stand-in host counts its blocks, so a block the converter forgets to free, or one
 * it frees twice, stops the run.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <exception>
#include <map>
#include <new>
#include <string>

#include "richtext/converter.h"

namespace {

struct FuzzHost {
    ZAPI zapi;
    std::map<void *, size_t> live;
    bool bShowAttachmentName = false;
    bool bImageOk = false;
    uint32_t nImageType = 0;
};

FuzzHost *HostOf(MemoryService *p) { return static_cast<FuzzHost *>(p->pOwner); }

void *Malloc(MemoryService *p, size_t cb)
{
    if (cb > (size_t{64} << 20))
        return nullptr;
    void *pv = malloc(cb ? cb : 1);
    if (pv != nullptr)
        HostOf(p)->live[pv] = cb;
    return pv;
}

void Free(MemoryService *p, void *pv)
{
    if (pv == nullptr)
        return;
    if (HostOf(p)->live.erase(pv) != 1)
        abort();
    free(pv);
}

void *Resize(MemoryService *p, void *pv, size_t cb)
{
    if (pv != nullptr && HostOf(p)->live.count(pv) != 1)
        abort();
    if (cb > (size_t{64} << 20))
        return nullptr;
    void *pvNew = realloc(pv, cb ? cb : 1);
    if (pvNew == nullptr)
        return nullptr;
    if (pv != nullptr)
        HostOf(p)->live.erase(pv);
    HostOf(p)->live[pvNew] = cb;
    return pvNew;
}

int32_t TextConvert(ZAPI *, int32_t, TextPair *pIn, TextPair *pOut, int32_t)
{
    int32_t cb = pIn->cb < pOut->cb ? pIn->cb : pOut->cb;
    memcpy(pOut->pb, pIn->pb, static_cast<size_t>(cb));
    pOut->cb = cb;
    return 0;
}

int32_t GetOption(ZAPI *pZAPI, const char *, const char *, const char *, char *pszOut, uint32_t cbOut, int32_t)
{
    FuzzHost *pHost = HostOf(&pZAPI->memoryService);
    if (!pHost->bShowAttachmentName || cbOut < 2)
        return 0;
    strcpy(pszOut, "1");
    return 1;
}

/* Images by reference: a few bytes named after the link, when this run lets the look-up succeed. */
int32_t ImageCallback(const char *pszLinkName, NsfContext *pContext, uint8_t **ppData, uint32_t *pcbData,
                      int32_t *pnType)
{
    FuzzHost *pHost = reinterpret_cast<FuzzHost *>(pContext);
    if (!pHost->bImageOk)
        return 6;
    size_t cch = strlen(pszLinkName);
    *ppData = static_cast<uint8_t *>(Malloc(&pHost->zapi.memoryService, cch + 1));
    if (*ppData == nullptr)
        return 2;
    memcpy(*ppData, pszLinkName, cch + 1);
    *pcbData = static_cast<uint32_t>(cch + 1);
    *pnType = static_cast<int32_t>(pHost->nImageType);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pb, size_t cb)
{
    if (cb < 1)
        return 0;
    const uint8_t bMode = pb[0];

    FuzzHost host;
    memset(&host.zapi, 0, sizeof host.zapi);
    host.zapi.cbSize = sizeof host.zapi;
    host.zapi.memoryService.pOwner = &host;
    host.zapi.memoryService.fpMalloc = &Malloc;
    host.zapi.memoryService.fpFree = &Free;
    host.zapi.memoryService.fpResize = &Resize;
    host.zapi.fpGetOption = &GetOption;
    if (bMode & 0x01)
        host.zapi.fpTextConvert = &TextConvert;
    host.bShowAttachmentName = (bMode & 0x02) != 0;
    host.bImageOk = (bMode & 0x04) != 0;
    host.nImageType = (bMode >> 4) & 0x07;

    try {
        CLotusRTConverter converter(&host.zapi, "1F6");
        converter.pContext = reinterpret_cast<NsfContext *>(&host);
        converter.pfnImage = (bMode & 0x08) ? &ImageCallback : nullptr;
        converter.SetOptions((bMode & 0x80) ? CNVO_SHOWHIDDENTEXT : 0);
        std::string strResult;
        converter.Convert(pb + 1, cb - 1, strResult);
        if (strResult.size() < 45)
            abort(); /* the closing boundary is always there */
    } catch (const std::bad_alloc &) {
        /* the driver turns this into a failed conversion */
    }
    if (!host.live.empty())
        abort();
    return 0;
}
