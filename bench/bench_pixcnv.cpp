// The image library's speed, in bytes of BMP output per second on one core: every Notes bitmap of the
// samples is converted again and again as the rich-text converter has it done, records written into a
// host memory stream and TMPXconvert called on it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "convert.h"
#include "memory_service.h"
#include "memory_stream.h"
#include "pixcnv/sample_bitmaps.h"

namespace {

const std::vector<nsfrex::pixcnv_test::SampleBitmap>& bitmaps() {
    static const auto all = [] {
        std::vector<nsfrex::pixcnv_test::SampleBitmap> out;
        for (const auto& db : nsfrex::pixcnv_test::sampleDatabases(NSFREX_SHARED_DIR))
            for (auto& bitmap : nsfrex::pixcnv_test::notesBitmapsIn(db)) out.push_back(std::move(bitmap));
        if (out.empty()) {
            std::fprintf(stderr, "bench_pixcnv: no Notes bitmaps in the samples\n");
            std::abort();
        }
        return out;
    }();
    return all;
}

void BM_ConvertSampleBitmaps(benchmark::State& state) {
    const auto& all = bitmaps();
    nsfrex::HostAllocator allocator;
    std::int64_t output = 0, failed = 0;
    for (auto _ : state) {
        for (const auto& bitmap : all) {
            MemoryStream* stream = nsfrex::openMemoryStream(allocator, nullptr);
            stream->fpWrite(stream, bitmap.records.data(), static_cast<std::int32_t>(bitmap.records.size()));
            if (TMPXconvert(nullptr, "NBMP", "BMP", stream->hStream, stream->hStream, 0, 0) == TMPX_OK)
                output += stream->cbData;
            else
                ++failed;
            stream->fpRelease(stream);
        }
    }
    state.SetBytesProcessed(output);
    state.counters["bitmaps"] = static_cast<double>(all.size());
    state.counters["failed"] = static_cast<double>(failed) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ConvertSampleBitmaps)->Unit(benchmark::kMillisecond);

}  // namespace
