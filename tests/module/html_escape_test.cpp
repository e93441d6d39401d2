// HTML escaping of UTF-8 text in the main buffer: the character mapping, the host's lead-byte rule, the
// overflow of temp buffer 2 at its exact size, and failing allocations.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "log/log.h"
#include "support/test_host.h"
#include "text/buffer.h"
#include "text/html_escape.h"

namespace {

/* Which bytes the lead-byte test claims, and what it was asked. */
struct LeadBytes {
    std::vector<uint8_t> rgbLead;
    std::vector<int32_t> rgnCharsets;
};
LeadBytes *g_pLeadBytes = nullptr;

int32_t IsLeadByte(ZAPI *, uint8_t b, int32_t nCharset)
{
    g_pLeadBytes->rgnCharsets.push_back(nCharset);
    for (uint8_t bLead : g_pLeadBytes->rgbLead)
        if (b == bLead)
            return 1;
    return 0;
}

class HtmlEscapeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pContext = std::make_unique<NsfContext>();
        m_pContext->pZAPI = m_host.zapi();
        m_pContext->nLogLevel = LOG_ALL;
        m_pContext->pLogFile = open_memstream(&m_pszLog, &m_cbLog);
        g_pLeadBytes = &m_lead;
    }
    void TearDown() override
    {
        NsfContext *p = m_pContext.get();
        MemoryService *pService = &m_host.zapi()->memoryService;
        for (uint8_t *pb : {p->rgbBuffer, p->rgbBuffer2, p->rgbBuffer3})
            if (pb != nullptr)
                pService->fpFree(pService, pb);
        EXPECT_EQ(m_host.liveBlocks(), 0u) << "blocks leaked";
        EXPECT_EQ(m_host.badFrees(), 0);
        fclose(p->pLogFile);
        free(m_pszLog);
        g_pLeadBytes = nullptr;
    }

    /* The main buffer as open leaves it, holding the text. */
    void SetText(const std::string &str)
    {
        NsfContext *p = m_pContext.get();
        p->ucbBuffer = 0;
        ASSERT_EQ(nsfCheckBuffer(p, static_cast<uint32_t>(str.size())), NSF_OK);
        memcpy(p->rgbBuffer, str.data(), str.size());
        p->ucbBuffer = static_cast<uint32_t>(str.size());
        p->rgbBuffer[p->ucbBuffer] = 0;
    }
    std::string Result() const
    {
        const NsfContext *p = m_pContext.get();
        return std::string(reinterpret_cast<const char *>(p->rgbBuffer), p->ucbBuffer);
    }
    /* Escapes str, expecting success, and returns the result (checking its terminator). */
    std::string Escape(const std::string &str)
    {
        SetText(str);
        EXPECT_EQ(nsfConvertUTF8toHTML(m_pContext.get()), NSF_OK);
        EXPECT_EQ(m_pContext->rgbBuffer[m_pContext->ucbBuffer], 0) << "no terminator";
        return Result();
    }
    std::string Log()
    {
        fflush(m_pContext->pLogFile);
        return std::string(m_pszLog, m_cbLog);
    }

    nsfrex_test::TestHost m_host;
    LeadBytes m_lead;
    std::unique_ptr<NsfContext> m_pContext;
    char *m_pszLog = nullptr;
    size_t m_cbLog = 0;
};

} // namespace

TEST_F(HtmlEscapeTest, MapsBracketsEqualsAndLineEndsAndNothingElse)
{
    EXPECT_EQ(Escape(""), "");
    EXPECT_EQ(Escape("a<b>c=d"), "a&lt;b&gt;c=3Dd");
    EXPECT_EQ(Escape("one\r\ntwo"), "one<BR>\r\ntwo");
    EXPECT_EQ(Escape("lf\ncr\rend\r"), "lf<BR>\r\ncrend");
    EXPECT_EQ(Escape("\n\n"), "<BR>\r\n<BR>\r\n");
    /* ampersands, quotes and tabs are not escaped; a zero byte passes */
    EXPECT_EQ(Escape("&amp; \"q\" 'a'\t"), "&amp; \"q\" 'a'\t");
    EXPECT_EQ(Escape(std::string("a\0b", 3)), std::string("a\0b", 3));
    /* the result is logged as a dump */
    EXPECT_NE(Log().find("ucbBuffer 3 0x3, rgbBuffer ..."), std::string::npos);
}

TEST_F(HtmlEscapeTest, MultiByteUtf8PassesWhateverTheLeadByteTestAnswers)
{
    const std::string strText = "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80 \xFF\x80";
    /* no lead-byte service at all */
    EXPECT_EQ(Escape(strText), strText);
    m_host.zapi()->fpIsLeadByte = IsLeadByte;
    EXPECT_EQ(Escape(strText), strText);
    m_lead.rgbLead = {0xC3, 0xE2, 0xF0, 0x82, 0x9F, 0xFF};
    EXPECT_EQ(Escape(strText), strText);
    ASSERT_FALSE(m_lead.rgnCharsets.empty());
    for (int32_t n : m_lead.rgnCharsets)
        EXPECT_EQ(n, NSF_LEADBYTE_CHARSET);
}

TEST_F(HtmlEscapeTest, LeadByteCarriesTheNextByteUnescaped)
{
    m_host.zapi()->fpIsLeadByte = IsLeadByte;
    m_lead.rgbLead = {0x81};
    /* the byte after a lead byte is copied even when it is a mapped character */
    EXPECT_EQ(Escape("\x81<\x81=\x81\n<"), "\x81<\x81=\x81\n&lt;");
    /* a lead byte right behind a lead byte's trail byte is a new character */
    EXPECT_EQ(Escape("\x81\x81\x81>"), "\x81\x81\x81>");
    /* text ending on a lead byte: only that byte, nothing read beyond the text */
    EXPECT_EQ(Escape("a\x81"), "a\x81");
    /* the trail byte is not asked about */
    m_lead.rgnCharsets.clear();
    Escape("\x81<");
    EXPECT_EQ(m_lead.rgnCharsets.size(), 1u);
}

TEST_F(HtmlEscapeTest, OverflowAtTheExactSizeOfTempBuffer2)
{
    /* temp buffer 2 is fresh, so it is sized exactly 2 x input + 256 */
    EXPECT_EQ(Escape(std::string(63, '\n')).size(), 378u);
    EXPECT_EQ(m_pContext->ucbBuffer2Size, 382u);

    MemoryService *pService = &m_host.zapi()->memoryService;
    pService->fpFree(pService, m_pContext->rgbBuffer2);
    m_pContext->rgbBuffer2 = nullptr;
    m_pContext->ucbBuffer2Size = 0;
    const std::string strIn(64, '\n');
    SetText(strIn);
    EXPECT_EQ(nsfConvertUTF8toHTML(m_pContext.get()), NSF_ERR_FAILED);
    EXPECT_EQ(m_pContext->ucbBuffer2Size, 384u);
    EXPECT_EQ(Result(), strIn) << "the main buffer is left as it was";
    EXPECT_NE(Log().find("nsfConvertUTF8toHTML(): Buffer overflow, ucbBuffer2 384"), std::string::npos) << Log();

    /* brackets grow to 4 bytes: 128 of them reach 512 = 2 x 128 + 256 */
    pService->fpFree(pService, m_pContext->rgbBuffer2);
    m_pContext->rgbBuffer2 = nullptr;
    m_pContext->ucbBuffer2Size = 0;
    SetText(std::string(128, '<'));
    EXPECT_EQ(nsfConvertUTF8toHTML(m_pContext.get()), NSF_ERR_FAILED);
}

TEST_F(HtmlEscapeTest, LargerTempBufferLeftByAnEarlierUseHoldsDenseText)
{
    NsfContext *p = m_pContext.get();
    ASSERT_EQ(nsfCheckBuffer2(p, 4000), NSF_OK);
    const std::string strOut = Escape(std::string(64, '\n'));
    EXPECT_EQ(strOut.size(), 384u);
    EXPECT_EQ(strOut.substr(0, 6), "<BR>\r\n");
}

TEST_F(HtmlEscapeTest, LongTextGrowsTheMainBuffer)
{
    std::string strIn;
    std::string strWant;
    for (int i = 0; i < 5000; i++) {
        strIn += "hello world <b>\n";
        strWant += "hello world &lt;b&gt;<BR>\r\n";
    }
    EXPECT_EQ(Escape(strIn), strWant);
    EXPECT_GE(m_pContext->ucbBufferSize, strWant.size());
}

TEST_F(HtmlEscapeTest, FailedAllocationsReturnStatus2)
{
    NsfContext *p = m_pContext.get();
    /* temp buffer 2 cannot be made */
    SetText("a<b");
    m_host.FailAllocation(1);
    EXPECT_EQ(nsfConvertUTF8toHTML(p), NSF_ERR_MEMORY);
    EXPECT_NE(Log().find("nsfConvertUTF8toHTML(): nsfCheckBuffer2() failed"), std::string::npos);
    EXPECT_EQ(p->rgbBuffer2, nullptr);

    /* the main buffer cannot grow for the result: temp buffer 2 is made, then the growth fails */
    std::string strIn(6000, 'a');
    SetText(strIn);
    m_host.FailAllocation(2);
    EXPECT_EQ(nsfConvertUTF8toHTML(p), NSF_ERR_MEMORY);
    EXPECT_NE(Log().find("nsfConvertUTF8toHTML(): nsfCheckBuffer() failed"), std::string::npos);
    EXPECT_EQ(p->ucbBuffer, 0u);
}
