#include "nsf/huffman.h"

#include "nsf/values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
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
    const ByteVec input = fibonacciSample();
    const ByteVec payload = huffmanEncode(input);
    for (std::size_t rawStep : {1u, 2u, 3u, 7u, 4096u}) {
        for (std::size_t readSize : {1u, 5u, 333u, 100000u}) {
            auto out = decodeStreaming(payload, input.size(), rawStep, readSize);
            ASSERT_TRUE(out.has_value()) << rawStep << "/" << readSize << ": " << out.error().message();
            EXPECT_EQ(*out, input);
        }
    }
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

// SHA-256 (FIPS 180-4), only to compare decoded attachments with their published hashes.
std::string sha256Hex(const ByteVec& data) {
    static constexpr std::array<std::uint32_t, 64> k{
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    std::array<std::uint32_t, 8> h{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    ByteVec msg = data;
    msg.push_back(0x80);
    while (msg.size() % 64 != 56) msg.push_back(0);
    const std::uint64_t bits = std::uint64_t{data.size()} * 8;
    for (int i = 7; i >= 0; --i) msg.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    auto rotr = [](std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
    for (std::size_t block = 0; block < msg.size(); block += 64) {
        std::array<std::uint32_t, 64> w{};
        for (int i = 0; i < 16; ++i)
            for (int j = 0; j < 4; ++j) w[i] = (w[i] << 8) | msg[block + 4 * static_cast<std::size_t>(i) + static_cast<std::size_t>(j)];
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        auto v = h;
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t s1 = rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25);
            const std::uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
            const std::uint32_t t1 = v[7] + s1 + ch + k[i] + w[i];
            const std::uint32_t s0 = rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22);
            const std::uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
            v = {t1 + s0 + maj, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
        }
        for (int i = 0; i < 8; ++i) h[i] += v[i];
    }
    std::string hex;
    char buf[9];
    for (std::uint32_t x : h) {
        std::snprintf(buf, sizeof buf, "%08x", x);
        hex += buf;
    }
    return hex;
}

TEST(HuffmanSamples, Sha256HelperIsRight) {
    EXPECT_EQ(sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex({'a', 'b', 'c'}), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// The published attachments of the sample databases, read through the file reader and decoded here,
// must have exactly the published size and SHA-256.
TEST(HuffmanSamples, RealAttachmentsMatchTheirSizeAndHash) {
    namespace fs = std::filesystem;
    const fs::path samples = fs::path(NSFREX_SHARED_DIR) / "samples";
    std::ifstream tsv(samples / "expected-attachments.tsv");
    ASSERT_TRUE(tsv) << "missing " << (samples / "expected-attachments.tsv");
    std::string line;
    std::getline(tsv, line);  // header
    int checked = 0, huffman = 0;
    while (std::getline(tsv, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
        if (f.size() < 5) continue;
        const std::string &name = f[0], &hash = f[2], &file = f[3];
        const std::uint64_t size = std::stoull(f[1]);
        SCOPED_TRACE(file + ": " + name);

        auto db = openDatabaseFile(samples / "nsf" / file);
        ASSERT_TRUE(db.has_value()) << db.error().message();
        auto notes = (*db)->notes();
        ASSERT_TRUE(notes.has_value()) << notes.error().message();
        bool found = false;
        for (const NoteEntry& entry : *notes) {
            if (entry.deleted || found) continue;
            auto note = (*db)->readNote(entry.id);
            if (!note) continue;
            for (const Item& item : note->items) {
                if (item.type != kTypeObject || item.name != "$FILE") continue;
                auto object = decodeObject(item.value);
                if (!object || !object->file || object->file->name != name) continue;
                found = true;
                const FileObject& fo = *object->file;
                EXPECT_EQ(fo.fileSize, size);
                auto stream = (*db)->openObject(object->descriptor.rrv, fo.compression().value(), fo.fileSize);
                ASSERT_TRUE(stream.has_value()) << stream.error().message();
                ByteVec content, chunk(3000);  // an odd chunk size crosses the decoder's buffers unevenly
                for (;;) {
                    auto n = (*stream)->read(chunk);
                    ASSERT_TRUE(n.has_value()) << n.error().message();
                    if (*n == 0) break;
                    content.insert(content.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*n));
                }
                EXPECT_EQ(content.size(), size);
                EXPECT_EQ(sha256Hex(content), hash);
                ++checked;
                if (fo.compression() == Compression::Huffman) ++huffman;
                break;
            }
        }
        EXPECT_TRUE(found) << "attachment not found";
    }
    EXPECT_GE(checked, 6);
    EXPECT_GE(huffman, 5);
}

}  // namespace
}  // namespace nsf
