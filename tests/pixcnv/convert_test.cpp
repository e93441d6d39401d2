// The image library: the generator's pictures decode pixel-exact, and damaged input fails cleanly with
// the stream untouched. Every Notes bitmap of the real samples is converted and read back with Pillow
// end to end (test_notes_bitmaps.py).
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert.h"
#include "memory_service.h"
#include "memory_stream.h"
#include "notes_bitmap.h"
#include "notes_bitmaps.h"
#include "pixcnv/sample_bitmaps.h"

namespace nsfrex::pixcnv {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}

Bytes recordsOf(const samplegen::BitmapPicture& picture) {
    Bytes out;
    for (const Bytes& r : samplegen::notesBitmapRecords(picture)) out.insert(out.end(), r.begin(), r.end());
    return out;
}

// A host memory stream holding `bytes`, positioned at their end as the converter leaves it.
class Stream {
public:
    explicit Stream(const Bytes& bytes) : stream_(openMemoryStream(allocator_, nullptr)) {
        stream_->fpWrite(stream_, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    }
    ~Stream() { stream_->fpRelease(stream_); }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    void* handle() const { return stream_->hStream; }
    Bytes bytes() const { return Bytes(stream_->pbData, stream_->pbData + stream_->cbData); }
    std::int64_t position() const { return stream_->nPosition; }
    HostAllocator& allocator() { return allocator_; }

private:
    HostAllocator allocator_;
    MemoryStream* stream_;
};

std::int32_t convert(Stream& stream) {
    return TMPXconvert(nullptr, "NBMP", "BMP", stream.handle(), stream.handle(), 0, 0);
}

void expectPixelExact(const samplegen::BitmapPicture& picture, const Image& image) {
    ASSERT_EQ(image.width, picture.width);
    ASSERT_EQ(image.height, picture.height);
    for (unsigned y = 0; y < picture.height; ++y) {
        const auto row = image.row(y);
        for (unsigned x = 0; x < picture.width; ++x) {
            Rgb got;
            if (image.bitsPerPixel == 24) {
                got = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
            } else {
                const unsigned index = image.bitsPerPixel == 8 ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1;
                ASSERT_LT(index, image.palette.size()) << picture.name << " at " << x << "," << y;
                got = image.palette[index];
            }
            const samplegen::Rgb want = picture.colours.at(picture.pixel(x, y));
            ASSERT_EQ(got, (Rgb{want[0], want[1], want[2]})) << picture.name << " at " << x << "," << y;
        }
    }
}

// The pictures as the generator writes them, and as they come back out of the built sample database.
TEST(NotesBitmap, GeneratorPicturesDecodePixelExact) {
    const auto& pictures = samplegen::bitmapPictures();
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.name);
        const auto image = decodeNotesBitmap(recordsOf(picture));
        ASSERT_TRUE(image) << image.error().message;
        EXPECT_EQ(image->bitsPerPixel, picture.bitsPerPixel == 16 ? 24 : picture.bitsPerPixel);
        expectPixelExact(picture, *image);
    }

    const std::filesystem::path built =
        std::filesystem::path(NSFREX_BIN_DIR).parent_path() / "samples" / "nsfrex-sample.nsf";
    const auto stored = pixcnv_test::notesBitmapsIn(built);
    ASSERT_EQ(stored.size(), pictures.size()) << built;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(stored[i].where);
        const auto image = decodeNotesBitmap(stored[i].records);
        ASSERT_TRUE(image) << image.error().message;
        expectPixelExact(pictures[i], *image);
    }
}

// A stream whose BMP is shorter than the records keeps its length: zero bytes after the rows, counted
// by the file header. Different input and output streams leave the input alone.
TEST(NotesBitmap, OutputFillsTheStreamAndKeepsSeparateInput) {
    samplegen::BitmapPicture tiny = samplegen::bitmapPictures().front();
    tiny.width = 3;
    tiny.height = 2;
    tiny.patterns.assign(60, {});        // 1 440 bytes of pattern table
    tiny.transparent.assign(2000, {});  // and 6 000 of transparent colours, for 8 bytes of pixels
    tiny.bitsPerPixel = 8;
    const Bytes records = recordsOf(tiny);
    Stream shared(records);
    ASSERT_EQ(convert(shared), TMPX_OK);
    const Bytes bmp = shared.bytes();
    ASSERT_EQ(bmp.size(), records.size());
    EXPECT_EQ(le32(bmp, 2), bmp.size());
    const std::size_t end = le32(bmp, 10) + 2 * 4;
    EXPECT_TRUE(std::all_of(bmp.begin() + static_cast<std::ptrdiff_t>(end), bmp.end(), [](auto b) { return b == 0; }));

    Stream in(records), out({});
    ASSERT_EQ(TMPXconvert(nullptr, "nbmp", "bmp", in.handle(), out.handle(), 0, 0), TMPX_OK);
    EXPECT_EQ(in.bytes(), records);
    const Bytes alone = out.bytes();
    ASSERT_EQ(alone.size(), end);
    EXPECT_EQ(le32(alone, 2), end);
    EXPECT_TRUE(std::equal(alone.begin() + 6, alone.end(), bmp.begin() + 6));
}

// Each row breaks one rule in the records of a valid picture; the result names the fault and the stream
// keeps its bytes and position.
TEST(NotesBitmap, DamagedInputFailsAndLeavesTheStream) {
    const auto& pictures = samplegen::bitmapPictures();
    const Bytes mono = recordsOf(pictures[0]);     // 1 bit, one segment
    const Bytes indexed = recordsOf(pictures[3]);  // 8 bits, 3 segments, then colour and pattern tables
    const std::size_t firstSegment = 38, firstLine = firstSegment + 18;
    auto put16 = [](Bytes b, std::size_t at, std::uint16_t v) {
        b.at(at) = static_cast<std::uint8_t>(v);
        b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
        return b;
    };
    struct Row {
        const char* rule;
        Bytes input;
        std::int32_t status;
        const char* from = "NBMP";
        const char* to = "BMP";
    };
    Bytes pattern1Bit = mono;
    pattern1Bit.at(firstLine) = 0x40;  // the first code of the first line: a pattern
    Bytes unknownRecord = indexed;
    unknownRecord.at(firstSegment) = 0x85;
    const Row rows[] = {
        {"only NBMP is read", mono, TMPX_UNKNOWN_CONVERSION, "GIF"},
        {"a source must be named", mono, TMPX_UNKNOWN_CONVERSION, nullptr},
        {"only BMP is written", mono, TMPX_UNKNOWN_CONVERSION, "NBMP", "PNG"},
        {"empty input", {}, TMPX_BAD_BITMAP},
        {"records end early", Bytes(indexed.begin(), indexed.end() - 1), TMPX_BAD_BITMAP},
        {"first record not a header", Bytes(indexed.begin() + 38, indexed.end()), TMPX_BAD_BITMAP},
        {"a record that is no part of a bitmap", unknownRecord, TMPX_BAD_BITMAP},
        {"zero width", put16(mono, 22, 0), TMPX_BAD_BITMAP},
        {"4 bits per pixel", put16(mono, 26, 4), TMPX_BAD_BITMAP},
        {"more than 64 megapixels", put16(put16(mono, 22, 65535), 24, 65535), TMPX_TOO_LARGE},
        {"a line more than the segments hold", put16(mono, 24, 21), TMPX_BAD_BITMAP},
        {"a line fewer than the segments hold", put16(mono, 24, 19), TMPX_BAD_BITMAP},
        {"segment count differs", put16(indexed, 32, 4), TMPX_BAD_BITMAP},
        {"more colours than the table holds", put16(indexed, 34, 41), TMPX_BAD_BITMAP},
        {"more than 256 colours", put16(indexed, 34, 257), TMPX_BAD_BITMAP},
        {"more patterns than the table holds", put16(indexed, 36, 4), TMPX_BAD_BITMAP},
        {"lines wider than the header says", put16(mono, 22, 60), TMPX_BAD_BITMAP},
        {"lines narrower than the header says", put16(mono, 22, 80), TMPX_BAD_BITMAP},
        {"segment data beyond its record", put16(mono, firstSegment + 16, 0x7000), TMPX_BAD_BITMAP},
        {"segment data left after its lines", put16(mono, firstSegment + 14, 19), TMPX_BAD_BITMAP},
        {"pattern index beyond the table", put16(indexed, 36, 1), TMPX_BAD_BITMAP},
        {"patterns in a 1-bit bitmap", pattern1Bit, TMPX_UNSUPPORTED_BITMAP},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        Stream stream(row.input);
        EXPECT_EQ(TMPXconvert(nullptr, row.from, row.to, stream.handle(), stream.handle(), 0, 0), row.status);
        EXPECT_EQ(stream.bytes(), row.input);
        EXPECT_EQ(stream.position(), static_cast<std::int64_t>(row.input.size()));
    }
    EXPECT_EQ(TMPXconvert(nullptr, "NBMP", "BMP", nullptr, nullptr, 0, 0), TMPX_BAD_STREAM);

    // A stream that cannot grow for the BMP gets its records back.
    Stream full(mono);
    full.allocator().failAt(1);
    EXPECT_EQ(convert(full), TMPX_WRITE_FAILED);
    EXPECT_EQ(full.bytes(), mono);
}

}  // namespace
}  // namespace nsfrex::pixcnv
