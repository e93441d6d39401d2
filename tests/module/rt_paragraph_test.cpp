#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "richtext/block.h"
#include "richtext/converter.h"
#include "richtext/paragraph.h"
#include "rt_test_host.h"

using namespace rt_test;

namespace {

std::string FontRun(const std::string &strFontAttrs, const std::string &strInner)
{
    return "<FONT FACE=3D" + strFontAttrs + ">" + strInner + "</FONT>\r\n";
}

CdBuilder &FontTable(CdBuilder &b, const std::vector<std::pair<uint8_t, std::string>> &faces, uint16_t cClaimed)
{
    Body body(4, 6);
    body.W(4, cClaimed);
    size_t off = 6;
    for (const auto &[bFace, strName] : faces) {
        body.B(off, bFace).B(off + 1, 0x22).S(off + 2, strName);
        body.At(off + 33, 1);
        off += 34;
    }
    return b.Rec(0x8B, CdBuilder::Word, body);
}

CdBuilder &Hotspot(CdBuilder &b, uint8_t bSig, uint16_t wType, const std::string &strData)
{
    Body body(4, 12);
    body.W(4, wType).W(10, static_cast<uint16_t>(strData.size())).S(12, strData);
    return b.Rec(bSig, CdBuilder::Word, body);
}

} // namespace

TEST(RtBlock, TransitionsCloseAndOpen)
{
    CLotusRTBlock block(1);
    std::string s;
    block.Transition(LOTUS_BLOCK_PARAGRAPH, s);
    block.Transition(LOTUS_BLOCK_PARAGRAPH, s);
    EXPECT_EQ(s, "<P</P>\r\n<P");
    s.clear();
    block.Transition(LOTUS_BLOCK_BULLET, s);
    block.Transition(LOTUS_BLOCK_BULLET, s);
    block.Transition(LOTUS_BLOCK_BULLET_CIRCLE, s);
    EXPECT_EQ(s, "</P>\r\n<UL><LI</LI><LI</LI></UL>\r\n<UL STYLE=3D\"list-style-type: circle;\"><LI");
    s.clear();
    block.Transition(LOTUS_BLOCK_NUMBER_LOWER_ALPHA, s);
    block.Transition(LOTUS_BLOCK_NONE, s);
    block.Transition(LOTUS_BLOCK_NONE, s);
    EXPECT_EQ(s, "</LI></UL>\r\n<OL STYLE=3D\"list-style-type: lower-alpha;\"><LI</LI></OL>\r\n");
    EXPECT_EQ(block.nBlockMode, LOTUS_BLOCK_NONE);

    /* Plain mode: no equals escape, LF line ends. */
    CLotusRTBlock plain(0);
    s.clear();
    plain.Transition(LOTUS_BLOCK_BULLET_SQUARE2, s);
    plain.Transition(LOTUS_BLOCK_PARAGRAPH, s);
    EXPECT_EQ(s, "<UL STYLE=\"list-style-type: square;\"><LI</LI></UL>\n<P");
}

TEST(RtParagraph, ListKindFromFlags)
{
    struct {
        uint16_t wFlags, wFlags2;
        int32_t nMode;
    } cases[] = {
        {0, 0xFFFF, LOTUS_BLOCK_PARAGRAPH},
        {0x0400, 0, LOTUS_BLOCK_BULLET},
        {0x0400, 0x0800 | 0x1000, LOTUS_BLOCK_BULLET_CIRCLE},
        {0x0400, 0x1000 | 0x2000, LOTUS_BLOCK_BULLET_SQUARE},
        {0x0400, 0x2000, LOTUS_BLOCK_BULLET_SQUARE2},
        {0x1400, 0x1802, LOTUS_BLOCK_BULLET_CIRCLE}, /* bullet wins over numbered */
        {0x1000, 0, LOTUS_BLOCK_NUMBER_DECIMAL},
        {0x1000, 0x1802, LOTUS_BLOCK_NUMBER_LOWER_ALPHA},
        {0x1000, 0x1800, LOTUS_BLOCK_NUMBER_UPPER_ALPHA},
        {0x1000, 0x0802, LOTUS_BLOCK_NUMBER_UPPER_ROMAN},
        {0x1000, 0x1002, LOTUS_BLOCK_NUMBER_LOWER_ROMAN},
        {0x1000, 0x0800, LOTUS_BLOCK_NUMBER_DECIMAL},
        {0x1000, 0x0002, LOTUS_BLOCK_NUMBER_DECIMAL},
    };
    for (const auto &c : cases) {
        CdBuilder b;
        PabDef(b, 1, 0, c.wFlags, c.wFlags2);
        CLotusRTPar par(1, b.rgb.data(), static_cast<int32_t>(b.rgb.size()));
        EXPECT_EQ(par.GetBlockMode(), c.nMode) << std::hex << c.wFlags << " " << c.wFlags2;
    }
}

TEST(RtParagraph, ListsContinueAndSwitch)
{
    TestHost host;
    CdBuilder b;
    PabDef(b, 1, 0, 0x0400);
    PabDef(b, 2, 3, 0x1000);
    PabDef(b, 1, 1); /* a later definition with the same ID is not used */
    PabRef(b, 1);
    Text(b, "a");
    PabRef(b, 1);
    Text(b, "b");
    PabRef(b, 2);
    PabRef(b, 3);
    const std::string strRun = "\"SERIF\" SIZE=3D2 COLOR=3D#000000";
    EXPECT_EQ(Convert(host, b.rgb), "<UL><LI ALIGN=3DLEFT >\r\n" + FontRun(strRun, "a") + "</LI><LI ALIGN=3DLEFT >\r\n" +
                                        FontRun(strRun, "b") + "</LI></UL>\r\n" +
                                        "<OL STYLE=3D\"list-style-type: decimal;\"><LI ALIGN=3DCENTER >\r\n" +
                                        "</LI></OL>\r\n<P></P>\r\n" + kTail);

    /* Alignment words, and a paragraph reference while a paragraph is open. */
    CdBuilder p;
    PabDef(p, 4, 1);
    PabDef(p, 5, 2);
    PabDef(p, 6, 7);
    PabRef(p, 4);
    PabRef(p, 5);
    PabRef(p, 6);
    EXPECT_EQ(BodyOf(Convert(host, p.rgb)), "<P ALIGN=3DRIGHT >\r\n</P>\r\n<P ALIGN=3DJUSTIFY >\r\n</P>\r\n"
                                            "<P ALIGN=3DLEFT >\r\n</P>\r\n");
}

TEST(RtTextRun, FacesFromTheFontTable)
{
    TestHost host;
    CdBuilder b;
    FontTable(b, {{5, "Arial"}, {2, "Courier New"}, {5, "Other"}, {7, "Lost"}}, 3); /* 4th beyond the count */
    Text(b, "x", 5);
    Text(b, "x", 2);
    Text(b, "x", 7);
    Text(b, "x", 6);
    Text(b, "x", 1);
    Text(b, "x", 3);
    Text(b, "x", 4);
    const std::string strRest = " SIZE=3D2 COLOR=3D#000000";
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)),
              FontRun("\"Arial" + std::string(27, ' ') + "\"" + strRest, "x") +
                  FontRun("\"Courier New" + std::string(21, ' ') + "\"" + strRest, "x") +
                  FontRun("\"SANS-SERIF\"" + strRest, "x") + FontRun("\"SANS-SERIF\"" + strRest, "x") +
                  FontRun("\"SANS-SERIF\"" + strRest, "x") + FontRun("\"SANS-SERIF\"" + strRest, "x") +
                  FontRun("\"MONOSPACE\"" + strRest, "x"));

    /* A count larger than the record holds stops at the last whole entry. */
    CdBuilder t;
    FontTable(t, {{9, "Nine"}}, 500);
    Text(t, "x", 9);
    EXPECT_EQ(BodyOf(Convert(host, t.rgb)), FontRun("\"Nine" + std::string(28, ' ') + "\"" + strRest, "x"));
}

TEST(RtTextRun, SizeColourAndEffects)
{
    TestHost host;
    const std::pair<uint8_t, std::string> sizes[] = {{12, "2"}, {36, "7"}, {40, "1"}, {4, "0"}, {255, "3"}};
    for (const auto &[bSize, strSize] : sizes) {
        CdBuilder b;
        Text(b, "x", 0, 0, 0, bSize);
        EXPECT_EQ(BodyOf(Convert(host, b.rgb)), FontRun("\"SERIF\" SIZE=3D" + strSize + " COLOR=3D#000000", "x")) << +bSize;
    }

    CdBuilder c;
    Text(c, "x", 0, 0, 239);
    Text(c, "x", 0, 0, 240);
    Text(c, "x", 1, 0x3F, 2, 36);
    EXPECT_EQ(BodyOf(Convert(host, c.rgb)),
              FontRun("\"SERIF\" SIZE=3D2 COLOR=3D#000000", "x") + FontRun("\"SERIF\" SIZE=3D2 COLOR=3D", "x") +
                  FontRun("\"SANS-SERIF\" SIZE=3D7 COLOR=3D#FF0000",
                      "<B> <I> <U> <SUP> <SUB> <S> x</S> </SUB> </SUP> </U> </I> </B> "));
}

TEST(RtTextRun, TextIsConvertedAndEscaped)
{
    TestHost host;
    CdBuilder b;
    Text(b, std::string("   a  b\tc<d>&e=f\0g\nh ", 21));
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)),
              FontRun("\"SERIF\" SIZE=3D2 COLOR=3D#000000",
                  "&nbsp;&nbsp;&nbsp;a  b&nbsp;&nbsp;&nbsp;&nbsp;c&lt;d>&e=f<BR>g<BR>h "));
    EXPECT_EQ(host.nTextConversions, 1);
    EXPECT_EQ(host.zapi.nCharsetIn, 7); /* restored after the conversion */
    EXPECT_EQ(host.zapi.nCharsetOut, 9);

    /* A text run whose text is empty or one space becomes a non-breaking space inside a table only. */
    CdBuilder t;
    Text(t, "");
    t.Rec(0xFB, CdBuilder::Word, Body(4, 44));
    Text(t, "");
    Text(t, " ");
    Text(t, "  ");
    std::string strBody = BodyOf(Convert(host, t.rgb));
    const std::string strFont = "\"SERIF\" SIZE=3D2 COLOR=3D#000000";
    EXPECT_EQ(strBody, FontRun(strFont, "") + FontRun(strFont, "&nbsp;") + FontRun(strFont, "&nbsp;") +
                           FontRun(strFont, "&nbsp;&nbsp;"));

    /* No memory for the conversion: the run keeps its tags and loses its text. */
    TestHost failing;
    failing.nFailFrom = 0;
    CdBuilder f;
    Text(f, "abc");
    EXPECT_EQ(BodyOf(Convert(failing, f.rgb)), FontRun(strFont, ""));
    EXPECT_EQ(failing.zapi.nCharsetIn, 7);
}

TEST(RtTextRun, HighlightAppliesToTheNextRunOnly)
{
    TestHost host;
    CdBuilder b;
    b.Rec(0xD2, CdBuilder::Byte, {0, 0x80, 0, 0, 0, 0});
    Text(b, "a");
    Text(b, "b");
    b.Rec(0xD2, CdBuilder::Byte, {0, 0x40, 0, 0, 0, 0});
    b.Rec(0xD2, CdBuilder::Byte, {0, 0x10, 0, 0, 0, 0}); /* unknown value clears the pending one */
    Text(b, "c");
    const std::string strFont = "\"SERIF\" SIZE=3D2 COLOR=3D#000000";
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)),
              FontRun(strFont + " STYLE=3D\"BACKGROUND-COLOR:#FFFF80\"", "a") + FontRun(strFont, "b") + FontRun(strFont, "c"));
}

TEST(RtHotspot, LinksAttachmentNamesAndHiddenText)
{
    TestHost host;
    CdBuilder b;
    Hotspot(b, 0xAE, 0, "");                                      /* end without a link: nothing */
    Hotspot(b, 0xAD, 11, std::string("http://x/?a=1", 14));      /* terminator counted in the length */
    Text(b, "x");
    Hotspot(b, 0xAE, 0, "");
    Hotspot(b, 0xAE, 0, "");
    Hotspot(b, 0xAD, 11, "");                                     /* no data: no anchor */
    Hotspot(b, 0xAD, 4, "file.txt");                              /* not a link type */
    Hotspot(b, 0xA9, 4, std::string("report.pdf\0junk", 15));     /* option off */
    Hotspot(b, 0xA9, 22, "secret");                               /* flag off */
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)), "<A href=3D\"http://x/?a=1\">\r\n" +
                                                FontRun("\"SERIF\" SIZE=3D2 COLOR=3D#000000", "x") + "</A>\r\n");

    host.strOptionValue = "1";
    EXPECT_EQ(BodyOf(Convert(host, b.rgb, CNVO_SHOWHIDDENTEXT)),
              "<A href=3D\"http://x/?a=1\">\r\n" + FontRun("\"SERIF\" SIZE=3D2 COLOR=3D#000000", "x") +
                  "</A>\r\nreport.pdf<FONT FACE=3D\"MONOSPACE\"  SIZE=3D3  COLOR=3D#202020>secret</FONT>\r\n");

    /* A data length beyond the record is cut at the record's end. */
    CdBuilder l;
    l.Rec(0xAD, CdBuilder::Word, Body(4, 12).W(4, 11).W(10, 400).S(12, "ab"));
    EXPECT_EQ(BodyOf(Convert(host, l.rgb)), "<A href=3D\"ab\">\r\n");
}

TEST(RtSectionAndCaption, TitlesAndCaptions)
{
    TestHost host;
    CdBuilder b;
    b.Rec(0xAC, CdBuilder::Word, Body(4, 14).D(4, 0).S(14, std::string("Title\0x", 7)));
    b.Rec(0xAC, CdBuilder::Word, Body(4, 14).D(4, 0x2000).S(14, "@Formula"));
    b.Rec(0xAC, CdBuilder::Word, Body(4, 14).D(4, 0).S(14, "Unterminated"));
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)), "<P>\r\nTitle\r\n</P>\r\n<P>\r\nUnterminated\r\n</P>\r\n");

    CdBuilder c;
    FontTable(c, {{6, "Face6"}}, 1);
    c.Rec(0x76, CdBuilder::Word, Body(4, 28).W(4, 3).B(7, 6).B(8, 2).S(28, "a<bcd"));
    c.Rec(0x76, CdBuilder::Word, Body(4, 28).W(4, 99).B(7, 0).B(8, 240).S(28, "xy"));
    EXPECT_EQ(BodyOf(Convert(host, c.rgb)),
              "<BR><FONT FACE=3D\"Face6" + std::string(27, ' ') + "\"  SIZE=3D1 COLOR=3D#FF0000>a<b</FONT><BR>\r\n" +
                  "<BR><FONT FACE=3D\"SERIF\"  SIZE=3D1 COLOR=3D0>xy</FONT><BR>\r\n");
}
