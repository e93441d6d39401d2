// Name lookups for log lines (every table, its edges and unknown codes) and the record-by-record dump of
// composite values, including damaged ones held in exactly sized blocks so that an over-read shows up.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "log/log.h"
#include "text/cddump.h"
#include "text/names.h"

namespace {

TEST(NameTables, HostTypesByExactValue)
{
    EXPECT_STREQ(nsfHostTypeName(0), "HOST_MSDOS");
    EXPECT_STREQ(nsfHostTypeName(0x0300), "HOST_UNKNOWN");
    EXPECT_STREQ(nsfHostTypeName(2560), "HOST_LINK");
    EXPECT_STREQ(nsfHostTypeName(0x0B00), "HOST_UNKNOWN");
    EXPECT_STREQ(nsfHostTypeName(0x0101), "HOST_UNKNOWN"); // not masked here: callers mask
    EXPECT_STREQ(nsfHostTypeName(0xFFFF), "HOST_UNKNOWN");
}

TEST(NameTables, ClassesIgnoreTheLowByte)
{
    EXPECT_STREQ(nsfClassName(0x0501), "CLASS_TEXT");
    EXPECT_STREQ(nsfClassName(0x0001), "CLASS_NOCOMPUTE");
    EXPECT_STREQ(nsfClassName(0x00FF), "CLASS_NOCOMPUTE");
    EXPECT_STREQ(nsfClassName(0x07FF), "CLASS_USERID");
    EXPECT_STREQ(nsfClassName(0x0800), "CLASS_UNKNOWN");
    EXPECT_STREQ(nsfClassName(0xFF85), "CLASS_UNKNOWN");
}

TEST(NameTables, ValueTypesByExactValue)
{
    EXPECT_STREQ(nsfTypeName(0x0501), "TYPE_TEXT_LIST");
    EXPECT_STREQ(nsfTypeName(0x0500), "TYPE_TEXT");
    EXPECT_STREQ(nsfTypeName(0), "TYPE_INVALID_OR_UNKNOWN");
    EXPECT_STREQ(nsfTypeName(1), "TYPE_COMPOSITE");
    EXPECT_STREQ(nsfTypeName(1025), "TYPE_IME_RANGE");
    EXPECT_STREQ(nsfTypeName(31), "TYPE_SEAL2");
    EXPECT_STREQ(nsfTypeName(23), "TYPE_UNKNOWN");
    EXPECT_STREQ(nsfTypeName(0x0503), "TYPE_UNKNOWN");
    EXPECT_STREQ(nsfTypeName(0xFFFF), "TYPE_UNKNOWN");

    // every listed type is found (37 of them), nothing else is
    int cNamed = 0;
    for (uint32_t w = 0; w <= 0xFFFF; w++)
        if (strcmp(nsfTypeName(static_cast<uint16_t>(w)), "TYPE_UNKNOWN") != 0)
            cNamed++;
    EXPECT_EQ(cNamed, 37);
}

TEST(NameTables, RecordSignaturesInBothHeaderForms)
{
    EXPECT_STREQ(nsfSigName(0xFF85), "SIG_CD_TEXT");
    EXPECT_STREQ(nsfSigName(0x85), "SIG_INVALID");
    EXPECT_STREQ(nsfSigName(0xFF59), "SIG_INVALID");
    EXPECT_STREQ(nsfSigName(0xFF81), "SIG_INVALID");
    EXPECT_STREQ(nsfSigName(89), "SIG_CD_IGNORE");
    EXPECT_STREQ(nsfSigName(88), "SIG_INVALID");
    EXPECT_STREQ(nsfSigName(226), "SIG_CD_TABLEROWHEIGHT");
    EXPECT_STREQ(nsfSigName(227), "SIG_INVALID");
    EXPECT_STREQ(nsfSigName(0xFF56), "SIG_INVALID");
    EXPECT_STREQ(nsfSigName(0xFF57), "SIG_VIEWMAP_DATASET");
    EXPECT_STREQ(nsfSigName(0xFFFF), "SIG_CD_EMBEDDEDEDITCTL");
    EXPECT_STREQ(nsfSigName(0), "SIG_INVALID");

    // 174 names, all inside the two ranges, every one found by its code
    int cNamed = 0;
    for (uint32_t w = 0; w <= 0xFFFF; w++) {
        const char *psz = nsfSigName(static_cast<uint16_t>(w));
        ASSERT_NE(psz, nullptr);
        if (strcmp(psz, "SIG_INVALID") == 0)
            continue;
        cNamed++;
        EXPECT_TRUE((w >= 89 && w <= 226) || (w >= 0xFF57 && w <= 0xFFFF)) << w;
        EXPECT_EQ(strncmp(psz, "SIG_", 4), 0) << psz;
    }
    EXPECT_EQ(cNamed, 174);
}

TEST(NameTables, NoteClassesOnlyAsSingleBits)
{
    EXPECT_STREQ(nsfNoteClassName(0x0001), "NOTE_CLASS_DOCUMENT");
    EXPECT_STREQ(nsfNoteClassName(0x0008), "NOTE_CLASS_VIEW");
    EXPECT_STREQ(nsfNoteClassName(0x1000), "NOTE_CLASS_PRIVATE");
    EXPECT_STREQ(nsfNoteClassName(0x0009), "NOTE_CLASS_UNKNOWN");
    EXPECT_STREQ(nsfNoteClassName(0x0000), "NOTE_CLASS_UNKNOWN");
    EXPECT_STREQ(nsfNoteClassName(0x8001), "NOTE_CLASS_UNKNOWN");
}

/* A context whose main buffer holds exactly the given bytes (in a block of that size) and whose log goes to
   memory without time prefixes. */
class CDDumpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pContext = std::make_unique<NsfContext>();
        m_pContext->nLogLevel = LOG_ALL;
        m_pContext->pLogFile = open_memstream(&m_pszLog, &m_cbLog);
    }
    void TearDown() override
    {
        fclose(m_pContext->pLogFile);
        free(m_pszLog);
    }
    NSFSTATUS Dump(const std::vector<uint8_t> &value)
    {
        m_pValue.reset(new uint8_t[value.empty() ? 1 : value.size()]);
        if (!value.empty())
            memcpy(m_pValue.get(), value.data(), value.size());
        m_pContext->rgbBuffer = m_pValue.get();
        m_pContext->ucbBuffer = static_cast<uint32_t>(value.size());
        m_pContext->ucbBufferSize = static_cast<uint32_t>(value.size());
        NSFSTATUS status = nsfDumpCDBuffer(m_pContext.get());
        m_pContext->rgbBuffer = nullptr;
        return status;
    }
    /* The log lines written so far, then forgotten. */
    std::vector<std::string> TakeLines()
    {
        fflush(m_pContext->pLogFile);
        std::string text(m_pszLog, m_cbLog);
        std::vector<std::string> lines;
        std::istringstream in(text.substr(m_cbSeen));
        m_cbSeen = text.size();
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }
    std::vector<std::string> RecordLines(const std::vector<std::string> &lines)
    {
        std::vector<std::string> out;
        for (const auto &l : lines)
            if (l.find("uSignature") != std::string::npos || l.find("lcbRecord") != std::string::npos)
                out.push_back(l.substr(l.find("(): ") + 4));
        return out;
    }

    std::unique_ptr<NsfContext> m_pContext;
    std::unique_ptr<uint8_t[]> m_pValue;
    char *m_pszLog = nullptr;
    size_t m_cbLog = 0;
    size_t m_cbSeen = 0;
};

TEST_F(CDDumpTest, WalksByteWordAndLongHeadersOnEvenOffsets)
{
    const std::vector<uint8_t> value = {
        0x01, 0x00,                                     // TYPE_COMPOSITE
        0x81, 0x02,                                     // CDPARAGRAPH, byte header
        0x85, 0xFF, 0x07, 0x00, 'a', 'b', 'c', 0x00,    // CDTEXT, word header, 7 bytes + 1 pad
        0x60, 0x00, 0x06, 0x00, 0x00, 0x00,             // long header, 6 bytes
    };
    EXPECT_EQ(Dump(value), NSF_OK);
    auto lines = TakeLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "[0/0] DUMP nsfDumpCDBuffer(): ucbBuffer 18 0x12");
    std::vector<std::string> expected = {
        "uSignature 129 0x81 (SIG_CD_PARAGRAPH)",     "lcbRecord 0x2 2, pbRecord...",
        "uSignature 65413 0xff85 (SIG_CD_TEXT)",      "lcbRecord 0x7 7, pbRecord...",
        "uSignature 96 0x60 (SIG_CD_FILESEGMENT)",    "lcbRecord 0x6 6, pbRecord...",
    };
    EXPECT_EQ(RecordLines(lines), expected);
    EXPECT_TRUE(std::find(lines.begin(), lines.end(), "[0/0] DUMP nsfDumpCDBuffer(): uchSignature 133 0x85, uchLength 255 0xff") != lines.end());
    // the record's bytes are dumped, its length and no more
    bool bDumped = false;
    for (const auto &l : lines)
        bDumped = bDumped || l.rfind("0       85 ff 07 00 61 62 63    ", 0) == 0;
    EXPECT_TRUE(bDumped);

    // an empty record moves on by 2: here into its own length word, read as a long header
    EXPECT_EQ(Dump({0x01, 0x00, 0xA9, 0xFF, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00}), NSF_OK);
    expected = {"uSignature 65449 0xffa9 (SIG_CD_HOTSPOTBEGIN)", "lcbRecord 0x0 0, pbRecord...",
                "uSignature 0 0x0 (SIG_INVALID)", "lcbRecord 0x6 6, pbRecord..."};
    EXPECT_EQ(RecordLines(TakeLines()), expected);

    // an odd last record that ends the value exactly
    EXPECT_EQ(Dump({0x01, 0x00, 0x81, 0x03, 0x41}), NSF_OK);
    expected = {"uSignature 129 0x81 (SIG_CD_PARAGRAPH)", "lcbRecord 0x3 3, pbRecord..."};
    EXPECT_EQ(RecordLines(TakeLines()), expected);
}

TEST_F(CDDumpTest, ValueOfTheTypeWordAloneOrShorterDumpsOnlyItsSize)
{
    EXPECT_EQ(Dump({0x01, 0x00}), NSF_OK);
    auto lines = TakeLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "[0/0] DUMP nsfDumpCDBuffer(): ucbBuffer 2 0x2");

    EXPECT_EQ(Dump({0x01}), NSF_OK);
    EXPECT_EQ(TakeLines().size(), 1u);
    EXPECT_EQ(Dump({}), NSF_OK);
    EXPECT_EQ(TakeLines().size(), 1u);
}

TEST_F(CDDumpTest, RecordsRunningPastTheEndStopTheWalkWithStatus6)
{
    struct Case {
        std::vector<uint8_t> value;
        const char *pszWarning;
    };
    const Case cases[] = {
        {{0x01, 0x00, 0x81, 0x20}, "Invalid lcbRecord 0x20 32"},                          // byte length past end
        {{0x01, 0x00, 0x81, 0x02, 0x85}, "Invalid lcbRecord 0x2 2"},                      // lone signature byte
        {{0x01, 0x00, 0x85, 0xFF, 0x10}, "Invalid lcbRecord 0x4 4"},                      // word header cut
        {{0x01, 0x00, 0x60, 0x00, 0x08, 0x00}, "Invalid lcbRecord 0x6 6"},                // long header cut
        {{0x01, 0x00, 0x85, 0xFF, 0xFF, 0xFF}, "Invalid lcbRecord 0xffff 65535"},         // word length past end
        {{0x01, 0x00, 0x60, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}, "Invalid lcbRecord 0xffffffff 4294967295"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pszWarning);
        EXPECT_EQ(Dump(c.value), NSF_ERR_FAILED);
        auto lines = TakeLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), std::string("[0/0] WARNING nsfDumpCDBuffer(): ") + c.pszWarning);
    }
}

TEST_F(CDDumpTest, BelowLevelDiagNothingIsWalked)
{
    m_pContext->nLogLevel = LOG_INFO;
    EXPECT_EQ(Dump({0x01, 0x00, 0x81, 0x20}), NSF_OK);
    EXPECT_TRUE(TakeLines().empty());

    // at DIAG the walk runs, but DUMP lines stay out
    m_pContext->nLogLevel = LOG_DIAG;
    EXPECT_EQ(Dump({0x01, 0x00, 0x81, 0x02}), NSF_OK);
    auto lines = TakeLines();
    for (const auto &l : lines)
        EXPECT_EQ(l.find("DUMP"), std::string::npos) << l;
    EXPECT_EQ(RecordLines(lines).size(), 2u);
}

} // namespace
