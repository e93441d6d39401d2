#include "cx_decompress.h"

#include <string>

namespace nsf::detail {
namespace {

// Least-significant-bit-first reader over a byte span.
class LsbBitReader {
public:
    explicit LsbBitReader(Bytes data) noexcept : data_(data) {}

    bool bit(std::uint32_t& out) noexcept {
        if (byte_ >= data_.size()) return false;
        out = (data_[byte_] >> bit_) & 1u;
        if (++bit_ == 8) {
            bit_ = 0;
            ++byte_;
        }
        return true;
    }

    // `count` bits (at most 24), the first read landing in bit 0.
    bool bits(unsigned count, std::uint32_t& out) noexcept {
        std::uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i) {
            std::uint32_t b = 0;
            if (!bit(b)) return false;
            value |= b << i;
        }
        out = value;
        return true;
    }

    void skipBits(unsigned count) noexcept {
        std::uint64_t total = std::uint64_t{byte_} * 8 + bit_ + count;
        byte_ = static_cast<std::size_t>(total / 8);
        bit_ = static_cast<unsigned>(total % 8);
    }

    std::size_t byteOffset() const noexcept { return byte_; }

private:
    Bytes data_;
    std::size_t byte_ = 0;
    unsigned bit_ = 0;
};

// The longest run of zero bits a gamma number may start with; 16 already allows values above any
// length or distance the format can express.
constexpr unsigned kMaxGammaZeros = 16;

enum class Step { Ok, Truncated, Corrupt };

Step gamma(LsbBitReader& in, std::uint32_t& out) noexcept {
    unsigned zeros = 0;
    for (;;) {
        std::uint32_t b = 0;
        if (!in.bit(b)) return Step::Truncated;
        if (b) break;
        if (++zeros > kMaxGammaZeros) return Step::Corrupt;
    }
    std::uint32_t v = 0;
    if (!in.bits(zeros + 1, v)) return Step::Truncated;
    out = ((1u << (zeros + 1)) - 1) + v;
    return Step::Ok;
}

}  // namespace

Expected<std::vector<std::uint8_t>> cxDecompress(Bytes compressed, std::uint64_t expectedSize,
                                                 std::string_view structure, std::uint64_t fileOffset) {
    const std::string name(structure);
    if (compressed.empty()) return fail(ErrorKind::Truncated, name, "empty compressed data", fileOffset);
    if ((compressed[0] & 0x07) <= 3)
        return fail(ErrorKind::Corrupt, name, "bad CX stream header", fileOffset);

    std::vector<std::uint8_t> out;
    // Reserve no more than the input could plausibly give at once; the vector grows on demand.
    out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(expectedSize, compressed.size() * 8ull)));
    LsbBitReader in(compressed);
    in.skipBits(3);
    auto where = [&] { return fileOffset + in.byteOffset(); };
    auto truncated = [&] { return fail(ErrorKind::Truncated, name, "CX stream ends before its end marker", where()); };
    auto corrupt = [&](const char* why) { return fail(ErrorKind::Corrupt, name, why, where()); };

    // Every token consumes at least 2 bits, so this bound is never reached by a stream that ends.
    for (;;) {
        std::uint32_t flag = 0;
        if (!in.bit(flag)) return truncated();
        if (flag == 0) {
            std::uint32_t literal = 0;
            if (!in.bits(8, literal)) return truncated();
            if (out.size() >= expectedSize) return corrupt("CX output longer than announced");
            out.push_back(static_cast<std::uint8_t>(literal));
            continue;
        }
        std::uint32_t shortMatch = 0;
        if (!in.bit(shortMatch)) return truncated();
        std::uint32_t length = 2;
        if (shortMatch == 0) {
            std::uint32_t g = 0;
            switch (gamma(in, g)) {
            case Step::Ok: break;
            case Step::Truncated: return truncated();
            case Step::Corrupt: return corrupt("CX length code too long");
            }
            length = 2 + g;
        }
        if (length >= 258) break;  // end marker
        std::uint32_t high = 0;
        if (length > 2) {
            std::uint32_t nearFlag = 0;
            if (!in.bit(nearFlag)) return truncated();
            if (nearFlag == 0) {
                switch (gamma(in, high)) {
                case Step::Ok: break;
                case Step::Truncated: return truncated();
                case Step::Corrupt: return corrupt("CX distance code too long");
                }
            }
        }
        std::uint32_t low = 0;
        if (!in.bits(8, low)) return truncated();
        const std::uint64_t distance = std::uint64_t{high} * 256 + low;
        if (distance == 0 || distance > out.size()) return corrupt("CX match reaches before the start");
        if (length > expectedSize - out.size()) return corrupt("CX output longer than announced");
        std::size_t from = out.size() - static_cast<std::size_t>(distance);
        for (std::uint32_t i = 0; i < length; ++i) out.push_back(out[from + i]);
    }
    if (out.size() != expectedSize)
        return fail(ErrorKind::Corrupt, name,
                    "CX output has " + std::to_string(out.size()) + " bytes, header says " +
                        std::to_string(expectedSize),
                    fileOffset);
    return out;
}

}  // namespace nsf::detail
