// Mail as MHT: the document frame around the converted body (prologue, header table with and without
// logo, the Sent row, an empty page for a mail without body, the logo part and the closing delimiter), and
// the temporary composite file that must not outlive a failure.
#include <gtest/gtest.h>

#include <functional>

#include "module/catalogue_db.h"

using namespace nsfrex_test;

namespace {

const std::string kDelimiter = "------=_NextPart_000_0004_01CB58DD.164505B0";

const std::string kPrologue =
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/related;\r\n"
    "\ttype=\"text/html\";\r\n"
    "\tboundary=\"----=_NextPart_000_0004_01CB58DD.164505B0\"\r\n"
    "\r\n"
    "This is a multi-part message in MIME format.\r\n"
    "\r\n" +
    kDelimiter +
    "\r\n"
    "Content-Type: text/html;\r\n"
    "\tcharset=\"utf-8\"\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "Content-Location: file://C:\\1.htm\r\n"
    "\r\n"
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
    "<HTML><HEAD>\r\n"
    "<META http-equiv=3DContent-Type content=3D\"text/html; charset=3Dutf-8\">\r\n"
    "<META content=3D\"MSHTML 6.00.6000.17080\" name=3DGENERATOR></HEAD>\r\n"
    "<BODY>\r\n";
const std::string kHeaderStart = "<P>\r\n<FONT face=3D\"Arial Unicode MS\" size=3D2>\r\n";
const std::string kHeaderEnd = "<BR>\r\n</FONT>\r\n</P>\r\n";
const std::string kEmptyPage = "</BODY></HTML>\r\n" + kDelimiter + "--";

struct ExtractMhtTest : ExtractTest {
    NSFSTATUS Extract(uint32_t nFlag, int32_t nIndex = 0)
    {
        out.data.clear();
        out.writes.clear();
        return ExtractTest::Extract(nIndex, nFlag);
    }
    /* An image resource note holding the four bytes "GIF8" as a GIF. */
    void AddLogo(const std::string &linkName, uint8_t bImageType = 1)
    {
        std::vector<std::uint8_t> cd = {
            0x7D, 0x00, 0x1C, 0x00, 0x00, 0x00, bImageType, 0x00, 0x02, 0x00, 0x02, 0x00,
            0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x7C, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x04, 0x00, 0x04, 0x00, 'G',  'I',  'F',  '8'};
        builder.note(0x0004).text("$TITLE", "logo;" + linkName).composite("$ImageData", cd);
    }
};

} // namespace

TEST_F(ExtractMhtTest, FrameIsExactForEachHeaderChoice)
{
    struct Row {
        const char *name;
        std::function<void(nsf::MemoryDatabaseBuilder &)> build;
        uint32_t nFlag;
        std::string expected;
    };
    const Row rows[] = {
        {"posted date wins over composed date",
         [](auto &b) { b.document().text("From", "Ann").text("PostedDate", "Mon").text("ComposedDate", "Sun"); },
         0x04,
         kPrologue + kHeaderStart + "<B>From: </B>Ann<BR>\r\n<B>Sent: </B>Mon<BR>\r\n" + kHeaderEnd + kEmptyPage},
        {"no date gives no Sent row",
         [](auto &b) { b.document().text("From", "A=B").text("Subject", "<x>"); }, 0x04,
         kPrologue + kHeaderStart + "<B>From: </B>A=3DB<BR>\r\n<B>Subject: </B>&lt;x&gt;<BR>\r\n" + kHeaderEnd +
             kEmptyPage},
        {"excluded header: prologue then body",
         [](auto &b) { b.document().text("From", "Ann").text("PostedDate", "Mon"); }, 0x06, kPrologue + kEmptyPage},
        {"a note that is not mail stays plain text",
         [](auto &b) { b.document().text("Body", "just text"); }, 0x04, "\r\njust text"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        builder = nsf::MemoryDatabaseBuilder();
        row.build(builder);
        ASSERT_NE(Open(), nullptr);
        ASSERT_EQ(Extract(row.nFlag), NSF_OK);
        EXPECT_EQ(out.data, row.expected);
        Close();
    }
}

TEST_F(ExtractMhtTest, PrologueLinesAreSeparateWrites)
{
    builder.document().text("From", "Ann").text("PostedDate", "Mon");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(Extract(0x06), NSF_OK);
    ASSERT_GE(out.writes.size(), 19u);
    EXPECT_EQ(out.writes[0], strlen("MIME-Version: 1.0\r\n"));
    EXPECT_EQ(out.writes[4], 2u);
    EXPECT_EQ(out.writes[17], strlen("<BODY>\r\n"));
    out.nFailWrite = 3;
    EXPECT_EQ(Extract(0x04), NSF_ERR_IO);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfExtractMailFields(): IOobj64.twWriteFunc() failed (MHT header)"));
}

TEST_F(ExtractMhtTest, LogoStandsBesideTheHeaderAndClosesTheDocument)
{
    struct Row {
        const char *rule;
        uint8_t bImageType;
        const char *pszExtension;
        const char *pszSubtype;
    } rows[] = {
        {"a GIF logo (the default link name) with a body", 1, ".gif", "gif"},
        {"a JPEG logo named by the mail", 2, ".jpeg", "jpeg"},
        {"a logo of another type has neither extension nor subtype", 5, "", ""},
    };
    AddLogo("StdNotesLtr0");
    builder.document().text("From", "Ann").text("PostedDate", "Mon").text("Logo", "").text("Body", "Hello");
    AddLogo("Jay", 2);
    builder.document().text("From", "Bo").text("Logo", "Jay");
    AddLogo("Five", 5);
    builder.document().text("From", "Cy").text("Logo", "Five");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 3);
    for (int32_t nIndex = 0; nIndex < 3; nIndex++) {
        const Row &row = rows[nIndex];
        SCOPED_TRACE(row.rule);
        const SubFile *pSub = Sub(nIndex);
        ASSERT_GT(pSub->nMailLogoImage, 0);
        char szName[64];
        snprintf(szName, sizeof szName, "tm_%X_image999%s", pSub->dwNoteID, row.pszExtension);
        ASSERT_EQ(Extract(0x04, nIndex), NSF_OK);
        const std::string &doc = out.data;
        const std::string start = kPrologue +
                                  "<TABLE STYLE=3D\"VERTICAL-ALIGN:top;\">\r\n<TBODY>\r\n"
                                  "<TR STYLE=3D\"VERTICAL-ALIGN:top;\">\r\n<TD>\r\n<IMG src=3D\"file:///" +
                                  szName + "\">\r\n</TD>\r\n<TD>\r\n" + kHeaderStart;
        EXPECT_EQ(doc.substr(0, start.size()), start);
        EXPECT_NE(doc.find("<BR>\r\n" + kHeaderEnd + "</TD>\r\n</TBODY>\r\n</TABLE>\r\n"), std::string::npos) << doc;
        const std::string logoPart = kDelimiter + "\r\nContent-Type: image/" + row.pszSubtype +
                                     "\r\nContent-Transfer-Encoding: base64\r\nContent-Location: file:///" +
                                     szName + "\r\n\r\nR0lGOA==\r\n\r\n" + kDelimiter + "--\r\n";
        ASSERT_GE(doc.size(), logoPart.size());
        EXPECT_EQ(doc.substr(doc.size() - logoPart.size()), logoPart);
        // the converter's own closing delimiter is gone: the logo part's is the only one
        EXPECT_EQ(doc.find(kDelimiter + "--"), doc.size() - kDelimiter.size() - 4);
        EXPECT_NE(doc.find("</BODY></HTML>\r\n" + kDelimiter + "\r\nContent-Type: image/"), std::string::npos);
    }
}

TEST_F(ExtractMhtTest, BodyCompositeFileIsRemovedOnEveryPath)
{
    builder.document().text("From", "Ann").text("Body", "Hello world");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(Extract(0x04), NSF_OK);
    EXPECT_NE(out.data.find("Hello world"), std::string::npos);
    EXPECT_TRUE(out.data.ends_with(kDelimiter + "--"));
    EXPECT_EQ(ScratchFiles("cd"), 0u);

    NotesTestInjectFault("MailGetMessageBodyComposite", 1, 0, 0);
    EXPECT_NE(Extract(0x04), NSF_OK);
    EXPECT_EQ(ScratchFiles("cd"), 0u);
    NotesTestInjectFault("MailGetMessageBodyComposite", 1, 0, 1);
    EXPECT_EQ(Extract(0x04), NSF_ERR_EXCEPTION);
    EXPECT_EQ(ScratchFiles("cd"), 0u);
    Close();
    EXPECT_TRUE(Logged("WARNING nsfExtractMailBody(): nsfGetBodyComposite() failed"));
    EXPECT_TRUE(Logged("DIAG nsfGetBodyComposite(): bNoteHasMIMEPart 0"));
    EXPECT_TRUE(Logged("DIAG nsfGetBodyComposite(): wValueDataType 0x500 (TYPE_TEXT, "));
}
