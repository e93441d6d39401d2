// Item text: value types of an in-memory note read through the runtime, rich text record by record
// (paragraphs, text, hidden text), MIME items converted first, and the runtime's failures.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "module/rt_test_host.h"
#include "module/support/nsf_fixture.h"
#include "text/itemtext.h"

using namespace nsfrex_test;

namespace {

class ItemTextTest : public NsfFixture {
protected:
    /* Opens a database with the one document and reads pszItem of it. */
    std::string Read(nsf::MemoryDatabaseBuilder &b, NOTEID noteId, const char *pszItem, NSFSTATUS nExpected = 0)
    {
        if (pContext == nullptr)
            Open(b);
        NOTEHANDLE hNote = OpenNote(noteId);
        EXPECT_EQ(nsfGetItemText(pContext, hNote, pszItem), nExpected);
        std::string text = BufferText();
        NSFNoteClose(hNote);
        return text;
    }
};

} // namespace

TEST_F(ItemTextTest, PlainValues)
{
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document()
                    .text("Subject", "Hello world")
                    .textList("SendTo", {"a@x", "b@x", "c@x"})
                    .number("Size", 42)
                    .userId("Author", "CN=Ann/O=Org");
    EXPECT_EQ(Read(b, doc.id(), "Subject"), "Hello world");
    // one entry per line: the runtime separates them with zero bytes, which become CR LF
    EXPECT_EQ(Read(b, doc.id(), "SendTo"), "a@x\r\nb@x\r\nc@x");
    EXPECT_EQ(Read(b, doc.id(), "Size"), "42");
    EXPECT_EQ(Read(b, doc.id(), "Author"), "CN=Ann/O=Org");
}

TEST_F(ItemTextTest, CompositeTextAndParagraphs)
{
    rt_test::CdBuilder cd;
    Text(cd, "Hello ");
    Text(cd, "rich");
    Paragraph(cd);
    Text(cd, "second line");
    Paragraph(cd);
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().composite("Body", cd.rgb);
    EXPECT_EQ(Read(b, doc.id(), "Body"), "Hello rich\r\nsecond line\r\n");
}

TEST_F(ItemTextTest, HiddenTextHotspotOnlyWithShowHiddenText)
{
    auto hotspot = [](uint16_t wType, const std::string &data) {
        // type, flags, data length, data
        std::vector<uint8_t> body = {static_cast<uint8_t>(wType), static_cast<uint8_t>(wType >> 8), 0, 0, 0, 0,
                                     static_cast<uint8_t>(data.size()), static_cast<uint8_t>(data.size() >> 8)};
        body.insert(body.end(), data.begin(), data.end());
        return body;
    };
    rt_test::CdBuilder cd;
    Text(cd, "v").Rec(0xA9, cd.Word, hotspot(22, "hidden")).Rec(0xA9, cd.Word, hotspot(4, "link"));
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().composite("Body", cd.rgb);
    EXPECT_EQ(Read(b, doc.id(), "Body"), "v");
    pContext->dwFlags |= CNVO_SHOWHIDDENTEXT;
    EXPECT_EQ(Read(b, doc.id(), "Body"), "vhidden");
}

TEST_F(ItemTextTest, MimeItemIsConvertedAndReadAsComposite)
{
    nsf::MimePartSpec part;
    part.flags = 0x2;
    part.headers = "Content-Type: text/plain; charset=US-ASCII\r\n\r\n";
    part.body = "Hello from MIME";
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().text("Subject", "m").mimePart("Body", part);
    std::string text = Read(b, doc.id(), "Body");
    EXPECT_NE(text.find("Hello from MIME"), std::string::npos) << text;
}

TEST_F(ItemTextTest, RuntimeFailuresAreMapped)
{
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().text("Subject", "Hello").text("Subject", "Again");
    Open(b);
    NotesTestInjectFault("NSFItemInfo", 1, ERR_RUNTIME_INTERNAL, 0);
    Read(b, doc.id(), "Subject", 6);
    NotesTestInjectFault("NSFItemInfoNext", 1, 0, 1);
    EXPECT_EQ(Read(b, doc.id(), "Subject", 28), "Hello");  // the text gathered so far stays
    NotesTestInjectFault("OSTranslate", 1, 0, 1);
    Read(b, doc.id(), "Subject", 28);
    NotesTestInjectFault("MIMEConvertMIMEPartCC", 1, ERR_RUNTIME_INTERNAL, 0);
    EXPECT_EQ(Read(b, doc.id(), "Subject"), "HelloAgain");  // not called for plain text
    EXPECT_EQ(pContext->pszFuncAPI, nullptr);
}
