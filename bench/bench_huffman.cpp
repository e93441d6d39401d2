// Huffman decoding speed, measured in decoded bytes per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "nsf/huffman.h"

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

void BM_HuffmanStream(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto input = mixedInput(size);
    const auto payload = nsf::huffmanEncode(input);
    std::vector<std::uint8_t> chunk(64 * 1024);
    for (auto _ : state) {
        auto stream = nsf::makeHuffmanStream(std::make_unique<MemoryStream>(payload), size);
        if (!stream) {
            state.SkipWithError(stream.error().message().c_str());
            return;
        }
        for (;;) {
            auto n = (*stream)->read(chunk);
            if (!n) {
                state.SkipWithError(n.error().message().c_str());
                return;
            }
            if (*n == 0) break;
            benchmark::DoNotOptimize(chunk.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_HuffmanStream)->Arg(4 * 1024)->Arg(1 << 20)->Arg(16 << 20);

void BM_HuffmanEncode(benchmark::State& state) {
    const auto input = mixedInput(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(nsf::huffmanEncode(input));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_HuffmanEncode)->Arg(1 << 20);

}  // namespace
