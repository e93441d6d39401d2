#include "nsf/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace nsf {
namespace {

using ByteVec = std::vector<std::uint8_t>;

// Hands out its bytes at most `step` at a time, to exercise every chunk boundary.
class TrickleStream final : public ObjectStream {
public:
    TrickleStream(ByteVec data, std::size_t step, std::size_t failAt = SIZE_MAX)
        : data_(std::move(data)), step_(step), failAt_(failAt) {}
    std::uint64_t size() const override { return data_.size(); }
    Expected<std::size_t> read(std::span<std::uint8_t> out) override {
        if (pos_ >= failAt_) return fail(ErrorKind::Io, "test stream", "read failed");
        const std::size_t n = std::min({out.size(), step_, data_.size() - pos_});
        if (n != 0) std::memcpy(out.data(), data_.data() + pos_, n);
        pos_ += n;
        return n;
    }

private:
    ByteVec data_;
    std::size_t step_;
    std::size_t failAt_;
    std::size_t pos_ = 0;
};

ByteVec mixedSample(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    ByteVec v;
    const std::string words[] = {"Notes ", "database ", "attachment ", "\r\n", "compression ", "0123 "};
    while (v.size() < size) {
        if (rng() % 4 == 0) {
            for (int i = 0; i < 16; ++i) v.push_back(static_cast<std::uint8_t>(rng()));
        } else {
            const std::string& w = words[rng() % 6];
            v.insert(v.end(), w.begin(), w.end());
        }
    }
    v.resize(size);
    return v;
}

// Counts 1, 1, 2, 3, 5, ... give the deepest possible tree: codes far longer than one table lookup.
ByteVec fibonacciSample() {
    ByteVec v;
    std::uint64_t a = 1, b = 1;
    for (int s = 0; s < 22; ++s) {
        v.insert(v.end(), a, static_cast<std::uint8_t>('a' + s));
        b = std::exchange(a, a + b);
    }
    return v;
}

TEST(Huffman, RoundTripsThroughTheEncoder) {
    std::vector<ByteVec> inputs{{}, {'x'}, ByteVec(1000, 0), fibonacciSample(), mixedSample(200'000, 1)};
    ByteVec all(256);
    std::iota(all.begin(), all.end(), 0);
    inputs.push_back(all);
    std::mt19937 rng(7);
    ByteVec random(5000);
    for (auto& b : random) b = static_cast<std::uint8_t>(rng());
    inputs.push_back(random);

    for (const ByteVec& input : inputs) {
        const ByteVec payload = huffmanEncode(input);
        auto decoded = huffmanDecode(payload, input.size());
        ASSERT_TRUE(decoded.has_value()) << input.size() << ": " << decoded.error().message();
        EXPECT_EQ(*decoded, input);
        EXPECT_EQ(huffmanDecode(payload).value(), input);
    }
    // Skewed text must actually shrink.
    EXPECT_LT(huffmanEncode(mixedSample(200'000, 2)).size(), 170'000u);
}

TEST(Huffman, DamagedPayloadsFailCleanly) {
    const ByteVec input = mixedSample(20'000, 3);
    const ByteVec payload = huffmanEncode(input);
    // Every truncation fails (and never reads past the end).
    for (std::size_t n = 0; n < payload.size(); n += (n < 2000 ? 1 : 97)) {
        ByteVec cut(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(huffmanDecode(cut, input.size()).has_value()) << n;
    }
    // Random damage either decodes to something or fails; the checks catch nearly all of it.
    std::mt19937 rng(11);
    int accepted = 0;
    for (int round = 0; round < 300; ++round) {
        ByteVec damaged = payload;
        for (int i = 0; i < 3; ++i) damaged[rng() % damaged.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        auto r = huffmanDecode(damaged, input.size());
        if (r) {
            ++accepted;
            EXPECT_EQ(r->size(), input.size());
        }
    }
    EXPECT_LT(accepted, 5);
}

// The payload arrives and the output leaves in pieces of every awkward size: each piece boundary falls
// inside codes, inside a group of table lookups and inside the eight-byte input loads.
TEST(Huffman, StreamDecodesAcrossPieceBoundaries) {
    struct Row { const char* name; std::size_t inputStep, outputStep, failAt = SIZE_MAX; };
    const Row rows[] = {{"byte by byte in", 1, 65536}, {"seven bytes in", 7, 65536}, {"nine bytes in", 9, 4093},
                        {"one byte out", 65536, 1},    {"three bytes out", 4097, 3}, {"large pieces", 65536, 65536},
                        {"read error midway", 1000, 65536, 30'000}};
    ByteVec input = mixedSample(100'000, 4);
    const ByteVec deep = fibonacciSample();  // codes longer than a lookup
    input.insert(input.end(), deep.begin(), deep.begin() + 20'000);
    const ByteVec payload = huffmanEncode(input);
    for (const Row& row : rows) {
        auto stream = makeHuffmanStream(std::make_unique<TrickleStream>(payload, row.inputStep, row.failAt), input.size()).value();
        ByteVec out, piece(row.outputStep);
        Expected<std::size_t> n = 0;
        while ((n = stream->read(piece)) && *n != 0) out.insert(out.end(), piece.begin(), piece.begin() + *n);
        if (row.failAt < payload.size())
            EXPECT_TRUE(!n && n.error().kind() == ErrorKind::Io) << row.name;
        else
            EXPECT_TRUE(n.has_value() && out == input) << row.name;
    }
}

}  // namespace
}  // namespace nsf
