// Engine throughput: open a database, enumerate its notes, read every note and decode every item
// value. Reported as bytes of database file per second (SetBytesProcessed).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_samples.h"
#include "nsf/database.h"
#include "nsf/values.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> samples() { return nsfrex_bench::sampleDatabases(); }

// Reads every object's stored bytes (undecoded) through the engine's streams.
std::uint64_t readObjects(nsf::Database& db) {
    auto ids = db.objectIds();
    if (!ids) return 0;
    std::vector<std::uint8_t> buffer(1u << 16);
    std::uint64_t read = 0;
    for (const std::uint32_t id : *ids) {
        auto stream = db.openObject(id, nsf::Compression::None, 0);
        if (!stream) continue;
        for (;;) {
            auto n = (*stream)->read(buffer);
            if (!n || *n == 0) break;
            read += *n;
        }
    }
    return read;
}

// Returns the number of values decoded.
std::size_t readEverything(const fs::path& file, bool objects = false) {
    auto db = nsf::openDatabaseFile(file);
    if (!db) return 0;
    auto notes = (*db)->notes();
    if (!notes) return 0;
    std::size_t decoded = 0;
    for (const nsf::NoteEntry& n : *notes) {
        if (n.deleted) continue;
        auto note = (*db)->readNote(n.id);
        if (!note) continue;
        for (const nsf::Item& item : note->items) {
            auto v = nsf::decodeValue(item.type, item.value);
            benchmark::DoNotOptimize(v);
            ++decoded;
        }
    }
    if (objects) benchmark::DoNotOptimize(readObjects(**db));
    return decoded;
}

void runOn(benchmark::State& state, const std::vector<fs::path>& files, bool objects = false) {
    std::uint64_t bytes = 0;
    for (const auto& f : files) bytes += fs::file_size(f);
    std::size_t values = 0;
    for (auto _ : state)
        for (const auto& f : files) values += readEverything(f, objects);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
    state.counters["values"] = benchmark::Counter(static_cast<double>(values), benchmark::Counter::kIsRate);
}

void BM_AllSamples(benchmark::State& state) {
    const auto files = samples();
    if (files.empty()) {
        state.SkipWithError("sample databases not found");
        return;
    }
    runOn(state, files);
}
BENCHMARK(BM_AllSamples)->Unit(benchmark::kMillisecond);

void BM_LargestSample(benchmark::State& state) {
    auto files = samples();
    if (files.empty()) {
        state.SkipWithError("sample databases not found");
        return;
    }
    auto largest = *std::max_element(files.begin(), files.end(),
                                     [](const fs::path& a, const fs::path& b) { return fs::file_size(a) < fs::file_size(b); });
    state.SetLabel(largest.filename().string());
    runOn(state, {largest});
}
BENCHMARK(BM_LargestSample)->Unit(benchmark::kMillisecond);

// A database of any size, named by NSFREX_BENCH_DATABASE (for example one of nsfrex_mkmail's), to
// compare with reading the file itself (`cat FILE > /dev/null`) from the page cache: every note and
// value, and with the argument 1 also every object's stored bytes.
void BM_Database(benchmark::State& state) {
    const char* file = std::getenv("NSFREX_BENCH_DATABASE");
    if (file == nullptr || !fs::is_regular_file(file)) {
        state.SkipWithError("NSFREX_BENCH_DATABASE does not name a database");
        return;
    }
    state.SetLabel(fs::path(file).filename().string());
    runOn(state, {fs::path(file)}, state.range(0) != 0);
}
BENCHMARK(BM_Database)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
