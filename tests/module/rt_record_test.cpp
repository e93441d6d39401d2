#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "richtext/binary_stream.h"
#include "richtext/border_style.h"
#include "richtext/cd_record.h"
#include "richtext/palette.h"
#include "rt_test_host.h"

using rt_test::CdBuilder;
using rt_test::TestHost;

namespace {

/* Positions and lengths of the records a framing walk visits. */
std::vector<std::pair<int32_t, int32_t>> Walk(const std::vector<uint8_t> &rgb)
{
    std::vector<std::pair<int32_t, int32_t>> visits;
    int64_t nPos = 0;
    const int32_t cb = static_cast<int32_t>(rgb.size());
    while (nPos + 2 < cb) {
        int32_t cbRec = nsfGetCDRecordLength(rgb.data(), cb, static_cast<int32_t>(nPos));
        if (cbRec == 0)
            break;
        visits.emplace_back(static_cast<int32_t>(nPos), cbRec);
        nPos = nsfGetNextCDPosition(static_cast<int32_t>(nPos), cbRec);
    }
    return visits;
}

} // namespace

TEST(RtPalette, EntriesAndBounds)
{
    EXPECT_STREQ(nsfGetPaletteColour(0), "#000000");
    EXPECT_STREQ(nsfGetPaletteColour(1), "#FFFFFF");
    EXPECT_STREQ(nsfGetPaletteColour(2), "#FF0000");
    EXPECT_STREQ(nsfGetPaletteColour(12), "#808000");
    EXPECT_STREQ(nsfGetPaletteColour(14), "#808000");
    EXPECT_STREQ(nsfGetPaletteColour(31), "#FFFFFF");
    EXPECT_STREQ(nsfGetPaletteColour(107), "#0D40FF");
    EXPECT_STREQ(nsfGetPaletteColour(208), "#D0B1A1");
    EXPECT_STREQ(nsfGetPaletteColour(238), "#813F62");
    EXPECT_STREQ(nsfGetPaletteColour(239), "#000000");
    EXPECT_STREQ(nsfGetPaletteColour(240), "#000000");
    EXPECT_STREQ(nsfGetPaletteColour(0xFFFFFFFF), "#000000");
    for (uint32_t i = 0; i < LOTUS_PALETTE_SIZE; ++i) {
        std::string s = nsfGetPaletteColour(i);
        ASSERT_EQ(s.size(), 7u) << i;
        ASSERT_EQ(s[0], '#') << i;
        ASSERT_EQ(s.find_first_not_of("0123456789ABCDEF", 1), std::string::npos) << i;
    }
}

TEST(RtBorderStyle, NamesAndFallback)
{
    EXPECT_STREQ(nsfGetBorderStyleName(0), "solid");
    EXPECT_STREQ(nsfGetBorderStyleName(2), "double");
    EXPECT_STREQ(nsfGetBorderStyleName(6), "groove");
    EXPECT_STREQ(nsfGetBorderStyleName(8), "dashed");
    EXPECT_STREQ(nsfGetBorderStyleName(10), "solid");
    EXPECT_STREQ(nsfGetBorderStyleName(11), "solid");
    EXPECT_STREQ(nsfGetBorderStyleName(0x80000000u), "solid");
}

TEST(RtFraming, HeaderFormsAndPadding)
{
    CdBuilder b;
    b.Rec(0x81, CdBuilder::Byte, {})              /* 2 bytes */
        .Rec(0x83, CdBuilder::Byte, {7})          /* 3 bytes, one pad byte */
        .Rec(0x85, CdBuilder::Word, {1, 2, 3})    /* 7 bytes, one pad byte */
        .Rec(0x7C, CdBuilder::Long, {9, 9, 9, 9}); /* 10 bytes */
    auto visits = Walk(b.rgb);
    ASSERT_EQ(visits.size(), 4u);
    EXPECT_EQ(visits[0], std::make_pair(0, 2));
    EXPECT_EQ(visits[1], std::make_pair(2, 3));
    EXPECT_EQ(visits[2], std::make_pair(6, 7));
    EXPECT_EQ(visits[3], std::make_pair(14, 10));

    /* A long length above 65535 is read in full. */
    std::vector<uint8_t> big(70000, 0);
    big[0] = 0x7C;
    big[1] = 0;
    big[2] = 70000 & 0xFF;
    big[3] = (70000 >> 8) & 0xFF;
    big[4] = 70000 >> 16;
    EXPECT_EQ(nsfGetCDRecordLength(big.data(), 70000, 0), 70000);
    EXPECT_EQ(nsfGetCDRecordLength(big.data(), 69999, 0), 0);
}

TEST(RtFraming, ZeroTruncatedAndShortSequencesEndTheWalk)
{
    /* Word length 0 ends the walk; the record before it is still seen. */
    CdBuilder zero;
    zero.Rec(0x81, CdBuilder::Byte, {}).Raw({0x85, 0xFF, 0, 0, 1, 2});
    EXPECT_EQ(Walk(zero.rgb).size(), 1u);

    /* Long length past the end. */
    CdBuilder past;
    past.Rec(0x81, CdBuilder::Byte, {}).Rec(0x83, CdBuilder::Byte, {1, 2}).Raw({0x7D, 0, 0x40, 0, 0, 0, 1, 2});
    EXPECT_EQ(Walk(past.rgb).size(), 2u);

    /* Length field itself cut off by the end of the sequence. */
    const uint8_t cutWord[] = {0x85, 0xFF, 4};
    EXPECT_EQ(nsfGetCDRecordLength(cutWord, 3, 0), 0);
    const uint8_t cutLong[] = {0x7D, 0, 6, 0, 0};
    EXPECT_EQ(nsfGetCDRecordLength(cutLong, 5, 0), 0);

    /* Two bytes or fewer are never walked, even when they form a whole record. */
    const uint8_t two[] = {0x81, 2};
    EXPECT_EQ(nsfGetCDRecordLength(two, 2, 0), 0);
    EXPECT_EQ(nsfGetCDRecordLength(nullptr, 10, 0), 0);

    /* A byte length past the end, and a huge long length that overflows 32-bit positions. */
    const uint8_t byteLong[] = {0x83, 9, 0, 0};
    EXPECT_EQ(nsfGetCDRecordLength(byteLong, 4, 0), 0);
    const uint8_t huge[] = {0x7D, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
    EXPECT_EQ(nsfGetCDRecordLength(huge, 8, 0), 0);

    /* A byte record of length 1 still advances by two bytes. */
    CdBuilder one;
    one.Raw({0x81, 1, 0x81, 2, 0, 0});
    auto visits = Walk(one.rgb);
    ASSERT_EQ(visits.size(), 2u);
    EXPECT_EQ(visits[1].first, 2);
}

TEST(RtFraming, FieldReadsStayInsideTheRecord)
{
    const uint8_t rec[] = {0x85, 6, 0x34, 0x12, 0x78, 0x56, 0xEE};
    EXPECT_EQ(nsfGetCDWord(rec, 6, 2), 0x1234);
    EXPECT_EQ(nsfGetCDDword(rec, 6, 2), 0x56781234u);
    EXPECT_EQ(nsfGetCDWord(rec, 6, 5), 0x0056); /* the byte after the record is not read */
    EXPECT_EQ(nsfGetCDByte(rec, 6, -1), 0);
    EXPECT_EQ(nsfGetCDDword(rec, 6, 100), 0u);
    EXPECT_EQ(nsfGetCDAvailable(6, 4, 10), 2);
    EXPECT_EQ(nsfGetCDAvailable(6, 6, 10), 0);
    EXPECT_EQ(nsfGetCDAvailable(6, 2, -3), 0);
}

TEST(RtBinaryStream, AppendGrowsThroughTheHost)
{
    TestHost host;
    {
        CLotusBinaryStream s(&host.zapi, LOTUS_IMAGE_GIF, "tm_1_image0.gif");
        EXPECT_EQ(s.pbData, nullptr);
        s.Append(nullptr, 0); /* an empty append still allocates the one spare byte */
        ASSERT_NE(s.pbData, nullptr);
        EXPECT_EQ(s.nLength, 0);
        EXPECT_EQ(host.live.at(s.pbData), 1u);

        const uint8_t abc[] = {'a', 'b', 'c'};
        s.Append(abc, 3);
        s.Append(abc, 2);
        ASSERT_EQ(s.nLength, 5);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(s.pbData), 5), "abcab");
        EXPECT_EQ(host.live.at(s.pbData), 6u);
        EXPECT_EQ(s.strName, "tm_1_image0.gif");
    }
    EXPECT_TRUE(host.live.empty());
}

TEST(RtBinaryStream, FailedOrImpossibleAppendDropsTheBytes)
{
    TestHost host;
    const uint8_t abc[] = {'a', 'b', 'c'};
    {
        CLotusBinaryStream s(&host.zapi, LOTUS_IMAGE_JPEG, "x");
        s.Append(abc, 3);
        host.nFailFrom = host.nAllocs; /* the next resize fails */
        s.Append(abc, 3);
        EXPECT_EQ(s.pbData, nullptr);
        EXPECT_EQ(s.nLength, 0);
        EXPECT_TRUE(host.live.empty());
    }
    host.nFailFrom = -1;
    {
        CLotusBinaryStream s(&host.zapi, LOTUS_IMAGE_JPEG, "x");
        s.Append(abc, 3);
        s.Append(abc, INT32_MAX); /* length + count + 1 overflows 32 bits: never reaches the host */
        EXPECT_EQ(s.pbData, nullptr);
        s.Append(abc, -1);
        EXPECT_EQ(s.pbData, nullptr);
        EXPECT_TRUE(host.live.empty());
    }
}
