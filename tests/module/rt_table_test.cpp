#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "richtext/converter.h"
#include "richtext/table.h"
#include "rt_test_host.h"

using namespace rt_test;

namespace {

CdBuilder &PreTable(CdBuilder &b, uint32_t dwBackground = 0)
{
    return b.Rec(0xFB, CdBuilder::Word, Body(4, 44).D(24, dwBackground));
}
CdBuilder &TableBegin(CdBuilder &b, uint8_t bSig = 0xA3) { return b.Rec(bSig, CdBuilder::Byte, Body(2, 14)); }
CdBuilder &TableEnd(CdBuilder &b, uint8_t bSig = 0xA5) { return b.Rec(bSig, CdBuilder::Byte, Body(2, 6)); }
CdBuilder &Cell(CdBuilder &b, uint8_t bRow, uint8_t bCol, uint16_t wLeft = 0, uint16_t wRight = 0, uint8_t bBorder = 0,
                uint8_t bFlags = 0, uint16_t wColour = 0, uint8_t bSig = 0xA4)
{
    return b.Rec(bSig, CdBuilder::Byte,
                 Body(2, 18).B(2, bRow).B(3, bCol).W(4, wLeft).W(6, wRight).B(10, bBorder).B(11, bFlags).W(16, wColour));
}
CdBuilder &CellColour(CdBuilder &b, uint32_t dw1, uint32_t dw2)
{
    return b.Rec(0xD3, CdBuilder::Byte, Body(2, 14).D(4, dw1).D(10, dw2));
}

const std::string kTd = "<TD STYLE=3D\" VERTICAL-ALIGN:top;\">";
const std::string kBegin = "<TABLE STYLE=3D\" \">\r\n<TBODY>\r\n";
const std::string kEnd = "</TD>\r\n</TR>\r\n</TBODY>\r\n</TABLE>\r\n";

} // namespace

TEST(RtTable, TwoByTwoRowsAndCells)
{
    TestHost host;
    CdBuilder b;
    PabRef(b, 1);
    PreTable(b);
    TableBegin(b);
    Cell(b, 0, 0);
    Cell(b, 0, 1);
    Cell(b, 1, 0);
    Cell(b, 1, 1);
    TableEnd(b);
    TableEnd(b); /* no table left: renders nothing */
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)), "<P></P>\r\n" + kBegin + "<TR>\r\n" + kTd + "</TD>\r\n" + kTd +
                                                "</TD>\r\n</TR>\r\n<TR>\r\n" + kTd + "</TD>\r\n" + kTd + kEnd);
}

TEST(RtTable, TableStyleFromPreTableAndBorderRecords)
{
    TestHost host;
    CdBuilder b;
    PreTable(b, 0x00C0FFEE);
    b.Rec(0xFC, CdBuilder::Word,
          Body(4, 58).D(4, 2).W(8, 1).W(10, 2).W(12, 3).W(14, 0).B(44, 0x12).B(45, 0x34).B(46, 0x56));
    TableBegin(b);
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)), "<TABLE STYLE=3D\" BACKGROUND-COLOR: #C0FFEE;"
                                            " BORDER-LEFT:2px double #123456 ;"
                                            " BORDER-TOP:1px double #123456 ;"
                                            " BORDER-BOTTOM:3px double #123456 ;\">\r\n<TBODY>\r\n");

    /* A style number out of range names the first style. */
    CdBuilder s;
    PreTable(s);
    s.Rec(0xFC, CdBuilder::Word, Body(4, 58).D(4, 11).W(14, 4));
    TableBegin(s);
    EXPECT_EQ(BodyOf(Convert(host, s.rgb)), "<TABLE STYLE=3D\"  BORDER-RIGHT:4px solid #000000 ;\">\r\n<TBODY>\r\n");
}

TEST(RtTable, CellWidthBordersAndColours)
{
    CdBuilder pre;
    PreTable(pre);
    CLotusRTTable table(1, pre.rgb.data(), static_cast<int32_t>(pre.rgb.size()));
    auto render = [&table](CdBuilder b) { return table.Render(b.rgb.data(), static_cast<int32_t>(b.rgb.size())); };

    CdBuilder c1;
    Cell(c1, 0, 0, 0, 2880, 0xFF, 0x21, 1);
    EXPECT_EQ(render(c1), "<TR>\r\n<TD STYLE=3D\"  WIDTH:144pt; BORDER-LEFT: 1px solid black; BORDER-RIGHT: 1px solid "
                          "black; BORDER-TOP: 1px solid black; BORDER-BOTTOM: 1px solid black;"
                          "BACKGROUND-COLOR:#FFFFFF;VERTICAL-ALIGN:middle;\">");

    /* Right margin left of the left one: signed division toward zero. Palette index out of range. */
    CdBuilder c2;
    Cell(c2, 0, 1, 100, 50, 0x10, 0x81, 300);
    EXPECT_EQ(render(c2), "</TD>\r\n<TD STYLE=3D\"  WIDTH:-2pt; BORDER-TOP: 1px solid black;"
                          "BACKGROUND-COLOR:#000000;VERTICAL-ALIGN:bottom;\">");

    /* Averaged colours: white before any colour record, then the last colour record's pair. */
    CdBuilder c3;
    Cell(c3, 0, 2, 0, 0, 0, 0x11);
    EXPECT_EQ(render(c3), "</TD>\r\n<TD STYLE=3D\" BACKGROUND-COLOR:#FFFFFF;VERTICAL-ALIGN:top;\">");
    CdBuilder colour;
    CellColour(colour, 0x00204080, 0x00FF00FF);
    EXPECT_EQ(render(colour), "");
    CdBuilder c4;
    Cell(c4, 0, 3, 0, 0, 0, 0x11);
    EXPECT_EQ(render(c4), "</TD>\r\n<TD STYLE=3D\" BACKGROUND-COLOR:#BF208F;VERTICAL-ALIGN:top;\">");
    EXPECT_EQ(table.nRow, 0);
    EXPECT_EQ(table.nColumn, 3);
}

TEST(RtTable, CellColourLookAheadAppliesToItsOwnCell)
{
    TestHost host;
    CdBuilder b;
    PreTable(b);
    TableBegin(b);
    Cell(b, 0, 0, 0, 0, 0, 0x11);
    b.Rec(0xD0, CdBuilder::Byte, Body(2, 18)); /* a nested cell does not stop the look-ahead; with no nested
                                                  table open, the outer table renders it */
    CellColour(b, 0x000000FF, 0x000000FF);
    Cell(b, 0, 1, 0, 0, 0, 0x11);             /* no colour of its own before the next cell: keeps the last */
    Cell(b, 0, 2, 0, 0, 0, 0x11);
    CellColour(b, 0x00FF0000, 0x00FF0000);
    TableEnd(b);
    const std::string strBody = BodyOf(Convert(host, b.rgb));
    EXPECT_EQ(strBody, kBegin + "<TR>\r\n<TD STYLE=3D\" BACKGROUND-COLOR:#FF0000;VERTICAL-ALIGN:top;\">" +
                           "</TD>\r\n" + kTd + "</TD>\r\n<TD STYLE=3D\" BACKGROUND-COLOR:#FF0000;VERTICAL-ALIGN:top;\">" +
                           "</TD>\r\n<TD STYLE=3D\" BACKGROUND-COLOR:#0000FF;VERTICAL-ALIGN:top;\">" + kEnd);
}

TEST(RtTable, NestedTableLeavesTheOuterTableAsItWas)
{
    TestHost host;
    CdBuilder b;
    PreTable(b);
    TableBegin(b);
    Cell(b, 0, 0);
    PreTable(b);
    TableBegin(b, 0xCF);
    Cell(b, 0, 0, 0, 0, 0, 0, 0, 0xD0);
    Text(b, "in");
    TableEnd(b, 0xD1);
    Cell(b, 0, 1);
    TableEnd(b);
    const std::string strRun = "<FONT FACE=3D\"SERIF\" SIZE=3D2 COLOR=3D#000000>in</FONT>\r\n";
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)), kBegin + "<TR>\r\n" + kTd + kBegin + "<TR>\r\n" + kTd + strRun + kEnd +
                                                "</TD>\r\n" + kTd + kEnd);

    /* Tables still open at the end are simply dropped with the converter. */
    CdBuilder open;
    PreTable(open);
    PreTable(open);
    TableBegin(open);
    EXPECT_EQ(BodyOf(Convert(host, open.rgb)), kBegin);
}
