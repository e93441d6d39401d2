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

Expected<ByteVec> decodeStreaming(ByteVec payload, std::uint64_t expected, std::size_t rawStep,
                                  std::size_t readSize) {
    auto stream = makeHuffmanStream(std::make_unique<TrickleStream>(std::move(payload), rawStep), expected);
    if (!stream) return std::unexpected(stream.error());
    EXPECT_EQ((*stream)->size(), expected);
    ByteVec out, chunk(readSize);
    for (;;) {
        auto n = (*stream)->read(chunk);
        if (!n) return std::unexpected(n.error());
        if (*n == 0) break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*n));
    }
    return out;
}

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

TEST(Huffman, DecodesAHandBuiltPayload) {
    // Root: entry 0 = 'A' (bit 1), entry 1 = node 1 (bit 0); node 1: 'B' (bit 1), end (bit 0).
    // "ABA" = 1 01 1 00 -> 1011 0000.
    const ByteVec payload{0xC4, 0x00, 0x00, 0x00, 0x08, 0x00, 'A', 0x00, 0xFF, 0xFF, 'B', 0x00, 0x00, 0x01, 0xB0};
    EXPECT_EQ(huffmanDecode(payload, 3).value(), (ByteVec{'A', 'B', 'A'}));
    EXPECT_EQ(huffmanDecode(payload).value(), (ByteVec{'A', 'B', 'A'}));  // size not known in advance

    ByteVec wrongSum = payload;
    wrongSum[0] = 0xC5;
    EXPECT_EQ(huffmanDecode(wrongSum, 3).error().kind(), ErrorKind::BadChecksum);
    EXPECT_EQ(huffmanDecode(payload, 4).error().kind(), ErrorKind::Corrupt);  // ends early
    EXPECT_EQ(huffmanDecode(payload, 2).error().kind(), ErrorKind::Corrupt);  // runs long
    ByteVec cut(payload.begin(), payload.end() - 1);
    EXPECT_EQ(huffmanDecode(cut, 3).error().kind(), ErrorKind::Truncated);
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

TEST(Huffman, StreamingHandlesEveryChunkBoundary) {
    // Long codes only, and short codes that decode several to a table lookup.
    for (const ByteVec& input : {fibonacciSample(), mixedSample(30'000, 4)}) {
        const ByteVec payload = huffmanEncode(input);
        for (std::size_t rawStep : {1u, 2u, 3u, 7u, 9u, 4096u}) {
            for (std::size_t readSize : {1u, 5u, 17u, 333u, 100000u}) {
                auto out = decodeStreaming(payload, input.size(), rawStep, readSize);
                ASSERT_TRUE(out.has_value()) << rawStep << "/" << readSize << ": " << out.error().message();
                EXPECT_EQ(*out, input);
            }
        }
    }
    const ByteVec input = fibonacciSample();
    const ByteVec payload = huffmanEncode(input);
    // A failing raw stream is reported, and the stream keeps reporting it.
    auto stream = makeHuffmanStream(std::make_unique<TrickleStream>(payload, 64, 100), input.size());
    ASSERT_TRUE(stream.has_value());
    ByteVec chunk(1 << 20);
    auto first = (*stream)->read(chunk);
    ASSERT_FALSE(first.has_value());
    EXPECT_EQ(first.error().kind(), ErrorKind::Io);
    EXPECT_EQ((*stream)->read(chunk).error().kind(), ErrorKind::Io);
    EXPECT_EQ(makeHuffmanStream(nullptr, 1).error().kind(), ErrorKind::Io);
}

ByteVec withTree(std::vector<std::int16_t> entries, ByteVec bits = {0x00}) {
    ByteVec v{0, 0, 0, 0};
    const auto size = static_cast<std::uint16_t>(entries.size() * 2);
    v.push_back(static_cast<std::uint8_t>(size));
    v.push_back(static_cast<std::uint8_t>(size >> 8));
    for (std::int16_t e : entries) {
        v.push_back(static_cast<std::uint8_t>(e));
        v.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(e) >> 8));
    }
    v.insert(v.end(), bits.begin(), bits.end());
    return v;
}

TEST(Huffman, RejectsMalformedTreesBeforeDecoding) {
    auto kind = [](const ByteVec& payload) {
        auto r = huffmanDecode(payload, 1);
        return r ? std::optional<ErrorKind>{} : r.error().kind();
    };
    EXPECT_EQ(kind(withTree({-1, 256, -1, 'a'})), ErrorKind::Corrupt);        // node 1 points back at itself
    EXPECT_EQ(kind(withTree({-1, -2, 256, -1, 'a', 'b'})), ErrorKind::Corrupt);  // node 1 shared (reached twice)
    EXPECT_EQ(kind(withTree({-5, 256})), ErrorKind::Corrupt);                  // node out of range
    EXPECT_EQ(kind(withTree({-32768, 256})), ErrorKind::Corrupt);
    EXPECT_EQ(kind(withTree({300, 256})), ErrorKind::Corrupt);                 // not a symbol
    EXPECT_EQ(kind(withTree({'a', 'b'})), ErrorKind::Corrupt);                 // no end code: would never stop
    EXPECT_EQ(kind(withTree({256})), ErrorKind::Corrupt);                      // root needs two entries
    ByteVec odd = withTree({256, 'a'});
    odd[4] = 3;
    EXPECT_EQ(kind(odd), ErrorKind::Corrupt);
    ByteVec longTree = withTree({256, 'a'});
    longTree[5] = 0x10;  // tree larger than the payload
    EXPECT_EQ(kind(longTree), ErrorKind::Truncated);
    EXPECT_EQ(kind(ByteVec{1, 2, 3}), ErrorKind::Truncated);
    // An unreachable node may hold anything.
    EXPECT_EQ(huffmanDecode(withTree({256, 'a', 999, -7}, {0x80}), 0).value(), ByteVec{});
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

}  // namespace
}  // namespace nsf
