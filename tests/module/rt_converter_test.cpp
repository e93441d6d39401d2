#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "richtext/converter.h"
#include "rt_test_host.h"

using namespace rt_test;

namespace {

const std::string kRunA = "<FONT FACE=3D\"SERIF\" SIZE=3D2 COLOR=3D#000000>a</FONT>\r\n";
const std::string kRunB = "<FONT FACE=3D\"SERIF\" SIZE=3D2 COLOR=3D#000000>b</FONT>\r\n";

CdBuilder &Colour(CdBuilder &b, uint8_t bHighlight)
{
    return b.Rec(0xD2, CdBuilder::Byte, {0, bHighlight, 0, 0, 0, 0});
}
CdBuilder &Begin(CdBuilder &b) { return b.Rec(0xDD, CdBuilder::Byte, {0, 0, 0x85, 0xFF}); }
CdBuilder &End(CdBuilder &b) { return b.Rec(0xDE, CdBuilder::Byte, {0, 0, 0x85, 0xFF}); }

} // namespace

TEST(RtConverter, DocumentFrame)
{
    TestHost host;
    EXPECT_EQ(Convert(host, {}), kTail);
    EXPECT_EQ(Convert(host, {0x81, 2}), kTail);

    CdBuilder b;
    Paragraph(b);
    Text(b, "a");
    EXPECT_EQ(Convert(host, b.rgb), kRunA + kTail);

    /* The result is complete in the output string and the converter keeps no host memory. */
    EXPECT_EQ(host.liveBlocks(), 0u);
}

TEST(RtConverter, BeginEndBracketIsReplayedOnce)
{
    TestHost host;
    CdBuilder b;
    Begin(b);
    Colour(b, 0x20);
    Text(b, "a");
    End(b);
    End(b); /* a second END outside any bracket does nothing */
    Text(b, "b");
    const std::string strHighlighted =
        "<FONT FACE=3D\"SERIF\" SIZE=3D2 COLOR=3D#000000 STYLE=3D\"BACKGROUND-COLOR:#80FFFF\">a</FONT>\r\n";
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)), strHighlighted + kRunB);

    /* Colour records act in the first pass only, ahead of the bracket's text: a colour that follows the
       text inside the bracket still highlights that text, and not the run after the bracket. */
    CdBuilder late;
    Begin(late);
    Text(late, "a");
    Colour(late, 0x40);
    End(late);
    Text(late, "b");
    EXPECT_EQ(BodyOf(Convert(host, late.rgb)),
              "<FONT FACE=3D\"SERIF\" SIZE=3D2 COLOR=3D#000000 STYLE=3D\"BACKGROUND-COLOR:#FF80FF\">a</FONT>\r\n" + kRunB);

    /* Two brackets in a row are each replayed; a BEGIN without END renders nothing after it. */
    CdBuilder two;
    Begin(two);
    Text(two, "a");
    End(two);
    Begin(two);
    Text(two, "b");
    End(two);
    Begin(two);
    Text(two, "lost");
    EXPECT_EQ(BodyOf(Convert(host, two.rgb)), kRunA + kRunB);
}

TEST(RtConverter, DamagedSequencesKeepWhatCameBefore)
{
    TestHost host;
    CdBuilder b;
    Text(b, "a");
    b.Raw({0x85, 0, 0xFF, 0xFF, 0, 0, 0, 0}); /* long record running past the end */
    EXPECT_EQ(BodyOf(Convert(host, b.rgb)), kRunA);

    CdBuilder z;
    Text(z, "a");
    z.Raw({0x85, 0xFF, 0, 0});
    Text(z, "b");
    EXPECT_EQ(BodyOf(Convert(host, z.rgb)), kRunA);

    /* Records shorter than their fixed part read missing fields as zero. */
    CdBuilder s;
    s.Rec(0x85, CdBuilder::Byte, {});      /* text run without a font ID */
    s.Rec(0x83, CdBuilder::Byte, {});      /* paragraph reference without an ID */
    s.Rec(0xA4, CdBuilder::Byte, {});
    s.Rec(0x7C, CdBuilder::Byte, {0xFF});  /* image segment claiming bytes it lacks */
    EXPECT_EQ(BodyOf(Convert(host, s.rgb)), "<FONT FACE=3D\"SERIF\" SIZE=3D0 COLOR=3D#000000></FONT>\r\n<P></P>\r\n");
}
