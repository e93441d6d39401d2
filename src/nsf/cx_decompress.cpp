#include "cx_decompress.h"

#include <string>

namespace nsf::detail {
namespace {

// Least-significant-bit-first reader over a byte span. Bits come from a 64-bit window refilled eight
// bytes at a time: superblocks and bucket descriptor blocks are decompressed at every open.
class LsbBitReader {
public:
    explicit LsbBitReader(Bytes data) noexcept : data_(data) {}

    // `count` bits (1 to 24), the first read landing in bit 0. At the end of the data, false, and the
    // reader stands at the end.
    bool bits(unsigned count, std::uint32_t& out) noexcept {
        if (held_ < count && !refill(count)) return false;
        out = static_cast<std::uint32_t>(window_ & ((std::uint64_t{1} << count) - 1));
        window_ >>= count;
        held_ -= count;
        return true;
    }

    bool bit(std::uint32_t& out) noexcept { return bits(1, out); }

    // The byte holding the next bit to read.
    std::size_t byteOffset() const noexcept { return next_ - held_ / 8 - (held_ % 8 != 0 ? 1 : 0); }

private:
    bool refill(unsigned count) noexcept {
        if (data_.size() - next_ >= 8) {
            // The bits loaded above held_ are the stream's next ones, so loading them again later ORs
            // each bit onto itself.
            window_ |= loadLE<std::uint64_t>(data_.data() + next_) << held_;
            next_ += (63 - held_) / 8;
            held_ |= 56;
            return true;
        }
        while (held_ < count && next_ < data_.size()) {
            window_ |= std::uint64_t{data_[next_++]} << held_;
            held_ += 8;
        }
        if (held_ >= count) return true;
        window_ = 0;
        held_ = 0;
        return false;
    }

    Bytes data_;
    std::uint64_t window_ = 0;  // unread bits, the next one in bit 0
    unsigned held_ = 0;         // how many bits of the window are unread
    std::size_t next_ = 0;      // the first byte not yet in the window
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
    std::uint32_t header = 0;
    (void)in.bits(3, header);  // the stream type, checked above
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
