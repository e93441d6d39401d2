#include "zapi.h"

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include "host_test_support.h"
#include "text_convert.h"

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

// Bytes that are characters by themselves are converted from a table and only the rest by ICU; the
// result must be ICU's for the whole text wherever such bytes stand, group bytes and their trail bytes
// included, both into a string and straight into a caller's block.
TEST(Zapi, TextConvertAgreesWithIcuOverTheWholeText) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, void (*)(UConverter*)> icu(ucnv_open("LMBCS-1", &status), ucnv_close);
    ASSERT_TRUE(U_SUCCESS(status));
    // Nothing when ICU fails (a group byte can leave half a surrogate pair): the host fails then too.
    auto byIcu = [&](const std::vector<std::uint8_t>& text) -> std::optional<std::string> {
        std::vector<UChar> utf16(text.size() * 2 + 1);
        UErrorCode error = U_ZERO_ERROR;
        ucnv_reset(icu.get());
        const std::int32_t cch = ucnv_toUChars(icu.get(), utf16.data(), static_cast<std::int32_t>(utf16.size()),
                                               reinterpret_cast<const char*>(text.data()),
                                               static_cast<std::int32_t>(text.size()), &error);
        std::string utf8(text.size() * 4 + 1, '\0');
        std::int32_t cb = 0;
        u_strToUTF8(utf8.data(), static_cast<std::int32_t>(utf8.size()), &cb, utf16.data(), cch, &error);
        if (U_FAILURE(error)) return std::nullopt;
        utf8.resize(static_cast<std::size_t>(cb));
        return utf8;
    };

    LmbcsDecoder decoder;
    std::mt19937 random(18);
    int cDirect = 0;
    for (int n = 0; n < 3000; ++n) {
        // Every other text mostly printable ASCII, as real text is, with long runs of it.
        std::vector<std::uint8_t> text(random() % 80);
        const unsigned cAsciiIn20 = n % 2 ? 10 : 19;
        for (auto& b : text) {
            const bool ascii = random() % 20 < cAsciiIn20;
            b = static_cast<std::uint8_t>(ascii ? 0x20 + random() % 0x60
                                                : random() % 5 ? 0x80 + random() % 0x80 : random() % 0x20);
        }
        std::string hex;
        for (const auto b : text) hex += "0123456789ABCDEF"[b >> 4], hex += "0123456789ABCDEF"[b & 15], hex += ' ';
        SCOPED_TRACE(hex);
        const auto expected = byIcu(text);
        const auto converted = decoder.toUtf8(text);
        ASSERT_EQ(converted.has_value(), expected.has_value()) << n;
        if (expected) {
            EXPECT_EQ(*converted, *expected) << n;
        }
        std::string block(text.size() * 6, '\0');
        if (const auto written = decoder.toUtf8Into(text, block)) {
            ++cDirect;
            EXPECT_EQ(block.substr(0, *written), expected.value_or("(ICU fails)")) << n;
        }
    }
    EXPECT_GT(cDirect, 300);  // the table does serve most text without group bytes
}

}  // namespace
}  // namespace nsfrex
