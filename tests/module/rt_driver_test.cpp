// The composite-to-MHT driver: values in the main buffer (composite, text with and without records,
// refused types), the one retry with a larger buffer, the exception boundary, and images looked up in a
// hand-filled image table.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "log/log.h"
#include "richtext/driver.h"
#include "rt_test_host.h"
#include "text/buffer.h"

using namespace rt_test;

namespace {

const std::string kRunA = "<FONT FACE=3D\"SERIF\" SIZE=3D2 COLOR=3D#000000>a</FONT>\r\n";

CdBuilder &ImageRef(CdBuilder &b, const std::string &strName)
{
    return b.Rec(0xF6, CdBuilder::Word,
                 Body(4, 34).W(8, 3).W(12, static_cast<uint16_t>(strName.size())).S(34, strName));
}

/* What the host's text conversion does: copy, or throw what a test asks for. */
int g_nThrow = 0;
int32_t ThrowingTextConvert(ZAPI *pZAPI, int32_t, TextPair *pIn, TextPair *pOut, int32_t)
{
    if (g_nThrow == 1)
        throw std::bad_alloc();
    if (g_nThrow == 2)
        throw std::length_error("vector");
    if (g_nThrow == 3)
        throw 42;
    ++TestHost::Of(pZAPI).nTextConversions;
    int32_t cb = pIn->cb < pOut->cb ? pIn->cb : pOut->cb;
    memcpy(pOut->pb, pIn->pb, static_cast<size_t>(cb));
    pOut->cb = cb;
    return 0;
}

class RtDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_host.zapi.memoryService.fpRealloc = &TestHost::Resize;
        m_pContext = std::make_unique<NsfContext>();
        NsfContext *p = m_pContext.get();
        p->pZAPI = &m_host.zapi;
        p->nLogLevel = LOG_ALL;
        p->pLogFile = open_memstream(&m_pszLog, &m_cbLog);
        ASSERT_EQ(nsfCheckBuffer(p, 8192 - 1024), NSF_OK); /* as open leaves it: 8192 bytes */
        ASSERT_EQ(p->ucbBufferSize, 8192u);
    }
    void TearDown() override
    {
        NsfContext *p = m_pContext.get();
        MemoryService *pService = &m_host.zapi.memoryService;
        for (uint8_t *pb : {p->rgbBuffer, p->rgbBuffer2, p->rgbBuffer3})
            if (pb != nullptr)
                pService->fpFree(pService, pb);
        for (Image *pImage : m_rgpImages) {
            if (pImage->rgbData != nullptr)
                pService->fpFree(pService, pImage->rgbData);
            delete pImage;
        }
        EXPECT_TRUE(m_host.live.empty()) << m_host.live.size() << " blocks leaked";
        fclose(p->pLogFile);
        free(m_pszLog);
        g_nThrow = 0;
    }

    /* The main buffer holds a value: type word, then the bytes. */
    void SetValue(uint16_t wType, const std::vector<uint8_t> &rgb, bool bTypeWord = true)
    {
        NsfContext *p = m_pContext.get();
        p->ucbBuffer = 0;
        ASSERT_EQ(nsfCheckBuffer(p, static_cast<uint32_t>(rgb.size() + 2)), NSF_OK);
        if (bTypeWord) {
            p->rgbBuffer[0] = static_cast<uint8_t>(wType);
            p->rgbBuffer[1] = static_cast<uint8_t>(wType >> 8);
            p->ucbBuffer = 2;
        }
        if (!rgb.empty())
            memcpy(p->rgbBuffer + p->ucbBuffer, rgb.data(), rgb.size());
        p->ucbBuffer += static_cast<uint32_t>(rgb.size());
    }
    void SetValue(uint16_t wType, const std::string &str)
    {
        SetValue(wType, std::vector<uint8_t>(str.begin(), str.end()));
    }
    std::string Result() const
    {
        return std::string(reinterpret_cast<const char *>(m_pContext->rgbBuffer), m_pContext->ucbBuffer);
    }
    /* Converts the value in the main buffer, expecting success. */
    std::string Drive()
    {
        EXPECT_EQ(nsfConvertCDtoMHT(m_pContext.get(), 0), NSF_OK) << Log();
        EXPECT_EQ(m_pContext->rgbBuffer[m_pContext->ucbBuffer], 0) << "no terminator";
        return Result();
    }
    std::string Log()
    {
        fflush(m_pContext->pLogFile);
        return std::string(m_pszLog, m_cbLog);
    }
    bool Logged(const std::string &str) { return Log().find(str) != std::string::npos; }

    /* A hand-filled image table entry; null data when strBytes is empty. */
    Image *AddImage(const char *pszLinkName, uint16_t wType, const std::string &strBytes)
    {
        Image *pImage = new Image();
        pImage->nImage = static_cast<int32_t>(m_rgpImages.size());
        snprintf(pImage->pszLinkName, sizeof pImage->pszLinkName, "%s", pszLinkName);
        pImage->wImageType = wType;
        if (!strBytes.empty()) {
            MemoryService *pService = &m_host.zapi.memoryService;
            /* as the catalogue collects it: one zero byte more than the data */
            pImage->ucbDataSize = static_cast<uint32_t>(strBytes.size() + 1);
            pImage->rgbData = static_cast<uint8_t *>(pService->fpMalloc(pService, pImage->ucbDataSize));
            memcpy(pImage->rgbData, strBytes.data(), strBytes.size());
            pImage->rgbData[strBytes.size()] = 0;
            pImage->ucbData = static_cast<uint32_t>(strBytes.size());
        }
        m_rgpImages.push_back(pImage);
        m_pContext->rgImages = m_rgpImages.data();
        m_pContext->cImages = static_cast<int32_t>(m_rgpImages.size());
        m_pContext->cImagesMax = m_pContext->cImages;
        return pImage;
    }

    TestHost m_host;
    std::unique_ptr<NsfContext> m_pContext;
    std::vector<Image *> m_rgpImages;
    char *m_pszLog = nullptr;
    size_t m_cbLog = 0;
};

std::vector<uint8_t> ParagraphWithText(const std::string &str)
{
    CdBuilder b;
    Paragraph(b);
    Text(b, str);
    return b.rgb;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/* The reference: the converter run directly on the records. */
std::string Reference(TestHost &host, const std::vector<uint8_t> &rgb)
{
    return Convert(host, rgb);
}

/* The result with strInsert put in front of the first "</BODY>". */
std::string WithPrefix(const std::string &strMHT, const std::string &strInsert)
{
    size_t n = strMHT.find("</BODY>");
    return n == std::string::npos ? "<no body end>" : strMHT.substr(0, n) + strInsert + strMHT.substr(n);
}

} // namespace

/* ---- values --------------------------------------------------------------------------------------- */

TEST_F(RtDriverTest, CompositeValuesConvertUnchanged)
{
    SetValue(0x0001, std::vector<uint8_t>{});
    EXPECT_EQ(Drive(), kTail);
    EXPECT_TRUE(Logged("nsfConvertCDtoMHT(): CD wValueDataType 0x1 (TYPE_COMPOSITE, CLASS_"));
    EXPECT_TRUE(Logged("nsfConvertCDtoMHT(): szNoteID 0"));

    const std::vector<uint8_t> rgb = ParagraphWithText("a");
    SetValue(0x0001, rgb);
    EXPECT_EQ(Drive(), kRunA + kTail);
    EXPECT_EQ(m_pContext->ucbBuffer2, 0u);
    EXPECT_TRUE(Logged("CD wRecordType 641 0x281 (SIG_CD_PARAGRAPH)")) << Log();
}

TEST_F(RtDriverTest, ValuesOfTwoBytesOrFewerAreNotChecked)
{
    SetValue(0, std::vector<uint8_t>{}, false);
    EXPECT_EQ(Drive(), kTail);
    SetValue(0, std::vector<uint8_t>{0x07}, false);
    EXPECT_EQ(Drive(), kTail);
    SetValue(0x0300, std::vector<uint8_t>{});
    EXPECT_EQ(Drive(), kTail);
    SetValue(0x0500, std::vector<uint8_t>{});
    EXPECT_EQ(Drive(), kTail);
    EXPECT_EQ(m_pContext->ucbBuffer2, 0u);
}

TEST_F(RtDriverTest, OtherValueTypesAreRefused)
{
    for (uint16_t wType : {0x0000, 0x0300, 0x0400, 0x0501, 0x0019, 0xFFFF}) {
        SetValue(wType, ParagraphWithText("a"));
        const std::string strValue = Result();
        EXPECT_EQ(nsfConvertCDtoMHT(m_pContext.get(), 0), NSF_ERR_FAILED) << wType;
        EXPECT_EQ(Result(), strValue) << "the value is left as it was";
    }
    EXPECT_TRUE(Logged("nsfConvertCDtoMHT(): Invalid wValueDataType 0x300 (TYPE_")) << Log();
    EXPECT_TRUE(Logged("nsfConvertCDtoMHT(): Invalid wValueDataType 0xffff (TYPE_UNKNOWN, CLASS_UNKNOWN)"));
}

TEST_F(RtDriverTest, TextWithoutRecordsIsAllPrefix)
{
    /* no 0x82 0xFF pair anywhere (a lone 0x82, a pair the wrong way round) */
    SetValue(0x0500, std::string("Hi <there>\n=x \x82 \xFF\x82"));
    const std::string strOut = Drive();
    EXPECT_EQ(strOut.substr(0, 24), "Hi &lt;there&gt;<BR>\r\n=3");
    EXPECT_EQ(strOut.substr(strOut.size() - strlen(kTail) - 2), std::string("\r\n") + kTail);
    EXPECT_TRUE(Logged("Text ucbBuffer2 18 0x12, rgbBuffer2..."));

    /* plain ASCII: exact */
    SetValue(0x0500, std::string("a<b>c=d\r\nline 2"));
    EXPECT_EQ(Drive(), std::string("a&lt;b&gt;c=3Dd<BR>\r\nline 2\r\n") + kTail);
}

TEST_F(RtDriverTest, TextPrefixIsMergedInFrontOfTheBodyEnd)
{
    CdBuilder b;
    PabDef(b, 1);
    Paragraph(b);
    Text(b, "a");
    const std::string strRef = Reference(m_host, b.rgb);
    SetValue(0x0500, Concat(std::vector<uint8_t>{'p', '>', 'e'}, b.rgb));
    EXPECT_EQ(Drive(), WithPrefix(strRef, "p&gt;e\r\n"));
    EXPECT_TRUE(Logged("Initial MHT ucbBuffer"));
    EXPECT_TRUE(Logged("Final MHT ucbBuffer"));

    /* the split is at the first pair: a later definition stays a record */
    CdBuilder b2;
    PabDef(b2, 1);
    PabDef(b2, 2);
    Paragraph(b2);
    Text(b2, "a");
    SetValue(0x0500, Concat(std::vector<uint8_t>{'x'}, b2.rgb));
    EXPECT_EQ(Drive(), WithPrefix(Reference(m_host, b2.rgb), "x\r\n"));
}

TEST_F(RtDriverTest, DefinitionRightAtTheStartLeavesNoPrefix)
{
    CdBuilder b;
    PabDef(b, 1);
    Paragraph(b);
    Text(b, "a");
    SetValue(0x0500, b.rgb);
    EXPECT_EQ(Drive(), Reference(m_host, b.rgb));
    EXPECT_EQ(m_pContext->ucbBuffer2, 0u);
    EXPECT_FALSE(Logged("Initial MHT ucbBuffer"));
    EXPECT_TRUE(Logged("Text wValueDataType"));
}

TEST_F(RtDriverTest, LongTextPrefixGrowsTheBuffers)
{
    std::string strPrefix;
    std::string strWant;
    for (int i = 0; i < 3000; i++) {
        strPrefix += "hello world=\n";
        strWant += "hello world=3D<BR>\r\n";
    }
    CdBuilder b;
    PabDef(b, 1);
    Paragraph(b);
    Text(b, "a");
    SetValue(0x0500, Concat(std::vector<uint8_t>(strPrefix.begin(), strPrefix.end()), b.rgb));
    EXPECT_EQ(Drive(), WithPrefix(Reference(m_host, b.rgb), strWant + "\r\n"));
}

/* ---- retry and failures --------------------------------------------------------------------------- */

TEST_F(RtDriverTest, ResultLargerThanTheBufferIsMadeOnTheSecondAttempt)
{
    CdBuilder b;
    for (int i = 0; i < 300; i++) {
        Paragraph(b);
        Text(b, "a");
    }
    m_host.nTextConversions = 0;
    const std::string strRef = Reference(m_host, b.rgb);
    const int nPerRun = m_host.nTextConversions;
    ASSERT_GT(strRef.size(), 8192u);

    SetValue(0x0001, b.rgb);
    const uint32_t cbValue = m_pContext->ucbBuffer;
    m_host.nTextConversions = 0;
    EXPECT_EQ(Drive(), strRef);
    EXPECT_EQ(m_host.nTextConversions, 2 * nPerRun) << "converted twice";
    EXPECT_GE(m_pContext->ucbBufferSize, cbValue + strRef.size() + 1024);

    /* a second value of the same size fits the grown buffer at once */
    SetValue(0x0001, b.rgb);
    m_host.nTextConversions = 0;
    EXPECT_EQ(Drive(), strRef);
    EXPECT_EQ(m_host.nTextConversions, nPerRun);
}

TEST_F(RtDriverTest, BufferThatCannotGrowForTheRetryFails)
{
    CdBuilder b;
    for (int i = 0; i < 300; i++) {
        Paragraph(b);
        Text(b, "a");
    }
    SetValue(0x0001, b.rgb);
    m_host.nFailFrom = m_host.nAllocs; /* every allocation from now on */
    EXPECT_EQ(nsfConvertCDtoMHT(m_pContext.get(), 0), NSF_ERR_MEMORY);
    EXPECT_TRUE(Logged("nsfConvertCDtoMHT(): nsfCheckBuffer() failed"));
    EXPECT_EQ(m_pContext->ucbBuffer, 0u);
    m_host.nFailFrom = -1;
}

TEST_F(RtDriverTest, PrefixMergeReportsAFailingBuffer)
{
    CdBuilder b;
    PabDef(b, 1);
    Paragraph(b);
    Text(b, "a");
    /* temp buffer 2 takes the prefix, then buffer 3 cannot be made for the MHT text */
    SetValue(0x0500, Concat(std::vector<uint8_t>{'x'}, b.rgb));
    m_host.nFailFrom = m_host.nAllocs + 1;
    EXPECT_EQ(nsfConvertCDtoMHT(m_pContext.get(), 0), NSF_ERR_MEMORY);
    EXPECT_TRUE(Logged("nsfConvertCDtoMHT(): nsfCheckBuffer3() failed")) << Log();
    m_host.nFailFrom = -1;

    /* temp buffer 2 cannot take the prefix */
    SetValue(0x0500, Concat(std::vector<uint8_t>{'x'}, b.rgb));
    MemoryService *pService = &m_host.zapi.memoryService;
    pService->fpFree(pService, m_pContext->rgbBuffer2);
    m_pContext->rgbBuffer2 = nullptr;
    m_host.nFailFrom = m_host.nAllocs;
    EXPECT_EQ(nsfConvertCDtoMHT(m_pContext.get(), 0), NSF_ERR_MEMORY);
    EXPECT_TRUE(Logged("nsfConvertCDtoMHT(): nsfCheckBuffer2() failed"));
    m_host.nFailFrom = -1;
}

TEST_F(RtDriverTest, NoExceptionLeavesTheDriver)
{
    m_host.zapi.fpTextConvert = &ThrowingTextConvert;
    for (int nThrow : {1, 2, 3}) {
        g_nThrow = nThrow;
        SetValue(0x0001, ParagraphWithText("a"));
        EXPECT_EQ(nsfConvertCDtoMHT(m_pContext.get(), 0), NSF_ERR_FAILED) << nThrow;
        EXPECT_TRUE(Logged("nsfConvertCDtoMHT(): nsfRTConverter() failed, error 6, ucbBuffer 0"));
    }
    EXPECT_TRUE(Logged("Invalid CD ucbBuffer"));
    g_nThrow = 0;
    SetValue(0x0001, ParagraphWithText("a"));
    EXPECT_EQ(Drive(), kRunA + kTail);
}

TEST_F(RtDriverTest, ConverterArgumentsAndCapacity)
{
    uint8_t rgb[256] = {1, 0};
    uint32_t cbOut = 99;
    ZAPI *pZAPI = &m_host.zapi;
    NsfContext *p = m_pContext.get();
    EXPECT_EQ(nsfRTConverter(p, nullptr, "1", 0, rgb, 2, 256, &cbOut), NSF_ERR_ARGUMENT);
    EXPECT_EQ(nsfRTConverter(p, pZAPI, nullptr, 0, rgb, 2, 256, &cbOut), NSF_ERR_ARGUMENT);
    EXPECT_EQ(nsfRTConverter(p, pZAPI, "1", 0, nullptr, 2, 256, &cbOut), NSF_ERR_ARGUMENT);
    EXPECT_EQ(nsfRTConverter(p, pZAPI, "1", 0, rgb, 2, 256, nullptr), NSF_ERR_ARGUMENT);
    EXPECT_EQ(nsfRTConverter(p, pZAPI, "1", 0, rgb, 257, 256, &cbOut), NSF_ERR_ARGUMENT);
    EXPECT_EQ(cbOut, 99u) << "untouched on refused arguments";

    /* a value shorter than its type word converts as empty */
    const size_t cbTail = strlen(kTail);
    EXPECT_EQ(nsfRTConverter(p, pZAPI, "1", 0, rgb, 0, 256, &cbOut), NSF_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(rgb), cbOut), kTail);

    /* capacity: exactly the length fits, one byte less does not and leaves the value alone */
    rgb[0] = 1;
    rgb[1] = 0;
    memset(rgb + 2, 0xEE, sizeof rgb - 2);
    EXPECT_EQ(nsfRTConverter(p, pZAPI, "1", 0, rgb, 2, static_cast<uint32_t>(cbTail - 1), &cbOut), NSF_ERR_FAILED);
    EXPECT_EQ(cbOut, cbTail);
    EXPECT_EQ(rgb[0], 1);
    EXPECT_EQ(rgb[2], 0xEE);
    EXPECT_EQ(nsfRTConverter(p, pZAPI, "1", 0, rgb, 2, static_cast<uint32_t>(cbTail), &cbOut), NSF_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(rgb), cbOut), kTail);
    EXPECT_EQ(rgb[cbTail], 0xEE) << "no terminator written";
}

/* ---- images ---------------------------------------------------------------------------------------- */

TEST_F(RtDriverTest, ImagesAreCopiedOutOfTheTable)
{
    AddImage("logo.gif", 1, "GIF89a");
    AddImage("Photo", 2, "JFIF");
    AddImage("empty", 1, "");
    AddImage("odd", 7, "BM");
    NsfContext *p = m_pContext.get();
    MemoryService *pService = &m_host.zapi.memoryService;

    uint8_t *pb = reinterpret_cast<uint8_t *>(1);
    uint32_t cb = 5;
    int32_t nType = 5;
    EXPECT_EQ(nsfGetMHTImageCB(p, "LOGO.GIF", &pb, &cb, &nType), NSF_OK);
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(pb), cb), "GIF89a");
    EXPECT_EQ(nType, 1);
    EXPECT_EQ(m_host.live.at(pb), 7u) << "the whole data block is copied";
    pService->fpFree(pService, pb);
    EXPECT_TRUE(Logged("nsfGetMHTImageCB(): *pnImageSize 6, *pnStreamType 1"));

    EXPECT_EQ(nsfGetMHTImageCB(p, "nothing", &pb, &cb, &nType), NSF_ERR_FAILED);
    EXPECT_EQ(pb, nullptr);
    EXPECT_EQ(cb, 0u);
    EXPECT_EQ(nType, 0);
    EXPECT_TRUE(Logged("nsfGetMHTImageCB(): nsfFindImage() failed"));
    EXPECT_EQ(nsfGetMHTImageCB(p, "empty", &pb, &cb, &nType), NSF_ERR_FAILED);
    EXPECT_TRUE(Logged("nsfGetMHTImageCB(): No image data"));

    m_host.nFailFrom = m_host.nAllocs;
    EXPECT_EQ(nsfGetMHTImageCB(p, "photo", &pb, &cb, &nType), NSF_ERR_MEMORY);
    EXPECT_TRUE(Logged("nsfGetMHTImageCB(): Error allocating image buf, Image.ucbDataSize 5"));
    m_host.nFailFrom = -1;

    EXPECT_EQ(nsfGetMHTImageCB(nullptr, "logo.gif", &pb, &cb, &nType), NSF_ERR_ARGUMENT);
    EXPECT_EQ(nsfGetMHTImageCB(p, nullptr, &pb, &cb, &nType), NSF_ERR_ARGUMENT);
    EXPECT_EQ(nsfGetMHTImageCB(p, "logo.gif", nullptr, &cb, &nType), NSF_ERR_ARGUMENT);
    EXPECT_EQ(nsfGetMHTImageCB(p, "logo.gif", &pb, nullptr, &nType), NSF_ERR_ARGUMENT);
    EXPECT_EQ(nsfGetMHTImageCB(p, "logo.gif", &pb, &cb, nullptr), NSF_ERR_ARGUMENT);

    /* the converter's callback: the type when it is an image type, else 0; statuses passed back */
    EXPECT_EQ(nsfRTImageCB("photo", p, &pb, &cb, &nType), NSF_OK);
    EXPECT_EQ(nType, 2);
    pService->fpFree(pService, pb);
    EXPECT_EQ(nsfRTImageCB("odd", p, &pb, &cb, &nType), NSF_OK);
    EXPECT_EQ(nType, 0);
    pService->fpFree(pService, pb);
    EXPECT_EQ(nsfRTImageCB("nothing", p, &pb, &cb, &nType), NSF_ERR_FAILED);
}

TEST_F(RtDriverTest, NoImageTableFindsNothing)
{
    uint8_t *pb = nullptr;
    uint32_t cb = 0;
    int32_t nType = 0;
    EXPECT_EQ(nsfGetMHTImageCB(m_pContext.get(), "logo.gif", &pb, &cb, &nType), NSF_ERR_FAILED);
    EXPECT_EQ(pb, nullptr);
}

TEST_F(RtDriverTest, ImageReferencesBecomeMimeParts)
{
    AddImage("logo.gif", 1, "GIF89a-bytes");
    CdBuilder b;
    ImageRef(b, "Logo.GIF");
    ImageRef(b, "missing");
    std::vector<uint8_t> rgb = {1, 0};
    rgb.insert(rgb.end(), b.rgb.begin(), b.rgb.end());
    rgb.resize(4096);
    uint32_t cbOut = 0;
    ASSERT_EQ(nsfRTConverter(m_pContext.get(), &m_host.zapi, "1F6", 0, rgb.data(),
                             static_cast<uint32_t>(b.rgb.size() + 2), 4096, &cbOut),
              NSF_OK);
    const std::string strOut(reinterpret_cast<char *>(rgb.data()), cbOut);
    EXPECT_NE(strOut.find("<IMG src=3D\"file:///tm_1F6_image0.gif\">"), std::string::npos) << strOut;
    EXPECT_NE(strOut.find("Content-Location: file:///tm_1F6_image0.gif\r\n\r\nR0lGODlhLWJ5dGVz"), std::string::npos)
        << strOut;
    EXPECT_EQ(strOut.find("image1"), std::string::npos) << "a failed look-up gives no image";
    EXPECT_TRUE(Logged("Image not found, pszLinkName missing"));
}
