#include "memory_stream.h"

#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "memory_service.h"

namespace nsfrex {
namespace {

TEST(MemoryStream, ReadsBackWhatWasWrittenAcrossGrowth) {
    HostAllocator allocator;
    MemoryStream* stream = openMemoryStream(allocator, nullptr);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->hStream, stream);
    EXPECT_EQ(stream->fpPrepare(stream), 1);

    std::vector<std::uint8_t> data(100'000);
    std::iota(data.begin(), data.end(), std::uint8_t{0});
    // Many small writes force the buffer to grow several times.
    for (std::size_t offset = 0; offset < data.size(); offset += 1000)
        ASSERT_EQ(stream->fpWrite(stream, data.data() + offset, 1000), 1000);
    EXPECT_EQ(stream->fpTell(stream), 100'000);

    // The sequence the image conversion uses: end, tell, start, read.
    ASSERT_EQ(stream->fpSeek(stream, 0, 2), 0);
    const std::int64_t size = stream->fpTell(stream);
    ASSERT_EQ(size, 100'000);
    ASSERT_EQ(stream->fpSeek(stream, 0, 0), 0);
    std::vector<std::uint8_t> back(static_cast<std::size_t>(size));
    ASSERT_EQ(stream->fpRead(stream, back.data(), static_cast<std::int32_t>(size)), size);
    EXPECT_EQ(back, data);
    std::uint8_t extra = 0;
    EXPECT_EQ(stream->fpRead(stream, &extra, 1), 0);  // at the end

    stream->fpRelease(stream);
    EXPECT_EQ(allocator.liveBlocks(), 0u);
}

TEST(MemoryStream, SeeksOverwritesAndFillsGaps) {
    HostAllocator allocator;
    MemoryStream* stream = openMemoryStream(allocator, nullptr);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(stream->fpWrite(stream, "abcdef", 6), 6);
    ASSERT_EQ(stream->fpSeek(stream, 2, 0), 0);
    ASSERT_EQ(stream->fpWrite(stream, "XY", 2), 2);
    ASSERT_EQ(stream->fpSeek(stream, -1, 1), 0);  // relative to the position
    EXPECT_EQ(stream->fpTell(stream), 3);
    ASSERT_EQ(stream->fpSeek(stream, 2, 2), 0);  // past the end
    ASSERT_EQ(stream->fpWrite(stream, "Z", 1), 1);
    ASSERT_EQ(stream->fpSeek(stream, 0, 0), 0);
    char text[16] = {};
    ASSERT_EQ(stream->fpRead(stream, text, sizeof text), 9);
    EXPECT_EQ(std::string(text, 9), std::string("abXYef\0\0Z", 9));

    // Bad requests fail and leave the position alone.
    EXPECT_NE(stream->fpSeek(stream, -1, 0), 0);
    EXPECT_NE(stream->fpSeek(stream, 0, 7), 0);
    EXPECT_NE(stream->fpSeek(stream, std::numeric_limits<std::int64_t>::max(), 2), 0);
    EXPECT_NE(stream->fpSeek(stream, std::numeric_limits<std::int64_t>::min(), 1), 0);
    EXPECT_EQ(stream->fpTell(stream), 9);
    EXPECT_EQ(stream->fpWrite(stream, "x", -1), -1);
    EXPECT_EQ(stream->fpRead(stream, text, -1), -1);
    EXPECT_EQ(stream->fpWrite(stream, nullptr, 4), -1);
    stream->fpRelease(stream);
    EXPECT_EQ(allocator.liveBlocks(), 0u);
}

TEST(MemoryStream, ReportsAllocationFailures) {
    HostAllocator allocator;
    allocator.failAt(1);
    EXPECT_EQ(openMemoryStream(allocator, nullptr), nullptr);

    MemoryStream* stream = openMemoryStream(allocator, nullptr);
    ASSERT_NE(stream, nullptr);
    allocator.failAt(1);  // the buffer for the first write
    EXPECT_EQ(stream->fpWrite(stream, "abc", 3), -1);
    EXPECT_EQ(stream->fpTell(stream), 0);
    EXPECT_EQ(stream->fpWrite(stream, "abc", 3), 3);
    stream->fpRelease(stream);
    EXPECT_EQ(allocator.liveBlocks(), 0u);
}

}  // namespace
}  // namespace nsfrex
