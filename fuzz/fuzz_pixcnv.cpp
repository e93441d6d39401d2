// libFuzzer target: arbitrary bytes as the Notes bitmap records the image library converts, in a host
// memory stream shared by input and output as the rich-text converter passes it. A success must leave a
// BMP file whose header counts the whole stream and whose 8-bit pixels all have palette entries; a
// failure must leave the stream's bytes as they were.
//
// Seeds: with NSFREX_PIXCNV_SEEDS (a folder) and NSFREX_SHARED_DIR set, the Notes bitmaps of the sample
// databases are written into that folder before fuzzing starts (scripts/fuzz.sh does so).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "convert.h"
#include "memory_service.h"
#include "memory_stream.h"
#include "notes_bitmap.h"
#include "pixcnv/sample_bitmaps.h"

namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* seeds = std::getenv("NSFREX_PIXCNV_SEEDS");
    const char* shared = std::getenv("NSFREX_SHARED_DIR");
    if (seeds == nullptr || shared == nullptr) return 0;
    int count = 0;
    for (const auto& db : nsfrex::pixcnv_test::sampleDatabases(shared))
        for (const auto& bitmap : nsfrex::pixcnv_test::notesBitmapsIn(db)) {
            std::ofstream out(std::filesystem::path(seeds) / ("bitmap-" + std::to_string(count++)), std::ios::binary);
            out.write(reinterpret_cast<const char*>(bitmap.records.data()),
                      static_cast<std::streamsize>(bitmap.records.size()));
            if (!out) std::abort();
        }
    std::fprintf(stderr, "fuzz_pixcnv: %d Notes bitmaps of the samples as seeds\n", count);
    if (count == 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (std::size_t{1} << 24)) return 0;
    nsfrex::HostAllocator allocator;
    MemoryStream* stream = nsfrex::openMemoryStream(allocator, nullptr);
    if (stream == nullptr) std::abort();
    stream->fpWrite(stream, data, static_cast<std::int32_t>(size));

    const std::int32_t status = TMPXconvert(nullptr, "NBMP", "BMP", stream->hStream, stream->hStream, 0, 0);
    const std::uint8_t* out = stream->pbData;
    const auto cb = static_cast<std::uint64_t>(stream->cbData);
    if (status == TMPX_OK) {
        if (cb < 54 || out[0] != 'B' || out[1] != 'M' || le32(out + 2) != cb || cb < size) std::abort();
        if (std::uint64_t{le32(out + 10)} + le32(out + 34) > cb) std::abort();  // pixel offset + size of the rows
    } else if (cb != size || (size > 0 && std::memcmp(out, data, size) != 0)) {
        std::abort();
    }

    const auto image = nsfrex::pixcnv::decodeNotesBitmap(std::span(data, size));
    if (image.has_value() != (status == TMPX_OK)) std::abort();
    if (image && image->bitsPerPixel == 8)
        for (std::uint32_t y = 0; y < image->height; ++y)
            for (const std::uint8_t index : image->row(y).first(image->width))
                if (index >= image->palette.size()) std::abort();
    stream->fpRelease(stream);
    return 0;
}
