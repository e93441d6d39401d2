// Plain-text mail: the header rows with their special handling (Sent fallbacks, the AltSentField option,
// RepeatForUnit words, values cut at ";", the attachment list), the excluded header and the body.
#include <gtest/gtest.h>

#include "extract/extract.h"
#include "module/catalogue_db.h"
#include "module/support/capture_stream.h"
#include "nsfrex/host.h"

using namespace nsfrex_test;

namespace {

struct ExtractMailTest : ModuleDbTest {
    CaptureStream out;
    SubFileExtractInfo info{};
    int host = 1;

    std::string Mail(uint32_t nFlag = 0)
    {
        out.data.clear();
        EXPECT_EQ(nsfExtractSubFileToIOobj(pContext, 0, &out.io, &info, &host, nFlag), NSF_OK);
        return out.data;
    }
};

} // namespace

TEST_F(ExtractMailTest, HeaderRowsInTableOrderThenBlankLineAndBody)
{
    builder.document()
        .text("Subject", "Lunch")
        .text("From", "Ann")
        .text("PostedDate", "Monday")
        .text("ComposedDate", "Sunday")
        .text("SendTo", "Bob")
        .text("Body", "See you.");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(Sub(0)->bNoteIsMail, 1);
    EXPECT_EQ(Mail(), "From: Ann\r\nSent: Monday\r\nTo: Bob\r\nSubject: Lunch\r\n\r\nSee you.");
}

TEST_F(ExtractMailTest, SentFallsBackToComposedDateThenTheAlternativeThenASpace)
{
    builder.document().text("From", "Ann").text("ComposedDate", "Sunday").text("Delivered", "Tuesday");
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(Mail(), "From: Ann\r\nSent: Sunday\r\n");
}

TEST_F(ExtractMailTest, AltSentFieldIsUsedWhenTheDatesAreMissing)
{
    builder.document().text("From", "Ann").text("Delivered", "Tuesday");
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(Mail(), "From: Ann\r\nSent:  \r\n");
    strcpy(pContext->szAltSentField, "Delivered");
    EXPECT_EQ(Mail(), "From: Ann\r\nSent: Tuesday\r\n");
    Close();
    EXPECT_TRUE(Logged("WARNING nsfExtractMailBody(): No mail body item"));
}

TEST_F(ExtractMailTest, RepeatWordsAndDatesCutAtTheirFirstSemicolon)
{
    builder.document()
        .text("From", "Ann")
        .text("PostedDate", "d")
        .text("StartDateTime", "9:00;10:00")
        .text("EndDateTime", "11:00")
        .text("RepeatForUnit", "W");
    builder.document().text("From", "Ann").text("PostedDate", "d").text("RepeatForUnit", "Hourly");
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(Mail(), "From: Ann\r\nSent: d\r\nStarts: 9:00\r\nEnds: 11:00\r\nRepeats: Weekly\r\n");
    out.data.clear();
    ASSERT_EQ(nsfExtractSubFileToIOobj(pContext, 1, &out.io, &info, &host, 0), NSF_OK);
    EXPECT_EQ(out.data, "From: Ann\r\nSent: d\r\nRepeats: Hourly\r\n");
    Close();
    EXPECT_TRUE(Logged("WARNING nsfExtractMailHeader(): Field Repeats has unhandled value: Hourly"));
}

TEST_F(ExtractMailTest, AttachmentsAreListedInTableOrder)
{
    std::vector<uint8_t> bytes{'z'};
    builder.document().text("From", "Ann").text("PostedDate", "d").text("Body", "b").attachFile("one.pdf", bytes).attachFile(
        "two.doc", bytes);
    builder.document().text("From", "Cy").text("PostedDate", "e").attachFile("other.txt", bytes);
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 5);
    EXPECT_EQ(Mail(), "From: Ann\r\nSent: d\r\nAttachments: one.pdf, two.doc\r\n\r\nb");
}

TEST_F(ExtractMailTest, ExcludedHeaderLeavesOnlyTheBody)
{
    builder.document().text("From", "Ann").text("Subject", "s").text("Body", "text");
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(Mail(0x02), "\r\ntext");
}

TEST_F(ExtractMailTest, FieldDumpIsNotUsedForAFormattedMail)
{
    builder.document().text("From", "Ann").text("Subject", "s").text("Body", "text");
    ASSERT_NE(Open(), nullptr);
    pContext->bExtractAllFields = 1;
    // the field dump of a mail note without the formatted body
    std::string dump = Mail(0);
    EXPECT_NE(dump.find("From: Ann\r\nSubject: s\r\nBody: text\r\n"), std::string::npos) << dump;
    std::string formatted = Mail(0x04);
    EXPECT_EQ(formatted.find("Body: "), std::string::npos) << formatted;
}

TEST_F(ExtractMailTest, FailedWritesAreReportedByStep)
{
    builder.document().text("From", "Ann").text("Body", "text");
    ASSERT_NE(Open(), nullptr);
    out.nFailWrite = 5;  // the blank line before the body (after From and the empty Sent row)
    EXPECT_EQ(nsfExtractSubFileToIOobj(pContext, 0, &out.io, &info, &host, 0), NSF_ERR_IO);
    out.writes.clear();
    out.nFailWrite = 6;  // the body
    EXPECT_EQ(nsfExtractSubFileToIOobj(pContext, 0, &out.io, &info, &host, 0), NSF_ERR_IO);
    EXPECT_EQ(out.cClose, 2);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfExtractMailBody(): IOobj64.twWriteFunc() failed (blank line)"));
    EXPECT_TRUE(Logged("ERROR nsfExtractMailBody(): IOobj64.twWriteFunc() failed (item value), ucbBuffer "));
    EXPECT_TRUE(Logged("WARNING nsfExtractMailFields(): nsfExtractMailBody() failed"));
}
