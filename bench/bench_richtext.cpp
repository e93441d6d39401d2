// Rich-text conversion speed, measured in CD input bytes per second: the rich text of the samples is read
// through the engine once and converted again and again, as the module does for each mail body. A second
// benchmark measures the converter's peak heap use against its output size for the largest item.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "entry/context.h"
#include "nsf/database.h"
#include "richtext/driver.h"
#include "zapi.h"

namespace {

// Heap bytes in use and the peak since the last reset, counting operator new and the host allocator.
std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_peak{0};
std::atomic<bool> g_counting{false};

void countAlloc(void* p) {
    if (p == nullptr || !g_counting.load(std::memory_order_relaxed)) return;
    const std::int64_t now = g_live += static_cast<std::int64_t>(malloc_usable_size(p));
    std::int64_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}
void countFree(void* p) {
    if (p != nullptr && g_counting.load(std::memory_order_relaxed))
        g_live -= static_cast<std::int64_t>(malloc_usable_size(p));
}

struct RichText {
    std::string name;
    std::vector<std::uint8_t> value;  // type word, then the records
};

// Every rich-text item of the samples, the items of one name in a note concatenated.
const std::vector<RichText>& samples() {
    static const std::vector<RichText> items = [] {
        std::vector<RichText> out;
        for (const char* file : {"notedata_richtext.nsf", "notedata_big_rich.nsf", "apiug.nsf"}) {
            const std::string path = std::string(NSFREX_SHARED_DIR) + "/samples/nsf/" + file;
            auto db = nsf::openDatabaseFile(path);
            if (!db) {
                std::fprintf(stderr, "bench_richtext: %s: %s\n", path.c_str(), db.error().message().c_str());
                std::abort();
            }
            auto notes = (*db)->notes();
            if (!notes) std::abort();
            for (const nsf::NoteEntry& entry : *notes) {
                if (entry.deleted) continue;
                auto note = (*db)->readNote(entry.id);
                if (!note) continue;
                std::vector<RichText> mine;
                for (const nsf::Item& item : note->items) {
                    if (item.type != 0x0001) continue;
                    RichText* target = nullptr;
                    for (RichText& r : mine)
                        if (r.name == item.name) target = &r;
                    if (target == nullptr) target = &mine.emplace_back(RichText{item.name, {0x01, 0x00}});
                    target->value.insert(target->value.end(), item.value.begin(), item.value.end());
                }
                for (RichText& r : mine) out.push_back(std::move(r));
            }
        }
        return out;
    }();
    return items;
}

// The host allocator's entries, wrapped so that its blocks are counted too.
MemoryService g_hostMemory;
void* countedMalloc(MemoryService* pService, std::size_t cb) {
    void* p = g_hostMemory.fpMalloc(pService, cb);
    countAlloc(p);
    return p;
}
void countedFree(MemoryService* pService, void* pv) {
    countFree(pv);
    g_hostMemory.fpFree(pService, pv);
}
void* countedResize(MemoryService* pService, void* pv, std::size_t cb) {
    countFree(pv);
    void* p = g_hostMemory.fpResize(pService, pv, cb);
    countAlloc(p != nullptr ? p : pv);
    return p;
}
void* countedRealloc(MemoryService* pService, void* pv, std::size_t cb) {
    countFree(pv);
    void* p = g_hostMemory.fpRealloc(pService, pv, cb);
    countAlloc(p != nullptr ? p : pv);
    return p;
}

struct Converter {
    std::unique_ptr<nsfrex::HostServices> host;
    std::unique_ptr<NsfContext> context = std::make_unique<NsfContext>();
    std::vector<std::uint8_t> buffer;

    Converter() {
        auto created = nsfrex::HostServices::create({});
        if (!created) std::abort();
        host = std::move(*created);
        context->pZAPI = host->zapi();
        MemoryService& memory = host->zapi()->memoryService;
        g_hostMemory = memory;
        memory.fpMalloc = countedMalloc;
        memory.fpFree = countedFree;
        if (memory.fpResize != nullptr) memory.fpResize = countedResize;
        if (memory.fpRealloc != nullptr) memory.fpRealloc = countedRealloc;
    }
    // Converts one value the way the driver does: in place, growing once when the result is larger.
    std::uint32_t run(const RichText& rt) {
        buffer.assign(rt.value.begin(), rt.value.end());
        const auto cb = static_cast<std::uint32_t>(buffer.size());
        std::uint32_t cbOut = 0;
        if (nsfRTConverter(context.get(), host->zapi(), "1F6", 0, buffer.data(), cb, cb, &cbOut) != 0 &&
            cbOut > cb) {
            buffer.resize(cbOut);
            if (nsfRTConverter(context.get(), host->zapi(), "1F6", 0, buffer.data(), cb, cbOut, &cbOut) != 0)
                std::abort();
        }
        return cbOut;
    }
};

// Argument 1: the host offers no image library, so every Notes bitmap stays as it is. With argument 0 the
// module asks the host for it once per bitmap: when the image library is built beside the benchmark, every
// Notes bitmap is converted to BMP; when it is not, the host answers from its record of the first failed
// load.
void BM_ConvertSamples(benchmark::State& state) {
    const auto& items = samples();
    Converter converter;
    if (state.range(0) == 1) converter.host->zapi()->fpLoadLibrary = nullptr;
    std::int64_t bytesIn = 0;
    for (auto _ : state) {
        for (const RichText& rt : items) {
            benchmark::DoNotOptimize(converter.run(rt));
            bytesIn += static_cast<std::int64_t>(rt.value.size() - 2);
        }
    }
    state.SetBytesProcessed(bytesIn);
    state.counters["items"] = static_cast<double>(items.size());
}
BENCHMARK(BM_ConvertSamples)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The largest item: peak heap bytes of one conversion (converter strings and the host's blocks) against
// the size of its output and input.
void BM_PeakMemoryLargestItem(benchmark::State& state) {
    const auto& items = samples();
    const RichText* largest = &items.front();
    for (const RichText& rt : items)
        if (rt.value.size() > largest->value.size()) largest = &rt;
    Converter converter;
    converter.buffer.reserve(16u << 20);
    std::uint32_t cbOut = 0;
    std::int64_t peak = 0;
    for (auto _ : state) {
        g_live = 0;
        g_peak = 0;
        g_counting = true;
        cbOut = converter.run(*largest);
        g_counting = false;
        peak = std::max<std::int64_t>(peak, g_peak.load());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(largest->value.size() - 2));
    state.counters["in_bytes"] = static_cast<double>(largest->value.size() - 2);
    state.counters["out_bytes"] = static_cast<double>(cbOut);
    state.counters["peak_heap_bytes"] = static_cast<double>(peak);
    state.counters["peak_per_out_byte"] = cbOut ? static_cast<double>(peak) / cbOut : 0.0;
}
BENCHMARK(BM_PeakMemoryLargestItem)->Unit(benchmark::kMillisecond);

// Every item once per iteration: the highest ratio of peak heap bytes to output bytes among them, and the
// sizes of the item that has it (small items carry the converter's fixed costs).
constexpr std::uint32_t kLargeOutput = 4096;
void BM_PeakMemoryEveryItem(benchmark::State& state) {
    const auto& items = samples();
    Converter converter;
    converter.buffer.reserve(16u << 20);
    double worst = 0, worstLarge = 0;
    std::int64_t worstPeak = 0, sumPeak = 0, sumOut = 0;
    std::uint32_t worstOut = 0;
    for (auto _ : state) {
        sumPeak = sumOut = 0;
        for (const RichText& rt : items) {
            g_live = 0;
            g_peak = 0;
            g_counting = true;
            const std::uint32_t cbOut = converter.run(rt);
            g_counting = false;
            sumPeak += g_peak.load();
            sumOut += cbOut;
            const double ratio = cbOut ? static_cast<double>(g_peak.load()) / cbOut : 0.0;
            if (ratio > worst) {
                worst = ratio;
                worstPeak = g_peak.load();
                worstOut = cbOut;
            }
            if (cbOut >= kLargeOutput) worstLarge = std::max(worstLarge, ratio);
        }
    }
    state.counters["worst_peak_per_out_byte"] = worst;
    state.counters["worst_peak_heap_bytes"] = static_cast<double>(worstPeak);
    state.counters["worst_out_bytes"] = static_cast<double>(worstOut);
    state.counters["worst_peak_per_out_byte_4k"] = worstLarge;  // among outputs of 4 KB and more
    state.counters["sum_peak_per_sum_out"] = sumOut ? static_cast<double>(sumPeak) / static_cast<double>(sumOut) : 0.0;
}
BENCHMARK(BM_PeakMemoryEveryItem)->Unit(benchmark::kMillisecond);

}  // namespace

// Heap accounting for the peak-memory benchmark. These replace the library's operators, so malloc and free
// do belong together here.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t cb) {
    void* p = std::malloc(cb == 0 ? 1 : cb);
    if (p == nullptr) throw std::bad_alloc();
    countAlloc(p);
    return p;
}
void operator delete(void* p) noexcept {
    countFree(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    countFree(p);
    std::free(p);
}
