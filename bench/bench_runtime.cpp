// Cost of the Notes runtime over the engine: every note of every sample read once through the API the
// module uses (NSFSearch, NSFNoteOpenExt, every item with NSFItemInfo/NSFItemInfoNext and OSLockBlock,
// NSFNoteClose) and once through the engine directly (notes(), readNote, every item's value).
// BM_RuntimeOverhead runs both in each iteration and reports runtime/engine as the counter "ratio".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "notesapi/notes.h"
#include "bench_samples.h"
#include "nsf/database.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> samples() { return nsfrex_bench::sampleDatabases(); }

// Both roads touch the first and last byte of every value, so neither can skip the copy.
std::uint64_t touch(const std::uint8_t* p, std::size_t n) { return n == 0 ? 0 : p[0] + p[n - 1] + n; }

std::uint64_t readWithEngine(const fs::path& file) {
    auto db = nsf::openDatabaseFile(file);
    if (!db) return 0;
    auto notes = (*db)->notes();
    if (!notes) return 0;
    std::uint64_t sum = 0;
    for (const nsf::NoteEntry& n : *notes) {
        if (n.deleted || n.noteClass == 0) continue;
        auto note = (*db)->readNote(n.id);
        if (!note) continue;
        for (const nsf::Item& item : note->items) sum += touch(item.value.data(), item.value.size());
    }
    return sum;
}

STATUS collectId(void* param, SEARCH_MATCH* match, ITEM_TABLE*) {
    SEARCH_MATCH m;
    std::memcpy(&m, match, sizeof m);  // may be unaligned
    static_cast<std::vector<NOTEID>*>(param)->push_back(m.ID.NoteID);
    return NOERROR;
}

std::uint64_t readWithRuntime(const fs::path& file) {
    DBHANDLE db = NULLHANDLE;
    if (NSFDbOpen(file.c_str(), &db) != NOERROR) return 0;
    std::vector<NOTEID> ids;
    NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_ALL, nullptr, collectId, &ids, nullptr);
    std::uint64_t sum = 0;
    for (NOTEID id : ids) {
        NOTEHANDLE note = NULLHANDLE;
        if (NSFNoteOpenExt(db, id, 0, &note) != NOERROR) continue;
        BLOCKID item{}, value{};
        WORD type = 0;
        DWORD length = 0;
        for (STATUS s = NSFItemInfo(note, nullptr, 0, &item, &type, &value, &length); s == NOERROR;
             s = NSFItemInfoNext(note, item, nullptr, 0, &item, &type, &value, &length)) {
            const auto* p = OSLockBlock(const std::uint8_t, value);
            if (p != nullptr && length >= 2) sum += touch(p + 2, length - 2);  // past the type word
            OSUnlockBlock(value);
        }
        NSFNoteClose(note);
    }
    NSFDbClose(db);
    return sum;
}

class Runtime {
public:
    Runtime() {
        char name[] = "nsfrex_bench";
        char* argv[] = {name, nullptr};
        ok_ = NotesInitExtended(1, argv) == NOERROR;
    }
    ~Runtime() {
        if (ok_) NotesTerm();
    }
    bool ok() const noexcept { return ok_; }

private:
    bool ok_ = false;
};

template <typename Read>
void runAll(benchmark::State& state, Read read) {
    const auto files = samples();
    Runtime runtime;
    if (files.empty() || !runtime.ok()) {
        state.SkipWithError("sample databases not found or runtime not started");
        return;
    }
    std::uint64_t sum = 0;
    for (auto _ : state)
        for (const auto& f : files) sum += read(f);
    benchmark::DoNotOptimize(sum);
}

void BM_EngineReadAll(benchmark::State& state) { runAll(state, readWithEngine); }
BENCHMARK(BM_EngineReadAll)->Unit(benchmark::kMillisecond);

void BM_RuntimeReadAll(benchmark::State& state) { runAll(state, readWithRuntime); }
BENCHMARK(BM_RuntimeReadAll)->Unit(benchmark::kMillisecond);

// Both roads in the same iteration, so that load on the machine affects them alike.
void BM_RuntimeOverhead(benchmark::State& state) {
    const auto files = samples();
    Runtime runtime;
    if (files.empty() || !runtime.ok()) {
        state.SkipWithError("sample databases not found or runtime not started");
        return;
    }
    using Clock = std::chrono::steady_clock;
    Clock::duration engine{}, api{};
    std::uint64_t engineSum = 0, apiSum = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (const auto& f : files) engineSum += readWithEngine(f);
        const auto t1 = Clock::now();
        for (const auto& f : files) apiSum += readWithRuntime(f);
        const auto t2 = Clock::now();
        engine += t1 - t0;
        api += t2 - t1;
    }
    if (engineSum != apiSum) state.SkipWithError("the two roads read different bytes");
    const double engineMs = std::chrono::duration<double, std::milli>(engine).count();
    const double apiMs = std::chrono::duration<double, std::milli>(api).count();
    const double n = static_cast<double>(state.iterations());
    state.counters["engine_ms"] = engineMs / n;
    state.counters["runtime_ms"] = apiMs / n;
    state.counters["ratio"] = engineMs > 0 ? apiMs / engineMs : 0;
}
BENCHMARK(BM_RuntimeOverhead)->Unit(benchmark::kMillisecond);

}  // namespace
