#include "zapi.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include "host_test_support.h"

namespace nsfrex {
namespace {

std::unique_ptr<HostServices> makeHost(HostSettings settings = {}) {
    if (settings.libraryDirectory.empty()) settings.libraryDirectory = test::binDir();
    auto host = HostServices::create(std::move(settings));
    EXPECT_TRUE(host) << host.error();
    return host ? std::move(*host) : nullptr;
}

TEST(Zapi, RecordIsFilledAndPointsBackAtTheHost) {
    auto host = makeHost();
    ASSERT_TRUE(host);
    ZAPI* zapi = host->zapi();
    EXPECT_EQ(zapi->cbSize, sizeof(ZAPI));
    EXPECT_EQ(zapi->pHost, host.get());
    EXPECT_EQ(zapi->memoryService.pOwner, &host->allocator());
    for (const void* entry : {(const void*)zapi->fpLoadLibrary, (const void*)zapi->fpGetEntry,
                              (const void*)zapi->fpFreeLibrary, (const void*)zapi->fpGetOption,
                              (const void*)zapi->fpOpenMemoryStream, (const void*)zapi->memoryService.fpMalloc,
                              (const void*)zapi->memoryService.fpFree, (const void*)zapi->memoryService.fpResize,
                              (const void*)zapi->memoryService.fpRealloc, (const void*)zapi->fpStrdup,
                              (const void*)zapi->fpTextConvert, (const void*)zapi->fpIsLeadByte,
                              (const void*)zapi->fpTextMode, (const void*)zapi->fpTimeToFileTime})
        EXPECT_NE(entry, nullptr);
    EXPECT_STREQ(zapi->szTempPath, "");
    EXPECT_EQ(zapi->fpIsLeadByte(zapi, 0x81, kCharsetUtf8), 0);
    EXPECT_EQ(zapi->fpTextMode(zapi, 32), 0);
    EXPECT_EQ(zapi->fpTextMode(zapi, 0), 32);
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

TEST(Zapi, StrdupCopiesAreFreedByTheMemoryService) {
    auto host = makeHost();
    ASSERT_TRUE(host);
    ZAPI* zapi = host->zapi();
    char* copy = zapi->fpStrdup(zapi, "C:\\ids\\user.id");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "C:\\ids\\user.id");
    EXPECT_EQ(host->allocator().liveBlocks(), 1u);
    zapi->memoryService.fpFree(&zapi->memoryService, copy);
    EXPECT_EQ(host->allocator().liveBlocks(), 0u);
    EXPECT_EQ(host->allocator().foreignFrees(), 0u);

    EXPECT_EQ(zapi->fpStrdup(zapi, nullptr), nullptr);
    host->allocator().failAt(1);
    EXPECT_EQ(zapi->fpStrdup(zapi, "x"), nullptr);
}

TEST(Zapi, TempPathEndsInASeparatorAndMustFit) {
    HostSettings settings;
    settings.tempPath = "/var/tmp";
    auto host = makeHost(std::move(settings));
    ASSERT_TRUE(host);
    EXPECT_STREQ(host->zapi()->szTempPath, "/var/tmp/");

    HostSettings slash;
    slash.tempPath = "/var/tmp/";
    auto host2 = makeHost(std::move(slash));
    ASSERT_TRUE(host2);
    EXPECT_STREQ(host2->zapi()->szTempPath, "/var/tmp/");

    HostSettings fits;
    fits.tempPath = "/" + std::string(ZAPI_TEMP_PATH_MAX - 3, 'a');  // with the '/' added: 259 bytes
    EXPECT_TRUE(HostServices::create(std::move(fits)));
    HostSettings tooLong;
    tooLong.tempPath = "/" + std::string(ZAPI_TEMP_PATH_MAX - 2, 'a');
    EXPECT_FALSE(HostServices::create(std::move(tooLong)));
}

TEST(Zapi, TimeToFileTimeWritesLittleEndianBytes) {
    auto host = makeHost();
    ASSERT_TRUE(host);
    ZAPI* zapi = host->zapi();
    std::uint8_t out[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_NE(zapi->fpTimeToFileTime(zapi, 0, out), 0);
    const std::uint8_t epoch[8] = {0x00, 0x80, 0x3E, 0xD5, 0xDE, 0xB1, 0x9D, 0x01};
    EXPECT_EQ(0, std::memcmp(out, epoch, 8));
    // Out of range: all zero, the "no time" value.
    EXPECT_EQ(zapi->fpTimeToFileTime(zapi, -11644473601, out), 0);
    const std::uint8_t none[8] = {};
    EXPECT_EQ(0, std::memcmp(out, none, 8));
    EXPECT_EQ(zapi->fpTimeToFileTime(zapi, 0, nullptr), 0);
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

TEST(Zapi, MemoryStreamsComeFromTheHostAllocator) {
    auto host = makeHost();
    ASSERT_TRUE(host);
    ZAPI* zapi = host->zapi();
    MemoryStream* stream = zapi->fpOpenMemoryStream(zapi, 0, "a+b");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->pZAPI, zapi);
    EXPECT_EQ(stream->fpWrite(stream, "BM", 2), 2);
    EXPECT_EQ(host->allocator().liveBlocks(), 2u);  // the record and its bytes
    stream->fpRelease(stream);
    EXPECT_EQ(host->allocator().liveBlocks(), 0u);
}

}  // namespace
}  // namespace nsfrex
