// The composite-to-MHT driver: values in the main buffer (composite, text with and without records,
// refused types), the one retry with a larger buffer, and image references.
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

class RtDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pContext = std::make_unique<NsfContext>();
        NsfContext *p = m_pContext.get();
        p->pZAPI = m_host.zapi();
        p->nLogLevel = LOG_ALL;
        p->pLogFile = open_memstream(&m_pszLog, &m_cbLog);
        ASSERT_EQ(nsfCheckBuffer(p, 8192 - 1024), NSF_OK); /* as open leaves it: 8192 bytes */
        ASSERT_EQ(p->ucbBufferSize, 8192u);
    }
    void TearDown() override
    {
        NsfContext *p = m_pContext.get();
        MemoryService *pService = &m_host.zapi()->memoryService;
        for (uint8_t *pb : {p->rgbBuffer, p->rgbBuffer2, p->rgbBuffer3})
            if (pb != nullptr)
                pService->fpFree(pService, pb);
        for (Image *pImage : m_rgpImages) {
            if (pImage->rgbData != nullptr)
                pService->fpFree(pService, pImage->rgbData);
            delete pImage;
        }
        EXPECT_EQ(m_host.liveBlocks(), 0u) << m_host.liveBlocks() << " blocks leaked";
        fclose(p->pLogFile);
        free(m_pszLog);
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
            MemoryService *pService = &m_host.zapi()->memoryService;
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
    const std::string strRef = Convert(m_host, b.rgb);
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
    EXPECT_EQ(Drive(), WithPrefix(Convert(m_host, b2.rgb), "x\r\n"));
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
    const std::string strRef = Convert(m_host, b.rgb);
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

/* ---- images ---------------------------------------------------------------------------------------- */

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
    ASSERT_EQ(nsfRTConverter(m_pContext.get(), m_host.zapi(), "1F6", 0, rgb.data(),
                             static_cast<uint32_t>(b.rgb.size() + 2), 4096, &cbOut),
              NSF_OK);
    const std::string strOut(reinterpret_cast<char *>(rgb.data()), cbOut);
    EXPECT_NE(strOut.find("<IMG src=3D\"file:///tm_1F6_image0.gif\">"), std::string::npos) << strOut;
    EXPECT_NE(strOut.find("Content-Location: file:///tm_1F6_image0.gif\r\n\r\nR0lGODlhLWJ5dGVz"), std::string::npos)
        << strOut;
    EXPECT_EQ(strOut.find("image1"), std::string::npos) << "a failed look-up gives no image";
    EXPECT_TRUE(Logged("Image not found, pszLinkName missing"));
}
