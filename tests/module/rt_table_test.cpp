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
