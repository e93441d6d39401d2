// LMBCS decoding: every text value and every rich-text run of the samples, decoded to UTF-8 as the
// runtime decodes item text. Reported as bytes of LMBCS per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_samples.h"
#include "nsf/database.h"
#include "nsf/lmbcs.h"
#include "nsf/values.h"

namespace {

// The text of each text run (a word-header record 0x85 after its 8-byte fixed part) of a composite value.
void collectTextRuns(const std::vector<std::uint8_t>& value, std::vector<std::vector<std::uint8_t>>& texts) {
    std::size_t pos = 0;
    while (value.size() - pos >= 2) {
        const std::uint8_t sig = value[pos], second = value[pos + 1];
        std::size_t length = second;
        if (second == 0xFF || second == 0) {
            const std::size_t header = second == 0xFF ? 4 : 6;
            if (value.size() - pos < header) return;
            length = value[pos + 2] | (value[pos + 3] << 8);
            if (second == 0) length |= static_cast<std::size_t>(value[pos + 4] | (value[pos + 5] << 8)) << 16;
            if (length < header) return;
        }
        if (length < 2 || length > value.size() - pos) return;
        if (sig == 0x85 && second == 0xFF && length > 8)
            texts.emplace_back(value.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                               value.begin() + static_cast<std::ptrdiff_t>(pos + length));
        pos += length + (length & 1);
        if (pos > value.size()) return;
    }
}

std::vector<std::vector<std::uint8_t>> sampleTexts() {
    std::vector<std::vector<std::uint8_t>> texts;
    nsfrex_bench::forEachSampleItem([&](nsf::Database&, const nsf::Item& item) {
        if (item.type == nsf::kTypeText) texts.push_back(item.value);
        if (item.type == nsf::kTypeComposite) collectTextRuns(item.value, texts);
    });
    return texts;
}

void BM_LmbcsSamples(benchmark::State& state) {
    const auto texts = sampleTexts();
    if (texts.empty()) {
        state.SkipWithError("sample databases not found");
        return;
    }
    std::uint64_t bytes = 0;
    for (const auto& t : texts) bytes += t.size();
    for (auto _ : state)
        for (const auto& t : texts) benchmark::DoNotOptimize(nsf::lmbcsTextToUtf8(t));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
    state.counters["texts"] = static_cast<double>(texts.size());
}
BENCHMARK(BM_LmbcsSamples)->Unit(benchmark::kMillisecond);

}  // namespace
