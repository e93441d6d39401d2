// Item text: every value type of an in-memory note read through the runtime, line-end normalisation,
// several items of one name, rich text record by record (paragraphs, text, section titles, hidden text,
// image data), MIME items converted first, and the failure paths of the buffers and the runtime.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "module/support/nsf_fixture.h"
#include "text/itemtext.h"

using namespace nsfrex_test;

namespace {

class ItemTextTest : public NsfFixture {
protected:
    /* Opens a database with the one document and reads pszItem of it. */
    std::string Read(nsf::MemoryDatabaseBuilder &builder, NOTEID noteId, const char *pszItem, NSFSTATUS nExpected = 0)
    {
        if (pContext == nullptr)
            Open(builder);
        NOTEHANDLE hNote = OpenNote(noteId);
        EXPECT_EQ(nsfGetItemText(pContext, hNote, pszItem), nExpected);
        std::string text = BufferText();
        NSFNoteClose(hNote);
        return text;
    }
};

std::vector<uint8_t> Raw(const std::string &s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

} // namespace

TEST_F(ItemTextTest, MissingItemGivesEmptyTextAndSuccess)
{
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().text("Subject", "Hello");
    EXPECT_EQ(Read(b, doc.id(), "NoSuchItem"), "");
    EXPECT_EQ(pContext->ucbBuffer, 0u);
}

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

TEST_F(ItemTextTest, LineEndsAreNormalisedToCrLf)
{
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().item("T", nsf::item_type::kText, Raw("a\r\nb\nc\rd")).text("Z", "one\ntwo");
    EXPECT_EQ(Read(b, doc.id(), "T"), "a\r\nb\r\ncd");
    EXPECT_EQ(Read(b, doc.id(), "Z"), "one\r\ntwo");
}

TEST_F(ItemTextTest, NonAsciiTextComesOutAsUtf8)
{
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().text("Subject", "Grüße, café");
    EXPECT_EQ(Read(b, doc.id(), "Subject"), "Grüße, café");
}

TEST_F(ItemTextTest, ItemsOfOneNameAreConcatenated)
{
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().text("Part", "first").text("Other", "x").text("Part", "second");
    EXPECT_EQ(Read(b, doc.id(), "Part"), "firstsecond");
}

TEST_F(ItemTextTest, StagedTextBeyond65535BytesFails)
{
    nsf::MemoryDatabaseBuilder b;
    // 40,000 line breaks become 80,000 bytes of CR LF
    auto &doc = b.document().text("Big", std::string(40000, '\n'));
    auto &ok = b.document().text("Fits", std::string(32000, 'x'));
    EXPECT_EQ(Read(b, doc.id(), "Big", 6), "");
    EXPECT_EQ(Read(b, ok.id(), "Fits"), std::string(32000, 'x'));
}

TEST_F(ItemTextTest, CompositeTextAndParagraphs)
{
    CdWriter cd;
    cd.Text("Hello ").Text("rich").Paragraph().Text("second line").Paragraph();
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().composite("Body", cd.bytes());
    EXPECT_EQ(Read(b, doc.id(), "Body"), "Hello rich\r\nsecond line\r\n");
}

TEST_F(ItemTextTest, HundredsOfEmptyParagraphsGiveOneLineEndEach)
{
    CdWriter cd;
    for (int i = 0; i < 700; i++)
        cd.Paragraph();
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().composite("Body", cd.bytes());
    std::string text = Read(b, doc.id(), "Body");
    EXPECT_EQ(text.size(), 1400u);
    std::string expected;
    for (int i = 0; i < 700; i++)
        expected += "\r\n";
    EXPECT_EQ(text, expected);
}

TEST_F(ItemTextTest, CompositeValuesOfSeveralItemsAndATextEffectAndSectionTitle)
{
    CdWriter one, two;
    one.Text("A");
    std::vector<uint8_t> effect(4, 0);
    for (char c : std::string("fx"))
        effect.push_back(static_cast<uint8_t>(c));
    one.WordRecord(0xC3, effect);
    std::vector<uint8_t> bar(8, 0);  // flags and font before the title
    for (char c : std::string("Section"))
        bar.push_back(static_cast<uint8_t>(c));
    two.WordRecord(0xAC, bar);
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().composite("Body", one.bytes()).composite("Body", two.bytes());
    EXPECT_EQ(Read(b, doc.id(), "Body"), "AfxSection");
}

TEST_F(ItemTextTest, HiddenTextHotspotOnlyWithShowHiddenText)
{
    auto hotspot = [](uint16_t wType, const std::string &data) {
        std::vector<uint8_t> body = Le16(wType);
        body.insert(body.end(), {0, 0, 0, 0});  // flags
        auto len = Le16(static_cast<uint16_t>(data.size()));
        body.insert(body.end(), len.begin(), len.end());
        body.insert(body.end(), data.begin(), data.end());
        return body;
    };
    CdWriter cd;
    cd.Text("v").WordRecord(0xA9, hotspot(22, "hidden")).WordRecord(0xA9, hotspot(4, "link"));
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().composite("Body", cd.bytes());
    EXPECT_EQ(Read(b, doc.id(), "Body"), "v");
    pContext->dwFlags |= CNVO_SHOWHIDDENTEXT;
    EXPECT_EQ(Read(b, doc.id(), "Body"), "vhidden");
}

TEST_F(ItemTextTest, HiddenTextLongerThanItsRecordIsCut)
{
    std::vector<uint8_t> body = Le16(22);
    body.insert(body.end(), {0, 0, 0, 0});
    auto len = Le16(200);
    body.insert(body.end(), len.begin(), len.end());
    for (char c : std::string("abcd"))
        body.push_back(static_cast<uint8_t>(c));
    CdWriter cd;
    cd.WordRecord(0xA9, body);
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().composite("Body", cd.bytes());
    Open(b, CNVO_SHOWHIDDENTEXT);
    EXPECT_EQ(Read(b, doc.id(), "Body"), "abcd");
}

TEST_F(ItemTextTest, ImageRecordsAreCollectedIntoTheImageBeingRead)
{
    auto segment = [](uint16_t wDeclared, const std::string &data) {
        std::vector<uint8_t> body = Le16(wDeclared);
        auto seg = Le16(static_cast<uint16_t>(data.size()));
        body.insert(body.end(), seg.begin(), seg.end());
        body.insert(body.end(), data.begin(), data.end());
        return body;
    };
    CdWriter cd;
    std::vector<uint8_t> header = Le16(2);  // JPEG
    header.resize(20, 0);
    cd.LongRecord(125, header).LongRecord(124, segment(4, "ABCD")).LongRecord(124, segment(100, "EFG"));
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().composite("$ImageData", cd.bytes());
    Open(b);

    // without an image being read, nothing is collected
    EXPECT_EQ(Read(b, doc.id(), "$ImageData"), "");

    Image image{};
    pContext->pImageWork = &image;
    Read(b, doc.id(), "$ImageData");
    pContext->pImageWork = nullptr;
    EXPECT_EQ(image.wImageType, 2);
    ASSERT_NE(image.rgbData, nullptr);
    // the second segment declares 100 bytes but its record holds 3
    EXPECT_EQ(image.ucbData, 7u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(image.rgbData), 7), "ABCDEFG");
    EXPECT_GE(image.ucbDataSize, image.ucbData);
    host.zapi()->memoryService.fpFree(&host.zapi()->memoryService, image.rgbData);
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

// The sample's MIME mails: the Body reads as the decoded text of the chosen part (checked against
// Python's email package), one CR LF per paragraph in front of it.
TEST_F(ItemTextTest, RealMimeMailBodiesReadAsTheirDecodedText)
{
    std::string sample = std::string(NSFREX_SHARED_DIR) + "/samples/nsf/notedata_MIMEMsg.nsf";
    ASSERT_TRUE(std::filesystem::exists(sample)) << sample << " is missing";
    stream = std::make_unique<TestStream>(sample);
    int32_t nStatus = -1;
    EnvVar noLog("TAMSEL_NSFREX_LOG_LEVEL", nullptr);
    pContext = static_cast<NsfContext *>(nsfInit(&stream->io, host.zapi(), 0, 0, nullptr, &nStatus));
    ASSERT_NE(pContext, nullptr);
    auto body = [&](NOTEID noteId) {
        NOTEHANDLE hNote = OpenNote(noteId);
        EXPECT_EQ(nsfGetItemText(pContext, hNote, "Body"), 0);
        std::string text = BufferText();
        NSFNoteClose(hNote);
        return text;
    };
    // each HTML choice starts with <br>: an empty paragraph
    EXPECT_EQ(body(0x8F6), "\r\n\r\nThis is a test message.");
    // multipart/mixed around the alternative; the attached text file is no body text
    EXPECT_EQ(body(0x8FA), "\r\n\r\nThis is a text message, with a txt file attached.\r\n");
    // quoted-printable ISO-8859-1 inside mixed, related and alternative
    std::string help = body(0x8FE);
    EXPECT_TRUE(help.starts_with("\r\n\r\nYou can get two types of Help in Notes:\r\nContext-sensitive Help, specific"))
        << help;
    EXPECT_NE(help.find("In this release of Notes, many parts of your mail,"), std::string::npos) << help;
    EXPECT_NE(help.find("Help for IBM Lotus Domino Designer\xC2\xAE 6 while in Notes)"), std::string::npos) << help;
    EXPECT_TRUE(help.ends_with("in the Help window.\r\n")) << help;
    EXPECT_EQ(help.find('='), std::string::npos) << help;
}

TEST_F(ItemTextTest, GetTextUTF8TranslatesInPlaceBehindTheTextSoFar)
{
    nsf::MemoryDatabaseBuilder b;
    b.document().text("Subject", "x");
    Open(b);
    memcpy(pContext->rgbBuffer, "ab", 2);
    pContext->ucbBuffer = 2;
    memcpy(pContext->rgbBuffer + 2, "c\nd\r\0e", 6);
    EXPECT_EQ(nsfGetTextUTF8(pContext, 6), 0);
    EXPECT_EQ(BufferText(), "abc\r\nd\r\ne");

    // nothing to translate leaves the text and terminates it
    EXPECT_EQ(nsfGetTextUTF8(pContext, 0), 0);
    EXPECT_EQ(BufferText(), "abc\r\nd\r\ne");
    // a lone CR stages nothing
    pContext->rgbBuffer[pContext->ucbBuffer] = '\r';
    EXPECT_EQ(nsfGetTextUTF8(pContext, 1), 0);
    EXPECT_EQ(BufferText(), "abc\r\nd\r\ne");
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

TEST_F(ItemTextTest, FailedBufferGrowthGivesStatus2)
{
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().text("Big", std::string(20000, 'x'));
    Open(b);
    host.FailAllocation(1, true);
    NOTEHANDLE hNote = OpenNote(doc.id());
    EXPECT_EQ(nsfGetItemText(pContext, hNote, "Big"), 2);
    NSFNoteClose(hNote);
    host.FailAllocation(0);
}
