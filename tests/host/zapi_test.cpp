#include "zapi.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host_test_support.h"

namespace nsfrex {
namespace {

std::unique_ptr<HostServices> makeHost(HostSettings settings = {}) {
    if (settings.libraryDirectory.empty()) settings.libraryDirectory = test::binDir();
    auto host = HostServices::create(std::move(settings));
    EXPECT_TRUE(host) << host.error();
    return host ? std::move(*host) : nullptr;
}

TEST(Zapi, GetOptionTruncatesTerminatesAndTellsWhetherAValueExists) {
    HostSettings settings;
    ASSERT_TRUE(settings.config.set("nsfrex.MailLogoFieldName=" + std::string(40, 'x')));
    ASSERT_TRUE(settings.config.set("nsfrex.ExportDXL=1"));
    ASSERT_TRUE(settings.config.set("nsfrex.Empty="));
    auto host = makeHost(std::move(settings));
    ASSERT_TRUE(host);
    ZAPI* zapi = host->zapi();

    char out[32];
    std::memset(out, '#', sizeof out);
    EXPECT_NE(zapi->fpGetOption(zapi, "nsfrex", "MailLogoFieldName", "", out, sizeof out, 0), 0);
    EXPECT_EQ(std::string(out), std::string(31, 'x'));

    EXPECT_NE(zapi->fpGetOption(zapi, "nsfrex", "ExportDXL", "", out, sizeof out, 0), 0);
    EXPECT_STREQ(out, "1");
    EXPECT_NE(zapi->fpGetOption(zapi, "nsfrex", "Empty", "dflt", out, sizeof out, 0), 0);
    EXPECT_STREQ(out, "");

    // No value: result 0, the default in the buffer.
    EXPECT_EQ(zapi->fpGetOption(zapi, "nsfrex", "TempDir", "", out, sizeof out, 0), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(zapi->fpGetOption(zapi, "dxlrex", "ExportDXL", "fallback", out, sizeof out, 0), 0);
    EXPECT_STREQ(out, "fallback");
    EXPECT_EQ(zapi->fpGetOption(zapi, "nsfrex", "Missing", nullptr, out, sizeof out, 0), 0);
    EXPECT_STREQ(out, "");

    // A one-byte buffer holds only the terminator; a zero-byte one is not touched.
    char tiny[2] = {'#', '#'};
    EXPECT_NE(zapi->fpGetOption(zapi, "nsfrex", "ExportDXL", "", tiny, 1, 0), 0);
    EXPECT_EQ(tiny[0], '\0');
    EXPECT_EQ(tiny[1], '#');
    tiny[0] = '#';
    EXPECT_EQ(zapi->fpGetOption(zapi, "nsfrex", "ExportDXL", "", tiny, 0, 0), 0);
    EXPECT_EQ(tiny[0], '#');
    EXPECT_EQ(zapi->fpGetOption(zapi, nullptr, "ExportDXL", "", out, sizeof out, 0), 0);
}

// The call the module makes for a text run: charsets 53 and 28, conversion 50, capacity in, length out.
TEST(Zapi, TextConvertTurnsLmbcsIntoUtf8) {
    auto host = makeHost();
    ASSERT_TRUE(host);
    ZAPI* zapi = host->zapi();
    zapi->nCharsetIn = 53;
    zapi->nCharsetOut = 28;

    std::uint8_t input[] = {'C', 'a', 'f', 0x82, '!'};
    std::vector<std::uint8_t> block(sizeof input * 6);
    TextPair in{input, static_cast<std::int32_t>(sizeof input)};
    TextPair out{block.data(), static_cast<std::int32_t>(block.size())};
    EXPECT_NE(zapi->fpTextConvert(zapi, 50, &in, &out, 32), 0);
    EXPECT_EQ(std::string(block.begin(), block.begin() + out.cb), "Caf\xC3\xA9!");

    // Too small: cut before the character that does not fit, reported as incomplete.
    out = TextPair{block.data(), 4};
    EXPECT_EQ(zapi->fpTextConvert(zapi, 50, &in, &out, 32), 0);
    EXPECT_EQ(std::string(block.begin(), block.begin() + out.cb), "Caf");

    // A character UTF-8 cannot hold (half a surrogate pair) gives nothing rather than a substitute.
    std::uint8_t halfPair[] = {'a', 0x14, 0xD8, 0x3D, 'x'};
    in = TextPair{halfPair, static_cast<std::int32_t>(sizeof halfPair)};
    out = TextPair{block.data(), static_cast<std::int32_t>(block.size())};
    EXPECT_EQ(zapi->fpTextConvert(zapi, 50, &in, &out, 32), 0);
    EXPECT_EQ(out.cb, 0);
    in = TextPair{input, static_cast<std::int32_t>(sizeof input)};

    // Anything but the known conversion produces nothing.
    out = TextPair{block.data(), static_cast<std::int32_t>(block.size())};
    EXPECT_EQ(zapi->fpTextConvert(zapi, 51, &in, &out, 32), 0);
    EXPECT_EQ(out.cb, 0);
    zapi->nCharsetIn = 0;
    out = TextPair{block.data(), static_cast<std::int32_t>(block.size())};
    EXPECT_EQ(zapi->fpTextConvert(zapi, 50, &in, &out, 32), 0);
    EXPECT_EQ(out.cb, 0);
    zapi->nCharsetIn = 53;
    in.cb = -1;
    out = TextPair{block.data(), static_cast<std::int32_t>(block.size())};
    EXPECT_EQ(zapi->fpTextConvert(zapi, 50, &in, &out, 32), 0);
    EXPECT_EQ(out.cb, 0);
    EXPECT_EQ(host->allocator().liveBlocks(), 0u);
}

}  // namespace
}  // namespace nsfrex
