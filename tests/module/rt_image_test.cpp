#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "richtext/base64.h"
#include "richtext/converter.h"
#include "rt_test_host.h"

using namespace rt_test;

namespace {

std::string Base64(const std::string &s, int32_t *pnLineLen = nullptr)
{
    int32_t nLocal = 0;
    int32_t *pn = pnLineLen ? pnLineLen : &nLocal;
    std::vector<char> out(static_cast<size_t>(nsfGetBase64Capacity(static_cast<int32_t>(s.size()))) + 64);
    int32_t cch = encode_base64(reinterpret_cast<const uint8_t *>(s.data()), static_cast<int32_t>(s.size()), out.data(), pn);
    return std::string(out.data(), static_cast<size_t>(cch));
}

std::string Part(const std::string &strName, const std::string &strContentType, const std::string &strBytes)
{
    return "\r\n------=_NextPart_000_0004_01CB58DD.164505B0\r\n" + strContentType +
           "Content-Transfer-Encoding: base64\r\nContent-Location: file:///" + strName + "\r\n\r\n" + Base64(strBytes) +
           "\r\n\r\n";
}

/* Everything after "</BODY></HTML>\r\n" and before the closing boundary. */
std::string PartsOf(const std::string &strResult)
{
    const std::string strEnd = "</BODY></HTML>\r\n";
    const std::string strClose = "------=_NextPart_000_0004_01CB58DD.164505B0--";
    size_t n = strResult.find(strEnd);
    if (n == std::string::npos || strResult.size() < strClose.size() ||
        strResult.compare(strResult.size() - strClose.size(), strClose.size(), strClose) != 0)
        return "<bad frame>";
    n += strEnd.size();
    return strResult.substr(n, strResult.size() - strClose.size() - n);
}

/* ---- image library and memory streams ---------------------------------------------------------- */

struct FakeStream {
    MemoryStream ms;
    std::vector<uint8_t> data;
    int64_t nPos = 0;
};

struct ImageLibrary {
    bool bLoads = true;
    bool bHasEntry = true;
    bool bStreams = true;
    int32_t nResult = 0;
    int cLoads = 0, cFrees = 0, cPrepares = 0, cReleases = 0;
    std::string strInput;              /* what the library was given */
};
ImageLibrary *g_pLib = nullptr;

int32_t Prepare(MemoryStream *) { ++g_pLib->cPrepares; return 1; }
int32_t Write(MemoryStream *p, const void *pv, int32_t cb)
{
    auto *s = reinterpret_cast<FakeStream *>(p);
    s->data.insert(s->data.end(), static_cast<const uint8_t *>(pv), static_cast<const uint8_t *>(pv) + cb);
    s->nPos = static_cast<int64_t>(s->data.size());
    return cb;
}
int32_t Read(MemoryStream *p, void *pv, int32_t cb)
{
    auto *s = reinterpret_cast<FakeStream *>(p);
    int64_t n = std::min<int64_t>(cb, static_cast<int64_t>(s->data.size()) - s->nPos);
    memcpy(pv, s->data.data() + s->nPos, static_cast<size_t>(n));
    s->nPos += n;
    return static_cast<int32_t>(n);
}
int32_t Seek(MemoryStream *p, int64_t off, int32_t origin)
{
    auto *s = reinterpret_cast<FakeStream *>(p);
    s->nPos = (origin == 2 ? static_cast<int64_t>(s->data.size()) : 0) + off;
    return 0;
}
int64_t Tell(MemoryStream *p) { return reinterpret_cast<FakeStream *>(p)->nPos; }
void Release(MemoryStream *p)
{
    ++g_pLib->cReleases;
    delete reinterpret_cast<FakeStream *>(p);
}

int32_t LoadLibrary(ZAPI *, const char *pszName, void **ph)
{
    if (!g_pLib->bLoads || strcmp(pszName, "tmpixcnv.dll") != 0)
        return 0;
    ++g_pLib->cLoads;
    *ph = g_pLib;
    return 1;
}
int32_t Convert(ZAPI *, const char *pszFrom, const char *pszTo, void *hIn, void *hOut, int32_t n1, int32_t n2)
{
    auto *s = static_cast<FakeStream *>(hIn);
    if (hIn != hOut || strcmp(pszFrom, "NBMP") != 0 || strcmp(pszTo, "BMP") != 0 || n1 != 0 || n2 != 0)
        return 99;
    g_pLib->strInput.assign(s->data.begin(), s->data.end());
    if (g_pLib->nResult != 0)
        return g_pLib->nResult;
    s->data.assign({'B', 'M', '4', '2'});
    s->nPos = 4;
    return 0;
}
void *GetEntry(ZAPI *, void *h, const char *pszEntry)
{
    if (h != g_pLib || !g_pLib->bHasEntry || strcmp(pszEntry, "TMPXconvert") != 0)
        return nullptr;
    return reinterpret_cast<void *>(&Convert);
}
int32_t FreeLibrary(ZAPI *, void *h)
{
    if (h == g_pLib)
        ++g_pLib->cFrees;
    return 1;
}
MemoryStream *OpenMemoryStream(ZAPI *, int32_t n, const char *pszMode)
{
    if (!g_pLib->bStreams || n != 0 || strcmp(pszMode, "a+b") != 0)
        return nullptr;
    auto *s = new FakeStream();
    memset(&s->ms, 0, sizeof s->ms);
    s->ms.hStream = s;
    s->ms.fpPrepare = &Prepare;
    s->ms.fpRead = &Read;
    s->ms.fpWrite = &Write;
    s->ms.fpSeek = &Seek;
    s->ms.fpTell = &Tell;
    s->ms.fpRelease = &Release;
    return &s->ms;
}

void InstallLibrary(TestHost &host, ImageLibrary &lib)
{
    g_pLib = &lib;
    host.zapi()->fpLoadLibrary = &LoadLibrary;
    host.zapi()->fpGetEntry = &GetEntry;
    host.zapi()->fpFreeLibrary = &FreeLibrary;
    host.zapi()->fpOpenMemoryStream = &OpenMemoryStream;
}

} // namespace

std::string Bytes(int cb)
{
    std::string str;
    for (int i = 0; i < cb; ++i)
        str += static_cast<char>(i);
    return str;
}

/* Lines of 72 characters; a line under way when a call starts is finished first. */
TEST(RtImage, Base64GroupsAndLines)
{
    const struct {
        const char *pszRule;
        std::string strIn;
        int32_t nLineBefore;
        std::string strOut;
        int32_t nLineAfter;
    } rgCases[] = {
        {"three bytes, one group", "abc", 0, "YWJj", 4},
        {"two bytes pad once and end the line", "ab", 8, "YWI=", 0},
        {"one byte pads twice", "a", 0, "YQ==", 0},
        {"54 bytes are one line", Bytes(54), 0,
         "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1\r\n", 0},
        {"a line under way ends at 72", Bytes(120), 64,
         "AAECAwQF\r\nBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7\r\n"
         "PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3Bx\r\ncnN0dXZ3",
         8},
    };
    for (const auto &c : rgCases) {
        int32_t nLine = c.nLineBefore;
        EXPECT_EQ(Base64(c.strIn, &nLine), c.strOut) << c.pszRule;
        EXPECT_EQ(nLine, c.nLineAfter) << c.pszRule;
    }
}

TEST(RtImage, NotesBitmapsBecomeBmpThroughTheImageLibrary)
{
    CdBuilder b;
    b.Rec(0x95, CdBuilder::Long, Body(6, 38).W(22, 16).W(24, 8));
    b.Rec(0x96, CdBuilder::Long, Body(6, 18).W(16, 2).S(18, "px"));
    b.Rec(0x97, CdBuilder::Long, Body(6, 6).S(6, "rgb")); /* 9 bytes and a pad byte */
    b.Rec(0x98, CdBuilder::Long, Body(6, 6));
    /* The image gets every bitmap record with its header, but not the pad byte after an odd record. */
    std::string strRecords(b.rgb.begin(), b.rgb.end());
    strRecords.erase(38 + 20 + 9, 1);
    const std::string strTag = "<IMG src=3D\"file:///tm_1F6_image0.bmp\" width=3D16 height=3D8>\r\n";

    {
        TestHost host;
        ImageLibrary lib;
        InstallLibrary(host, lib);
        const std::string strResult = Convert(host, b.rgb);
        EXPECT_EQ(BodyOf(strResult), strTag);
        EXPECT_EQ(lib.strInput, strRecords);
        EXPECT_EQ(PartsOf(strResult), Part("tm_1F6_image0.bmp", "Content-Type: image/bmp\r\n", "BM42"));
        EXPECT_EQ(lib.cLoads, 1);
        EXPECT_EQ(lib.cFrees, 1);
        EXPECT_EQ(lib.cPrepares, 1);
        EXPECT_EQ(lib.cReleases, 1);
        EXPECT_EQ(host.liveBlocks(), 0u);

        /* The base64 text has a host block of its own: without it the image part is left out. */
        TestHost starved;
        ImageLibrary lib2;
        InstallLibrary(starved, lib2);
        starved.zapi()->memoryService.fpMalloc = [](MemoryService *p, size_t cb) -> void * {
            return cb == static_cast<size_t>(nsfGetBase64Capacity(4)) ? nullptr : TestHost::Malloc(p, cb);
        };
        const std::string strStarved = Convert(starved, b.rgb);
        EXPECT_EQ(BodyOf(strStarved), strTag);
        EXPECT_EQ(PartsOf(strStarved), "");
        EXPECT_EQ(starved.liveBlocks(), 0u);
    }

    /* Library, entry or stream missing, or the conversion refused: the bitmap is written as it is,
       without a content type, and whatever was obtained is released. */
    const std::string strUnconverted = Part("tm_1F6_image0.bmp", "", strRecords);
    for (int nCase = 0; nCase < 5; ++nCase) {
        TestHost host;
        ImageLibrary lib;
        lib.bLoads = nCase != 0;
        lib.bHasEntry = nCase != 1;
        lib.bStreams = nCase != 2;
        lib.nResult = nCase == 3 ? 1 : 0;
        InstallLibrary(host, lib);
        if (nCase == 4)
            host.zapi()->fpLoadLibrary = nullptr;
        EXPECT_EQ(PartsOf(Convert(host, b.rgb)), strUnconverted) << nCase;
        EXPECT_EQ(lib.cFrees, lib.cLoads) << nCase;
        EXPECT_EQ(lib.cReleases, nCase == 3 ? 1 : 0) << nCase;
        EXPECT_EQ(host.liveBlocks(), 0u);
    }

    /* No memory for the converted bytes: the image writes no part, but keeps its tag. */
    TestHost host;
    ImageLibrary lib;
    InstallLibrary(host, lib);
    host.FailAllocation(5, true); /* four appends succeed, the resize for the BMP fails */
    const std::string strResult = Convert(host, b.rgb);
    EXPECT_EQ(BodyOf(strResult), strTag);
    EXPECT_EQ(PartsOf(strResult), "");
    EXPECT_EQ(lib.cReleases, 1);
    EXPECT_EQ(host.liveBlocks(), 0u);
    g_pLib = nullptr;
}
