// Huffman decoding speed, measured in decoded bytes per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "bench_samples.h"
#include "nsf/database.h"
#include "nsf/huffman.h"
#include "nsf/values.h"

namespace {

// A mix like real attachments: mostly text and markup, with stretches of binary noise.
std::vector<std::uint8_t> mixedInput(std::size_t size) {
    std::mt19937 rng(42);
    const std::string words[] = {"the ", "Notes ", "database ", "<p>", "</p>\r\n", "attachment ", "2024-01-01 ",
                                 "error ", "ok ", "0x1F ", "    "};
    std::vector<std::uint8_t> v;
    v.reserve(size);
    while (v.size() < size) {
        if (rng() % 8 == 0) {
            for (int i = 0; i < 32; ++i) v.push_back(static_cast<std::uint8_t>(rng()));
        } else {
            const std::string& w = words[rng() % std::size(words)];
            v.insert(v.end(), w.begin(), w.end());
        }
    }
    v.resize(size);
    return v;
}

class MemoryStream final : public nsf::ObjectStream {
public:
    explicit MemoryStream(const std::vector<std::uint8_t>& data) : data_(data) {}
    std::uint64_t size() const override { return data_.size(); }
    nsf::Expected<std::size_t> read(std::span<std::uint8_t> out) override {
        const std::size_t n = std::min(out.size(), data_.size() - pos_);
        if (n != 0) std::memcpy(out.data(), data_.data() + pos_, n);
        pos_ += n;
        return n;
    }

private:
    const std::vector<std::uint8_t>& data_;
    std::size_t pos_ = 0;
};

// A stored payload and the size it decodes to.
struct Compressed {
    std::vector<std::uint8_t> payload;
    std::uint64_t size = 0;
};

// Decodes each payload through the stream in reads of `chunk`; false (with the error reported) on failure.
bool decodeAll(benchmark::State& state, const std::vector<Compressed>& inputs, std::span<std::uint8_t> chunk) {
    for (const Compressed& input : inputs) {
        auto stream = nsf::makeHuffmanStream(std::make_unique<MemoryStream>(input.payload), input.size);
        if (!stream) {
            state.SkipWithError(stream.error().message().c_str());
            return false;
        }
        for (;;) {
            auto n = (*stream)->read(chunk);
            if (!n) {
                state.SkipWithError(n.error().message().c_str());
                return false;
            }
            if (*n == 0) break;
            benchmark::DoNotOptimize(chunk.data());
        }
    }
    return true;
}

void runDecoding(benchmark::State& state, const std::vector<Compressed>& inputs) {
    std::uint64_t size = 0;
    for (const Compressed& input : inputs) size += input.size;
    std::vector<std::uint8_t> chunk(64 * 1024);
    for (auto _ : state)
        if (!decodeAll(state, inputs, chunk)) return;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_HuffmanStream(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    runDecoding(state, {{nsf::huffmanEncode(mixedInput(size)), size}});
}
BENCHMARK(BM_HuffmanStream)->Arg(4 * 1024)->Arg(1 << 20)->Arg(16 << 20);

// The Huffman-compressed attachments of the real samples, as stored: what databases really compress
// (a bitmap, a log, a database, source code, a spreadsheet), where the mix above is synthetic.
std::vector<Compressed> sampleAttachments() {
    std::vector<Compressed> found;
    nsfrex_bench::forEachSampleItem([&](nsf::Database& db, const nsf::Item& item) {
        if (item.name != "$FILE" || item.type != nsf::kTypeObject) return;
        auto object = nsf::decodeObject(item.value);
        if (!object || !object->file || object->file->compression() != nsf::Compression::Huffman) return;
        auto raw = db.openObject(object->descriptor.rrv);
        if (!raw) return;
        Compressed stored{{}, object->file->fileSize};
        std::vector<std::uint8_t> chunk(64 * 1024);
        for (auto n = (*raw)->read(chunk); n && *n != 0; n = (*raw)->read(chunk))
            stored.payload.insert(stored.payload.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*n));
        found.push_back(std::move(stored));
    });
    return found;
}

void BM_HuffmanSamples(benchmark::State& state) {
    const auto inputs = sampleAttachments();
    if (inputs.empty()) {
        state.SkipWithError("no Huffman-compressed attachments in the samples");
        return;
    }
    runDecoding(state, inputs);
    state.counters["attachments"] = static_cast<double>(inputs.size());
}
BENCHMARK(BM_HuffmanSamples);

void BM_HuffmanEncode(benchmark::State& state) {
    const auto input = mixedInput(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(nsf::huffmanEncode(input));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_HuffmanEncode)->Arg(1 << 20);

}  // namespace
