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

CdBuilder &ImageHeader(CdBuilder &b, uint16_t wType, uint16_t wWidth, uint16_t wHeight, uint32_t cSegments)
{
    return b.Rec(0x7D, CdBuilder::Long, Body(6, 28).W(6, wType).W(8, wWidth).W(10, wHeight).D(16, cSegments));
}
CdBuilder &ImageSegment(CdBuilder &b, const std::string &strBytes, uint16_t cbClaimed)
{
    Body body(6, 10);
    body.W(6, cbClaimed).W(8, static_cast<uint16_t>(strBytes.size())).S(10, strBytes);
    return b.Rec(0x7C, CdBuilder::Long, body);
}
CdBuilder &ImageRef(CdBuilder &b, uint8_t bSig, uint16_t wType, const std::string &strName, uint16_t cbName)
{
    return b.Rec(bSig, CdBuilder::Word, Body(4, 34).W(8, wType).W(12, cbName).S(34, strName));
}

/* ---- image callback ---------------------------------------------------------------------------- */

struct ImageSource {
    std::vector<std::string> names;    /* names asked for */
    int32_t nStatus = 0;
    std::string strBytes = "GIF89a-bytes";
    int32_t nType = 1;
};
ImageSource *g_pSource = nullptr;

int32_t ImageCallback(const char *pszLinkName, NsfContext *pContext, uint8_t **ppData, uint32_t *pcbData, int32_t *pnType)
{
    TestHost &host = *reinterpret_cast<TestHost *>(pContext);
    g_pSource->names.emplace_back(pszLinkName);
    if (!g_pSource->strBytes.empty()) {
        *ppData = static_cast<uint8_t *>(TestHost::Malloc(&host.zapi.memoryService, g_pSource->strBytes.size()));
        memcpy(*ppData, g_pSource->strBytes.data(), g_pSource->strBytes.size());
    }
    *pcbData = static_cast<uint32_t>(g_pSource->strBytes.size());
    *pnType = g_pSource->nType;
    return g_pSource->nStatus;
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
    host.zapi.fpLoadLibrary = &LoadLibrary;
    host.zapi.fpGetEntry = &GetEntry;
    host.zapi.fpFreeLibrary = &FreeLibrary;
    host.zapi.fpOpenMemoryStream = &OpenMemoryStream;
}

} // namespace

TEST(RtBase64, GroupsPaddingAndLines)
{
    EXPECT_EQ(Base64(""), "");
    EXPECT_EQ(Base64("abc"), "YWJj");
    EXPECT_EQ(Base64("ab"), "YWI=");
    EXPECT_EQ(Base64("a"), "YQ==");
    EXPECT_EQ(Base64(std::string("\xFF\xFE\x00", 3)), "//4A");

    const std::string strLine = Base64(std::string(54, 'x'));
    ASSERT_EQ(strLine.size(), 74u);
    EXPECT_EQ(strLine.substr(72), "\r\n");
    const std::string strMore = Base64(std::string(57, 'x'));
    ASSERT_EQ(strMore.size(), 78u);
    EXPECT_EQ(strMore.substr(0, 74), strLine);
    EXPECT_EQ(strMore.substr(74), "eHh4");

    /* The line length runs on from call to call; a two-byte tail ends the line, a one-byte tail not. */
    int32_t nLineLen = 68;
    EXPECT_EQ(Base64("abc", &nLineLen), "YWJj\r\n");
    EXPECT_EQ(nLineLen, 0);
    nLineLen = 40;
    EXPECT_EQ(Base64("abcab", &nLineLen), "YWJjYWI=");
    EXPECT_EQ(nLineLen, 0);
    nLineLen = 40;
    EXPECT_EQ(Base64("abca", &nLineLen), "YWJjYQ==");
    EXPECT_EQ(nLineLen, 44);

    /* The capacity covers every length and starting line position. */
    for (int32_t cb = 0; cb < 400; ++cb) {
        for (int32_t nStart = 0; nStart < 72; nStart += 4) {
            std::vector<char> out(static_cast<size_t>(nsfGetBase64Capacity(cb)));
            std::vector<uint8_t> in(static_cast<size_t>(cb), 0x5A);
            int32_t n = nStart;
            ASSERT_LT(encode_base64(in.data(), cb, out.data(), &n), static_cast<int32_t>(out.size())) << cb;
        }
    }
    EXPECT_EQ(nsfGetBase64Capacity(-1), -1);
    EXPECT_EQ(nsfGetBase64Capacity(INT32_MAX), -1);
}

TEST(RtImage, ImageHeadersSegmentsAndParts)
{
    TestHost host;
    CdBuilder b;
    ImageSegment(b, "lost", 4);                 /* before any header: dropped */
    ImageHeader(b, 2, 32, 0, 2);
    ImageSegment(b, "JPEG", 4);
    ImageSegment(b, "data", 9);                 /* claims more than it holds */
    ImageHeader(b, 1, 0, 7, 1);
    ImageSegment(b, "GIF!x", 4);
    ImageHeader(b, 3, 5, 5, 0);                 /* no segments: no image */
    ImageHeader(b, 9, 1, 1, 1);                 /* unknown type */
    ImageSegment(b, "???", 3);
    const std::string strResult = Convert(host, b.rgb);
    EXPECT_EQ(BodyOf(strResult), "<IMG src=3D\"file:///tm_1F6_image0.jpg\" width=3D32>\r\n"
                                 "<IMG src=3D\"file:///tm_1F6_image1.gif\" height=3D7>\r\n"
                                 "<IMG src=3D\"file:///tm_1F6_image2\" width=3D1 height=3D1>\r\n");
    EXPECT_EQ(PartsOf(strResult), Part("tm_1F6_image0.jpg", "Content-Type: image/jpeg\r\n", "JPEGdata") +
                                      Part("tm_1F6_image1.gif", "Content-Type: image/gif\r\n", "GIF!") +
                                      Part("tm_1F6_image2", "", "???"));
    EXPECT_TRUE(host.live.empty());

    /* No memory for an image's base64 text: its tag stays, its part is left out. */
    TestHost failing;
    CdBuilder one;
    ImageHeader(one, 2, 0, 0, 1);
    ImageSegment(one, "JPEG", 4);
    failing.nFailFrom = 1; /* the segment's block is the first allocation */
    const std::string strFailed = Convert(failing, one.rgb);
    EXPECT_EQ(BodyOf(strFailed), "<IMG src=3D\"file:///tm_1F6_image0.jpg\">\r\n");
    EXPECT_EQ(PartsOf(strFailed), "");
    EXPECT_TRUE(failing.live.empty());
}

TEST(RtImage, ImageReferencesThroughTheCallback)
{
    TestHost host;
    ImageSource source;
    g_pSource = &source;
    auto *pContext = reinterpret_cast<NsfContext *>(&host);

    CdBuilder b;
    ImageRef(b, 0xF6, 3, std::string("logo.gif\0tail", 13), 13);
    ImageRef(b, 0xF6, 1, "url", 3);             /* not a named element */
    ImageRef(b, 0x78, 3, "", 0);                /* empty name */
    ImageRef(b, 0x78, 3, "cell.gif", 200);      /* name length past the record */
    const std::string strResult = Convert(host, b.rgb, 0, &ImageCallback, pContext);
    EXPECT_EQ(source.names, (std::vector<std::string>{"logo.gif", "cell.gif"}));
    EXPECT_EQ(BodyOf(strResult), "<IMG src=3D\"file:///tm_1F6_image0.gif\">\r\n"
                                 "<IMG src=3D\"file:///tm_1F6_image1.gif\">\r\n");
    EXPECT_EQ(PartsOf(strResult), Part("tm_1F6_image0.gif", "Content-Type: image/gif\r\n", "GIF89a-bytes") +
                                      Part("tm_1F6_image1.gif", "Content-Type: image/gif\r\n", "GIF89a-bytes"));
    EXPECT_TRUE(host.live.empty()); /* delivered bytes and name blocks are freed */

    /* Without a callback references are ignored; a failed look-up or no bytes give no image. */
    EXPECT_EQ(Convert(host, b.rgb), kTail);
    source.nStatus = 6;
    EXPECT_EQ(Convert(host, b.rgb, 0, &ImageCallback, pContext), kTail);
    source.nStatus = 0;
    source.strBytes.clear();
    EXPECT_EQ(Convert(host, b.rgb, 0, &ImageCallback, pContext), kTail);
    EXPECT_TRUE(host.live.empty());

    /* A reference inside a BEGIN...END bracket acts in both passes. */
    source.strBytes = "JPG";
    source.nType = 2;
    source.names.clear();
    CdBuilder br;
    br.Rec(0xDD, CdBuilder::Byte, {0, 0, 0, 0});
    ImageRef(br, 0xF6, 3, "a", 1);
    br.Rec(0xDE, CdBuilder::Byte, {0, 0, 0, 0});
    EXPECT_EQ(BodyOf(Convert(host, br.rgb, 0, &ImageCallback, pContext)),
              "<IMG src=3D\"file:///tm_1F6_image0.jpg\">\r\n<IMG src=3D\"file:///tm_1F6_image1.jpg\">\r\n");
    EXPECT_EQ(source.names.size(), 2u);
    g_pSource = nullptr;
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
        EXPECT_TRUE(host.live.empty());
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
            host.zapi.fpLoadLibrary = nullptr;
        EXPECT_EQ(PartsOf(Convert(host, b.rgb)), strUnconverted) << nCase;
        EXPECT_EQ(lib.cFrees, lib.cLoads) << nCase;
        EXPECT_EQ(lib.cReleases, nCase == 3 ? 1 : 0) << nCase;
        EXPECT_TRUE(host.live.empty());
    }

    /* No memory for the converted bytes: the image writes no part, but keeps its tag. */
    TestHost host;
    ImageLibrary lib;
    InstallLibrary(host, lib);
    host.nFailFrom = 4; /* four appends succeed, the resize for the BMP fails */
    const std::string strResult = Convert(host, b.rgb);
    EXPECT_EQ(BodyOf(strResult), strTag);
    EXPECT_EQ(PartsOf(strResult), "");
    EXPECT_EQ(lib.cReleases, 1);
    EXPECT_TRUE(host.live.empty());
    g_pLib = nullptr;
}
