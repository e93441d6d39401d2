#include "cx_compress.h"

#include <algorithm>
#include <array>
#include <bit>

namespace nsf::detail {
namespace {

class LsbBitWriter {
public:
    void bit(unsigned b) {
        if (used_ % 8 == 0) out_.push_back(0);
        if (b) out_.back() |= static_cast<std::uint8_t>(1u << (used_ % 8));
        ++used_;
    }
    // `count` bits of `value`, lowest first.
    void bits(std::uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) bit((value >> i) & 1u);
    }
    // G >= 1 as z zero bits, a one bit, then z+1 bits of G - (2^(z+1) - 1).
    void gamma(std::uint32_t g) {
        const unsigned width = static_cast<unsigned>(std::bit_width(g + 1)) - 1;  // z + 1
        for (unsigned i = 1; i < width; ++i) bit(0);
        bit(1);
        bits(g - ((1u << width) - 1), width);
    }
    std::vector<std::uint8_t> take() { return std::move(out_); }

private:
    std::vector<std::uint8_t> out_;
    std::uint64_t used_ = 0;
};

constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 257;     // 258 is the end marker
constexpr std::size_t kWindow = 1u << 16;  // how far back matches are looked for
constexpr unsigned kHashBits = 14;
constexpr unsigned kChainDepth = 32;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

std::uint32_t hash3(const std::uint8_t* p) noexcept {
    const std::uint32_t v = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

std::vector<std::uint8_t> cxCompress(Bytes data) {
    LsbBitWriter out;
    out.bits(4, 3);  // stream header
    std::vector<std::uint32_t> head(std::size_t{1} << kHashBits, kNone);
    std::vector<std::uint32_t> prev(data.size(), kNone);
    auto insert = [&](std::size_t at) {
        if (at + kMinMatch > data.size()) return;
        const std::uint32_t h = hash3(data.data() + at);
        prev[at] = head[h];
        head[h] = static_cast<std::uint32_t>(at);
    };

    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t bestLength = 0, bestDistance = 0;
        if (pos + kMinMatch <= data.size()) {
            const std::size_t limit = std::min(kMaxMatch, data.size() - pos);
            std::uint32_t candidate = head[hash3(data.data() + pos)];
            for (unsigned depth = 0; candidate != kNone && depth < kChainDepth; ++depth) {
                if (pos - candidate > kWindow) break;
                std::size_t n = 0;
                while (n < limit && data[candidate + n] == data[pos + n]) ++n;
                if (n > bestLength) {
                    bestLength = n;
                    bestDistance = pos - candidate;
                    if (n == limit) break;
                }
                candidate = prev[candidate];
            }
        }
        if (bestLength >= kMinMatch) {
            out.bit(1);
            out.bit(0);
            out.gamma(static_cast<std::uint32_t>(bestLength - 2));
            const std::uint32_t high = static_cast<std::uint32_t>(bestDistance >> 8);
            if (high == 0) {
                out.bit(1);
            } else {
                out.bit(0);
                out.gamma(high);
            }
            out.bits(static_cast<std::uint32_t>(bestDistance & 0xFF), 8);
            for (std::size_t i = 0; i < bestLength; ++i) insert(pos + i);
            pos += bestLength;
        } else {
            out.bit(0);
            out.bits(data[pos], 8);
            insert(pos);
            ++pos;
        }
    }
    out.bit(1);  // end marker: a match of length 258
    out.bit(0);
    out.gamma(256);
    return out.take();
}

}  // namespace nsf::detail
