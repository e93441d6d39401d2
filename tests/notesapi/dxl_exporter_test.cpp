// The DXL exporter on notes built in memory: document frame, item values and flags, characters XML
// cannot carry and characters beyond the BMP, rich text, and damaged values.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "dxl_test_support.h"
#include "notesapi/testing.h"
#include "runtime_fixture.h"
#include "support/cd_records.h"

namespace notesapi_test {
namespace {

std::vector<std::uint8_t> base64Decode(std::string_view text) {
    std::vector<std::uint8_t> out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (const char c : text) {
        int v = -1;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        if (v < 0)
            continue;
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(acc >> bits));
        }
    }
    return out;
}

// The text between the first `open` after `from` and the next `close`.
std::string between(const std::string& s, std::string_view open, std::string_view close, std::size_t from = 0) {
    const auto a = s.find(open, from);
    if (a == std::string::npos)
        return {};
    const auto b = s.find(close, a + open.size());
    return b == std::string::npos ? std::string() : s.substr(a + open.size(), b - a - open.size());
}

using cd_records::Body;
using cd_records::CdBuilder;

// A paragraph definition with one-inch margins, so that only the fields given show in DXL.
CdBuilder& pabDefinition(CdBuilder& cd, std::uint16_t id, std::uint16_t justify, std::uint16_t flags = 0) {
    return cd.Rec(0x82, CdBuilder::Word, Body(4, 70).W(4, id).W(6, justify).W(14, 1440).W(18, 1440).W(62, flags));
}

CdBuilder& text(CdBuilder& cd, std::uint32_t font, std::string_view lmbcs) {
    std::vector<std::uint8_t> body = {static_cast<std::uint8_t>(font), static_cast<std::uint8_t>(font >> 8),
                                      static_cast<std::uint8_t>(font >> 16), static_cast<std::uint8_t>(font >> 24)};
    body.insert(body.end(), lmbcs.begin(), lmbcs.end());
    return cd.Rec(0x85, CdBuilder::Word, body);
}

class DxlExporterTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        dtd_ = loadDxlDtd();
        ASSERT_NE(dtd_, nullptr);
    }
    void TearDown() override {
        for (NOTEHANDLE n : notes_)
            NSFNoteClose(n);
        if (db_ != NULLHANDLE)
            NSFDbClose(db_);
        RuntimeTest::TearDown();
    }
    NOTEHANDLE open(const nsf::MemoryDatabaseBuilder& b, nsf::NoteId id) {
        if (db_ == NULLHANDLE)
            db_ = openBuilt(b);
        NOTEHANDLE n = NULLHANDLE;
        EXPECT_EQ(NSFNoteOpenExt(db_, id, 0, &n), NOERROR);
        notes_.push_back(n);
        return n;
    }
    // Exports and checks the result is valid DXL.
    DxlResult valid(NOTEHANDLE n, bool itemData = false) {
        DxlResult r = exportDxl(n, itemData);
        EXPECT_EQ(r.status, NOERROR);
        EXPECT_EQ(dxlProblem(r.text, dtd_.get()), "") << r.text;
        return r;
    }

    XmlDtd dtd_;
    DBHANDLE db_ = NULLHANDLE;
    std::vector<NOTEHANDLE> notes_;
};

TEST_F(DxlExporterTest, DocumentFrameNoteInfoAndSimpleValues) {
    nsf::MemoryDatabaseBuilder b;
    b.replicaId({0x4A, 0x66, 0x6C, 0x00, 0x18, 0x5E, 0x25, 0x85});
    const nsf::TimeDate eastern{0x006CDCC0, 0x852563FC};  // 1996-12-10 19:49:04 GMT, US Eastern
    auto& doc = b.document()
                    .unid({0x11111111, 0x22222222}, eastern)
                    .sequence(7, eastern)
                    .modified(eastern)
                    .text("Form", "Memo")
                    .text("Subject", "a<b & 'c'\nsecond line")
                    .textList("Tags", {"one", "two"})
                    .textList("Readers", {"CN=Ann"}, nsf::kItemSummary | nsf::kItemReaders | nsf::kItemNames)
                    .number("Count", 2.5)
                    .time("When", eastern)
                    .time("Day", nsf::TimeDate{0xFFFFFFFF, 0x652563FC});
    const std::vector<double> numbers{1, 2, 3};
    doc.numberRange("Numbers", numbers);
    const std::vector<nsf::TimeDate> times{eastern, nsf::TimeDate{0x0032B864, 0x652563FC}};
    const std::vector<std::pair<nsf::TimeDate, nsf::TimeDate>> pairs{{eastern, eastern}};
    doc.timeRange("Times", times, pairs);
    doc.item("Secret", nsf::kTypeText, nsf::encode::text("x"),
             nsf::kItemSign | nsf::kItemProtected | nsf::kItemPlaceholder | nsf::kItemReadWriters);

    const DxlResult r = valid(open(b, doc.id()));
    const std::string& t = r.text;
    EXPECT_EQ(t.rfind("<?xml version='1.0' encoding='utf-8'?>\n<!DOCTYPE document SYSTEM '", 0), 0u);
    EXPECT_NE(t.find("<document xmlns='http://www.lotus.com/dxl' version='9.0' maintenanceversion='1.0' "
                     "replicaid='85255E18006C664A' form='Memo'>"),
              std::string::npos);
    EXPECT_NE(t.find("unid='2222222211111111852563FC006CDCC0' sequence='7'"), std::string::npos) << t;
    // Local time of the writer's zone with its standard offset; the zone observes daylight saving.
    EXPECT_NE(t.find("<created><datetime dst='true'>19961210T144904,00-05</datetime></created>"), std::string::npos);
    EXPECT_NE(t.find("<item name='When' summary='true'><datetime dst='true'>19961210T144904,00-05</datetime>"),
              std::string::npos);
    EXPECT_NE(t.find("<item name='Day' summary='true'><datetime>19961210</datetime>"), std::string::npos);
    EXPECT_NE(t.find("<datetime>19961210T144400,04+0530</datetime>"), std::string::npos) << t;
    EXPECT_NE(t.find("<datetimepair>"), std::string::npos);
    EXPECT_NE(t.find("<text>a&lt;b &amp; &apos;c&apos;<break/>second line</text>"), std::string::npos) << t;
    EXPECT_NE(t.find("<textlist><text>one</text><text>two</text></textlist>"), std::string::npos);
    EXPECT_NE(t.find("<item name='Readers' summary='true' names='true' readers='true'><text>CN=Ann</text>"),
              std::string::npos);
    EXPECT_NE(t.find("<number>2.5</number>"), std::string::npos);
    EXPECT_NE(t.find("<numberlist><number>1</number><number>2</number><number>3</number></numberlist>"),
              std::string::npos);
    EXPECT_NE(t.find("<item name='Secret' sign='true' authors='true' placeholder='true' protected='true'>"),
              std::string::npos);
    EXPECT_TRUE(r.log.empty()) << r.log;
}

TEST_F(DxlExporterTest, CharactersXmlCannotCarryAndNonDocumentNotes) {
    nsf::MemoryDatabaseBuilder b;
    auto& doc = b.document().text("Odd", std::string("a\x01z\x1f", 4)).text("Wide", "\xF0\x9F\x98\x80 \xE2\x82\xAC");
    auto& form = b.note(0x0004).text("$TITLE", "My Form");
    const DxlResult d = valid(open(b, doc.id()));
    EXPECT_NE(d.text.find("<text>a<nonxmlchar value='1'/>z<nonxmlchar value='1f'/></text>"), std::string::npos)
        << d.text;
    EXPECT_NE(d.text.find("<text>\xF0\x9F\x98\x80 \xE2\x82\xAC</text>"), std::string::npos)
        << "characters beyond the BMP pass whole";
    const DxlResult f = valid(open(b, form.id()));
    EXPECT_NE(f.text.find("<!DOCTYPE note SYSTEM"), std::string::npos);
    EXPECT_NE(f.text.find("class='form'"), std::string::npos);
    EXPECT_NE(f.text.find("<item name='$TITLE' summary='true'><text>My Form</text>"), std::string::npos);
}

TEST_F(DxlExporterTest, RichTextAsMarkupOrItemData) {
    CdBuilder body;
    pabDefinition(body, 1, 3);
    pabDefinition(body, 2, 0, 0x0040 | 0x0010);
    PabRef(Paragraph(body), 1);
    text(body, 0x0A000001, "plain ");
    text(body, 0x18020101, "big red bold");
    text(Paragraph(body), 0x0A000004, std::string("x\0y<", 4));
    CdBuilder second;  // rich text continued in a second item of the same name
    text(PabRef(Paragraph(second), 9), 0x0A000001, "more");
    CdBuilder unknown;  // a field record: not covered by the markup
    text(Paragraph(unknown).Rec(0x8A, CdBuilder::Word, {}), 0x0A000001, "z");
    nsf::MemoryDatabaseBuilder b;
    auto& doc = b.document().composite("Body", body.rgb).composite("Body", second.rgb).composite("Other", unknown.rgb);

    const NOTEHANDLE n = open(b, doc.id());
    const DxlResult m = valid(n);
    const std::string& t = m.text;
    EXPECT_NE(t.find("<item name='Body'><richtext>\n<pardef id='1' align='center'/>\n"), std::string::npos) << t;
    EXPECT_NE(t.find("<pardef id='9'/>"), std::string::npos) << "a referenced definition is always present";
    EXPECT_NE(t.find("<pardef id='2' hide='read print'/>"), std::string::npos) << t;
    EXPECT_NE(t.find("<par def='1'><run>plain </run><run><font size='24pt' name='Default Sans Serif' "
                     "color='#ff0000' style='bold'/>big red bold</run></par>"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find("<font size='10pt' name='Default Monospace'/>x<break/>y&lt;</run>"), std::string::npos) << t;
    EXPECT_NE(t.find("<par def='9'><run>more</run></par>"), std::string::npos);
    EXPECT_EQ(t.find("<item name='Body'>", t.find("<item name='Body'>") + 1), std::string::npos)
        << "both Body items form one rich text item";
    // A record the markup does not cover leaves that item to raw item data, bytes unchanged.
    const std::size_t other = t.find("<item name='Other'><rawitemdata type='1'>");
    ASSERT_NE(other, std::string::npos) << t;
    EXPECT_EQ(base64Decode(between(t, "<rawitemdata type='1'>", "</rawitemdata>", other)), unknown.rgb);

    const DxlResult raw = valid(n, true);
    EXPECT_EQ(raw.text.find("<richtext"), std::string::npos);
    const std::size_t first = raw.text.find("<item name='Body'><rawitemdata type='1'>");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(base64Decode(between(raw.text, "<rawitemdata type='1'>", "</rawitemdata>", first)), body.rgb);
    EXPECT_NE(raw.text.find("<item name='Body'>", first + 1), std::string::npos) << "one item each";
}

TEST_F(DxlExporterTest, DamagedValuesBecomeRawItemDataWithAMessageInTheLog) {
    nsf::MemoryDatabaseBuilder b;
    auto& doc = b.document()
                    .item("Short", nsf::kTypeNumber, {1, 2, 3})
                    .item("BadTime", nsf::kTypeTime, nsf::encode::timeDate(nsf::TimeDate{9'000'000, 2'450'000}))
                    .item("List", nsf::kTypeTextList, {5, 0, 1, 0})
                    .item("Emptied", nsf::kTypeNumber, {})
                    .item("Sealed", nsf::kTypeText, {0xde, 0xad}, nsf::kItemSeal)
                    .item("$Seal", 0x0009, {1, 2});
    const NOTEHANDLE n = open(b, doc.id());
    const DxlResult r = valid(n);
    EXPECT_NE(r.text.find("<item name='Short' summary='true'><rawitemdata type='300'>\nAQID\n</rawitemdata>"),
              std::string::npos)
        << r.text;
    EXPECT_NE(r.text.find("<item name='BadTime' summary='true'><rawitemdata type='400'>"), std::string::npos);
    EXPECT_NE(r.text.find("<item name='List' summary='true'><rawitemdata type='501'>"), std::string::npos);
    EXPECT_NE(r.text.find("<item name='Emptied' summary='true'><number/></item>"), std::string::npos);
    EXPECT_NE(r.text.find("<item name='Sealed' seal='true' sealed='true'><rawitemdata type='500'>"),
              std::string::npos)
        << r.text;
    EXPECT_NE(r.log.find("Item 'Short'"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("Item 'BadTime'"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("Item 'List'"), std::string::npos) << r.log;
    EXPECT_EQ(r.log.find("Emptied"), std::string::npos) << r.log;

    // The log belongs to the last export: a clean note leaves none.
    DXLEXPORTHANDLE x = NULLMEMHANDLE;
    ASSERT_EQ(DXLCreateExporter(&x), NOERROR);
    DxlResult sink;
    ASSERT_EQ(DXLExportNote(x, collectDxl, n, &sink), NOERROR);
    EXPECT_TRUE(DXLExportWasErrorLogged(x));
    MEMHANDLE log = NULLMEMHANDLE;
    ASSERT_EQ(DXLGetExporterProperty(x, eDxlExportResultLog, &log), NOERROR);
    EXPECT_NE(log, NULLMEMHANDLE);
    DXLDeleteExporter(x);
}

}  // namespace
}  // namespace notesapi_test
