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

TEST(RtTextRun, TextIsConvertedAndEscaped)
{
    TestHost host;
    CdBuilder b;
    Text(b, std::string("   a  b\tc<d>&e=f\0g\nh ", 21));
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)),
              FontRun("\"SERIF\" SIZE=3D2 COLOR=3D#000000",
                  "&nbsp;&nbsp;&nbsp;a  b&nbsp;&nbsp;&nbsp;&nbsp;c&lt;d>&e=f<BR>g<BR>h "));
    EXPECT_EQ(host.nTextConversions, 1);
    EXPECT_EQ(host.zapi()->nCharsetIn, 7); /* restored after the conversion */
    EXPECT_EQ(host.zapi()->nCharsetOut, 9);

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
    failing.FailAllocation(1, true);
    CdBuilder f;
    Text(f, "abc");
    EXPECT_EQ(BodyOf(Convert(failing, f.rgb)), FontRun(strFont, ""));
    EXPECT_EQ(failing.zapi()->nCharsetIn, 7);
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
