#include "nsf/huffman.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <queue>
#include <string>

namespace nsf {
namespace {

constexpr std::string_view kStructure = "Huffman payload";
constexpr int kEndSymbol = 256;
// Codes up to this length resolve in one table lookup. Small outputs take the smaller tables: building
// the larger ones would cost more than they save.
constexpr unsigned kLookupBits = 12;
constexpr unsigned kSmallLookupBits = 10;
constexpr std::uint64_t kSmallOutput = 32 * 1024;
constexpr std::size_t kInputChunk = 64 * 1024;
constexpr unsigned kMaxRun = 4;  // symbols one lookup may yield: one 32-bit store

// One slot of the single-symbol table, indexed by the next lookup-width bits.
struct LookupEntry {
    std::uint16_t value = 0;  // the symbol, or for a long code the node reached after the lookup width
    std::uint8_t bits = 0;    // bits the code takes (leaf), or the lookup width
    bool leaf = false;
};

// One slot of the run table: the byte symbols whose codes lie wholly inside the next lookup-width bits,
// packed into one word so that a lookup is a single load and the shift by its low bits needs no unpacking.
//   bits 0-7    code bits the run takes
//   bits 8-15   bytes in the run; 0 when the first code is longer or is the end code (the single-symbol
//               path takes over), and then the code bits are 0 too, so that a lookup of it changes nothing
//   bits 16-31  the sum of the run's bytes, for the checksum
//   bits 32-63  the bytes, the first in the lowest
using RunEntry = std::uint64_t;

constexpr unsigned runBits(RunEntry run) noexcept { return static_cast<unsigned>(run & 0xFF); }
constexpr unsigned runCount(RunEntry run) noexcept { return static_cast<unsigned>((run >> 8) & 0xFF); }
constexpr std::uint32_t runSum(RunEntry run) noexcept { return static_cast<std::uint32_t>((run >> 16) & 0xFFFF); }


// A validated tree plus its lookup tables.
class DecodeTree {
public:
    static Expected<DecodeTree> parse(Bytes treeBytes, unsigned lookupBits) {
        if (treeBytes.size() < 4 || treeBytes.size() % 2 != 0)
            return fail(ErrorKind::Corrupt, std::string(kStructure),
                        "tree size " + std::to_string(treeBytes.size()) + " is not a whole number of entries", 4);
        DecodeTree tree;
        tree.lookupBits_ = lookupBits;
        tree.entries_.resize(treeBytes.size() / 2);
        for (std::size_t i = 0; i < tree.entries_.size(); ++i)
            tree.entries_[i] = static_cast<std::int16_t>(loadLE<std::uint16_t>(treeBytes.data() + 2 * i));
        if (auto ok = tree.validate(); !ok) return std::unexpected(ok.error());
        tree.buildTables();
        return tree;
    }

    std::int16_t child(std::uint16_t node, bool bit) const noexcept { return entries_[2u * node + (bit ? 0u : 1u)]; }
    const LookupEntry& lookup(std::uint64_t topBits) const noexcept { return table_[topBits]; }
    const RunEntry* runs() const noexcept { return runs_.data(); }
    unsigned lookupBits() const noexcept { return lookupBits_; }

private:
    std::size_t nodeCount() const noexcept { return entries_.size() / 2; }

    // Every node reachable from the root must be reached exactly once, through in-range entries, and the
    // end code must exist; this also bounds the depth of any code by the node count.
    Expected<void> validate() const {
        std::vector<bool> seen(nodeCount(), false);
        std::vector<std::uint16_t> pending{0};
        seen[0] = true;
        bool hasEnd = false;
        while (!pending.empty()) {
            const std::uint16_t node = pending.back();
            pending.pop_back();
            for (std::size_t e = 2u * node; e < 2u * node + 2; ++e) {
                const std::int16_t v = entries_[e];
                const std::uint64_t where = 6 + 2 * e;
                if (v > kEndSymbol)
                    return fail(ErrorKind::Corrupt, std::string(kStructure),
                                "tree entry " + std::to_string(e) + " is symbol " + std::to_string(v), where);
                if (v == kEndSymbol) hasEnd = true;
                if (v >= 0) continue;
                const auto target = static_cast<std::size_t>(-static_cast<int>(v));
                if (target >= nodeCount())
                    return fail(ErrorKind::Corrupt, std::string(kStructure),
                                "tree entry " + std::to_string(e) + " points to node " + std::to_string(target) +
                                    " of " + std::to_string(nodeCount()),
                                where);
                if (seen[target])
                    return fail(ErrorKind::Corrupt, std::string(kStructure),
                                "tree node " + std::to_string(target) + " is reached twice (a loop)", where);
                seen[target] = true;
                pending.push_back(static_cast<std::uint16_t>(target));
            }
        }
        if (!hasEnd) return fail(ErrorKind::Corrupt, std::string(kStructure), "tree has no end code", 6);
        return {};
    }

    void buildTables() {
        const std::uint32_t kSlots = 1u << lookupBits_;
        table_.assign(kSlots, LookupEntry{});
        fill(0, 0, 0);
        // A run continues with the code that the remaining known bits of the slot hold, as long as that
        // code ends inside them: the single-symbol slot of the shifted bits tells both.
        runs_.assign(kSlots, RunEntry{});
        for (std::uint32_t slot = 0; slot < kSlots; ++slot) {
            unsigned used = 0;
            unsigned count = 0;
            std::uint32_t sum = 0;
            std::uint64_t bytes = 0;
            while (count < kMaxRun) {
                const LookupEntry& e = table_[(slot << used) & (kSlots - 1)];
                if (!e.leaf || e.value == kEndSymbol || used + e.bits > lookupBits_) break;
                bytes |= std::uint64_t{e.value} << (8 * count++);
                sum += e.value;
                used += e.bits;
            }
            runs_[slot] = used | RunEntry{count} << 8 | RunEntry{sum} << 16 | bytes << 32;
        }
    }

    // Walks the tree down to the lookup width; a leaf at depth d owns every slot sharing its d-bit prefix.
    void fill(std::uint16_t node, std::uint32_t code, unsigned depth) {
        for (bool bit : {true, false}) {
            const std::int16_t v = child(node, bit);
            const std::uint32_t c = (code << 1) | (bit ? 1u : 0u);
            const unsigned d = depth + 1;
            if (v >= 0) {
                const unsigned spare = lookupBits_ - d;
                const std::uint32_t first = c << spare;
                for (std::uint32_t i = 0; i < (1u << spare); ++i)
                    table_[first + i] = {static_cast<std::uint16_t>(v), static_cast<std::uint8_t>(d), true};
            } else if (d == lookupBits_) {
                table_[c] = {static_cast<std::uint16_t>(-v), static_cast<std::uint8_t>(d), false};
            } else {
                fill(static_cast<std::uint16_t>(-v), c, d);
            }
        }
    }

    unsigned lookupBits_ = kLookupBits;
    std::vector<std::int16_t> entries_;
    std::vector<LookupEntry> table_;
    std::vector<RunEntry> runs_;
};

// Reads exactly out.size() bytes or fails with Truncated.
Expected<void> readExact(ObjectStream& raw, std::span<std::uint8_t> out, std::string_view what) {
    std::size_t done = 0;
    while (done < out.size()) {
        auto n = raw.read(out.subspan(done));
        if (!n) return std::unexpected(n.error());
        if (*n == 0)
            return fail(ErrorKind::Truncated, std::string(kStructure),
                        std::string(what) + " needs " + std::to_string(out.size()) + " bytes, got " +
                            std::to_string(done));
        done += *n;
    }
    return {};
}

class HuffmanStream final : public ObjectStream {
public:
    HuffmanStream(std::unique_ptr<ObjectStream> raw, DecodeTree tree, std::uint32_t checksum,
                  std::optional<std::uint64_t> expectedSize, std::uint64_t limit, std::uint64_t dataOffset)
        : raw_(std::move(raw)), tree_(std::move(tree)), checksum_(checksum), expected_(expectedSize),
          limit_(limit), inputOffset_(dataOffset), inputStore_(std::make_unique_for_overwrite<std::uint8_t[]>(kInputChunk)),
          input_(inputStore_.get(), kInputChunk),
          decodeRuns_(pickRunDecoder(tree_.lookupBits())) {}

    std::uint64_t size() const override { return expected_.value_or(0); }

    Expected<std::size_t> read(std::span<std::uint8_t> out) override {
        if (error_) return std::unexpected(*error_);
        if (done_ || out.empty()) return 0;
        auto n = decode(out);
        if (!n) error_ = n.error();
        return n;
    }

private:
    // Tops the bit buffer up to 56 to 63 bits while input lasts; `bits_` keeps unread bits at the top.
    // Never 64: the fast loop's wide load shifts the loaded word right by the count, which must stay
    // below 64 whichever path ran last (a wide load itself leaves at most 63).
    Expected<void> refill() {
        while (count_ < 56) {
            if (inPos_ == inEnd_) {
                if (inputEnded_) return {};
                auto n = raw_->read(input_);
                if (!n) return std::unexpected(n.error());
                inPos_ = 0;
                inEnd_ = *n;
                if (*n == 0) {
                    inputEnded_ = true;
                    return {};
                }
            }
            // The byte-wise path may follow a wide load (decodeRuns): clear the bits it left below `count_`.
            bits_ &= count_ == 0 ? 0 : ~std::uint64_t{0} << (64 - count_);
            bits_ |= std::uint64_t{input_[inPos_++]} << (56 - count_);
            count_ += 8;
            ++inputOffset_;
        }
        return {};
    }

    static std::uint64_t loadBE64(const std::uint8_t* p) noexcept {
        std::uint64_t v;
        std::memcpy(&v, p, sizeof v);
        return std::byteswap(v);
    }

    std::unexpected<Error> endsInsideCode() const {
        return fail(ErrorKind::Truncated, std::string(kStructure),
                    "payload ends inside a code after " + std::to_string(produced_) + " bytes",
                    inputOffset_);
    }

    Expected<int> nextSymbol() {
        const unsigned width = tree_.lookupBits();
        if (count_ < width) {
            if (auto ok = refill(); !ok) return std::unexpected(ok.error());
        }
        // Past the end of the input the buffer is zero-filled; a code is only accepted if it fits in
        // the bits that really exist.
        const LookupEntry& e = tree_.lookup(bits_ >> (64 - width));
        if (e.bits > count_) return endsInsideCode();
        bits_ <<= e.bits;
        count_ -= e.bits;
        if (e.leaf) return e.value;
        std::uint16_t node = e.value;
        for (;;) {
            if (count_ == 0) {
                if (auto ok = refill(); !ok) return std::unexpected(ok.error());
                if (count_ == 0) return endsInsideCode();
            }
            const bool bit = (bits_ >> 63) != 0;
            bits_ <<= 1;
            --count_;
            const std::int16_t v = tree_.child(node, bit);
            if (v >= 0) return v;
            node = static_cast<std::uint16_t>(-v);
        }
    }

    // Whole runs of symbols from the run table while the output has room for a full run and the
    // input buffer for a wide load; the state lives in locals so that the stores into `dst` cannot
    // be taken to change it. Stops at a slot that starts with a long code or the end code.
    template <unsigned kWidth>
    [[gnu::always_inline]] std::size_t decodeRuns(std::uint8_t* dst, std::size_t n, std::size_t room) noexcept {
        // A wide load leaves at least 56 bits buffered. A group's first lookup uses the bits held
        // before the load, so that merging the loaded bits stays off the lookups' chain: the bits
        // left after a group must still fill one lookup.
        constexpr unsigned kLookupsPerGroup = (56 - kWidth) / kWidth;
        std::uint64_t bits = bits_;
        unsigned count = count_;
        std::uint32_t sum = sum_;
        std::size_t pos = inPos_;
        const std::size_t end = inEnd_;
        const std::uint8_t* in = input_.data();
        const RunEntry* runs = tree_.runs();
        // The next input bits, placed below the `count` buffered ones, for the caller to merge. The
        // bits a wide load leaves set below `count` are the next input bits: loading them again later
        // changes nothing. `count` is at most 63 here and after: see refill().
        auto load = [&] [[gnu::always_inline]] {
            const std::uint64_t fresh = loadBE64(in + pos) >> count;
            const unsigned taken = (63 - count) / 8;
            pos += taken;
            count += taken * 8;
            return fresh;
        };
        // The next lookup hangs on this one only through the shift: everything else is off that chain.
        auto step = [&] [[gnu::always_inline]] (std::uint64_t fresh) {
            const RunEntry run = runs[bits >> (64 - kWidth)];
            storeLE32(dst + n, static_cast<std::uint32_t>(run >> 32));
            n += runCount(run);
            sum += runSum(run);
            bits = (bits | fresh) << (run & 63);
            count -= runBits(run);
            return run;
        };
        // Groups of lookups with neither checks nor branches: a stop slot takes no bits, so the
        // lookups after it find it again, and the last one tells.
        if (count < kWidth && end - pos >= 8) bits |= load();
        while (count >= kWidth && n + kLookupsPerGroup * kMaxRun <= room && end - pos >= 8) {
            RunEntry last = step(load());
#pragma GCC unroll 8
            for (unsigned k = 1; k < kLookupsPerGroup; ++k) last = step(0);
            if (runCount(last) == 0) [[unlikely]] return keep(bits, count, sum, pos, n);
        }
        while (n + kMaxRun <= room) {
            if (count < kWidth) {
                if (end - pos < 8) break;
                bits |= load();
            }
            if (runCount(step(0)) == 0) break;
        }
        return keep(bits, count, sum, pos, n);
    }

    // The same loop built twice: shifts by a register amount take one instruction with BMI2 (x86) and
    // sit on the lookups' dependency chain, so processors that have it get that build.
    template <unsigned kWidth>
    std::size_t decodeRunsPortable(std::uint8_t* dst, std::size_t n, std::size_t room) noexcept {
        return decodeRuns<kWidth>(dst, n, room);
    }
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    template <unsigned kWidth>
    [[gnu::target("bmi2")]] std::size_t decodeRunsBmi2(std::uint8_t* dst, std::size_t n, std::size_t room) noexcept {
        return decodeRuns<kWidth>(dst, n, room);
    }
#endif

    using RunDecoder = std::size_t (HuffmanStream::*)(std::uint8_t*, std::size_t, std::size_t) noexcept;

    static RunDecoder pickRunDecoder(unsigned width) noexcept {
        const bool wide = width == kLookupBits;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
        static const bool bmi2 = __builtin_cpu_supports("bmi2");
        if (bmi2) return wide ? &HuffmanStream::decodeRunsBmi2<kLookupBits> : &HuffmanStream::decodeRunsBmi2<kSmallLookupBits>;
#endif
        return wide ? &HuffmanStream::decodeRunsPortable<kLookupBits>
                    : &HuffmanStream::decodeRunsPortable<kSmallLookupBits>;
    }

    std::size_t keep(std::uint64_t bits, unsigned count, std::uint32_t sum, std::size_t pos, std::size_t n) noexcept {
        inputOffset_ += pos - inPos_;
        inPos_ = pos;
        bits_ = bits;
        count_ = count;
        sum_ = sum;
        return n;
    }

    static void storeLE32(std::uint8_t* p, std::uint32_t v) noexcept {
        if constexpr (std::endian::native == std::endian::big) v = std::byteswap(v);
        std::memcpy(p, &v, sizeof v);
    }

    // Runs while they last, single symbols (long codes, the end code, the last bytes of `out` or of
    // the limit, input chunk boundaries) one by one.
    Expected<std::size_t> decode(std::span<std::uint8_t> out) {
        std::size_t n = 0;
        const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), limit_ - produced_));
        for (;;) {
            n = (this->*decodeRuns_)(out.data(), n, room);
            if (n == out.size()) break;
            auto symbol = nextSymbol();
            if (!symbol) return std::unexpected(symbol.error());
            if (*symbol == kEndSymbol) {
                produced_ += n;
                return finish(n);
            }
            if (produced_ + n == limit_)
                return fail(ErrorKind::Corrupt, std::string(kStructure),
                            "decodes to more than " + std::to_string(limit_) + " bytes", inputOffset_);
            out[n++] = static_cast<std::uint8_t>(*symbol);
            sum_ += static_cast<std::uint32_t>(*symbol);
        }
        produced_ += n;
        return n;
    }

    Expected<std::size_t> finish(std::size_t lastChunk) {
        done_ = true;
        if (expected_ && produced_ != *expected_)
            return fail(ErrorKind::Corrupt, std::string(kStructure),
                        "decodes to " + std::to_string(produced_) + " bytes, expected " + std::to_string(*expected_),
                        inputOffset_);
        if (sum_ != checksum_) {
            char detail[80];
            std::snprintf(detail, sizeof detail, "sum of the decoded bytes is 0x%08X, stored 0x%08X", sum_, checksum_);
            return fail(ErrorKind::BadChecksum, std::string(kStructure), detail, 0);
        }
        return lastChunk;
    }

    std::unique_ptr<ObjectStream> raw_;
    DecodeTree tree_;
    std::uint32_t checksum_;
    std::optional<std::uint64_t> expected_;
    std::uint64_t limit_;
    std::uint64_t inputOffset_;  // offset in the payload of the next byte to load, for messages
    // Left uninitialised: only the `inEnd_` bytes a read delivered are ever looked at, and small
    // outputs would otherwise pay for clearing it.
    std::unique_ptr<std::uint8_t[]> inputStore_;
    std::span<std::uint8_t> input_;
    std::size_t inPos_ = 0;
    std::size_t inEnd_ = 0;
    bool inputEnded_ = false;
    std::uint64_t bits_ = 0;
    unsigned count_ = 0;
    std::uint64_t produced_ = 0;
    std::uint32_t sum_ = 0;
    bool done_ = false;
    std::optional<Error> error_;
    RunDecoder decodeRuns_;
};

class MemoryStream final : public ObjectStream {
public:
    explicit MemoryStream(Bytes data) : data_(data) {}
    std::uint64_t size() const override { return data_.size(); }
    Expected<std::size_t> read(std::span<std::uint8_t> out) override {
        const std::size_t n = std::min(out.size(), data_.size() - pos_);
        if (n != 0) std::memcpy(out.data(), data_.data() + pos_, n);  // an empty span may hold a null pointer
        pos_ += n;
        return n;
    }

private:
    Bytes data_;
    std::size_t pos_ = 0;
};

// `expectedSize` empty: only the end code ends the data, and `limit` bounds the output.
Expected<std::unique_ptr<ObjectStream>> openStream(std::unique_ptr<ObjectStream> raw,
                                                   std::optional<std::uint64_t> expectedSize, std::uint64_t limit) {
    if (!raw) return fail(ErrorKind::Io, std::string(kStructure), "no input stream");
    std::array<std::uint8_t, 6> header{};
    if (auto ok = readExact(*raw, header, "header"); !ok) return std::unexpected(ok.error());
    const auto checksum = loadLE<std::uint32_t>(header.data());
    const auto treeSize = loadLE<std::uint16_t>(header.data() + 4);
    std::vector<std::uint8_t> treeBytes(treeSize);
    if (auto ok = readExact(*raw, treeBytes, "tree"); !ok) return std::unexpected(ok.error());
    auto tree = DecodeTree::parse(treeBytes, limit < kSmallOutput ? kSmallLookupBits : kLookupBits);
    if (!tree) return std::unexpected(tree.error());
    return std::make_unique<HuffmanStream>(std::move(raw), std::move(*tree), checksum, expectedSize, limit,
                                           header.size() + treeSize);
}


// Encoder: a Huffman tree from the byte counts, laid out breadth first so the root is node 0.
struct BuildNode {
    std::uint64_t weight = 0;
    int symbol = -1;  // >= 0 for a leaf
    int one = -1;     // children, as indexes into the build list
    int zero = -1;
};

struct Code {
    std::uint64_t bits = 0;  // right-aligned, first bit highest
    unsigned length = 0;
};

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void write(const Code& code) {
        for (unsigned i = code.length; i-- > 0;) {
            acc_ = static_cast<std::uint8_t>((acc_ << 1) | ((code.bits >> i) & 1u));
            if (++used_ == 8) flushByte();
        }
    }
    void finish() {
        if (used_ == 0) return;
        acc_ = static_cast<std::uint8_t>(acc_ << (8 - used_));
        flushByte();
    }

private:
    void flushByte() {
        out_.push_back(acc_);
        acc_ = 0;
        used_ = 0;
    }
    std::vector<std::uint8_t>& out_;
    std::uint8_t acc_ = 0;
    unsigned used_ = 0;
};

void appendLE16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

}  // namespace

Expected<std::unique_ptr<ObjectStream>> makeHuffmanStream(std::unique_ptr<ObjectStream> raw,
                                                          std::uint64_t expectedSize) {
    return openStream(std::move(raw), expectedSize, expectedSize);
}

Expected<std::vector<std::uint8_t>> huffmanDecode(Bytes payload, std::optional<std::uint64_t> expectedSize) {
    // Each code takes at least one bit, so the output can never exceed eight bytes per input byte.
    const std::uint64_t limit = expectedSize.value_or(std::uint64_t{payload.size()} * 8);
    auto stream = openStream(std::make_unique<MemoryStream>(payload), expectedSize, limit);
    if (!stream) return std::unexpected(stream.error());
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> chunk(kInputChunk);
    for (;;) {
        auto n = (*stream)->read(chunk);
        if (!n) return std::unexpected(n.error());
        if (*n == 0) break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*n));
    }
    return out;
}

std::vector<std::uint8_t> huffmanEncode(Bytes data) {
    std::array<std::uint64_t, kEndSymbol + 1> counts{};
    std::uint32_t sum = 0;
    for (std::uint8_t b : data) {
        ++counts[b];
        sum += b;
    }
    counts[kEndSymbol] = 1;

    std::vector<BuildNode> nodes;
    using Weighted = std::pair<std::uint64_t, int>;  // ties broken by index keep the output deterministic
    std::priority_queue<Weighted, std::vector<Weighted>, std::greater<>> queue;
    for (int s = 0; s <= kEndSymbol; ++s) {
        if (counts[static_cast<std::size_t>(s)] == 0) continue;
        nodes.push_back({counts[static_cast<std::size_t>(s)], s, -1, -1});
        queue.emplace(nodes.back().weight, static_cast<int>(nodes.size() - 1));
    }
    if (queue.size() == 1) {  // the root needs two children: pair the end code with an unused byte value
        nodes.push_back({0, 0, -1, -1});
        queue.emplace(0, static_cast<int>(nodes.size() - 1));
    }
    while (queue.size() > 1) {
        auto [w1, a] = queue.top();
        queue.pop();
        auto [w2, b] = queue.top();
        queue.pop();
        nodes.push_back({w1 + w2, -1, a, b});
        queue.emplace(w1 + w2, static_cast<int>(nodes.size() - 1));
    }

    // Number the inner nodes breadth first and collect each leaf's code. Code lengths stay far below 64:
    // a code of length n needs a total count of at least the (n+2)th Fibonacci number.
    std::vector<int> order{queue.top().second};
    std::vector<std::int16_t> entries;
    std::array<Code, kEndSymbol + 1> codes{};
    std::vector<Code> nodeCodes(nodes.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const BuildNode& n = nodes[static_cast<std::size_t>(order[k])];
        for (int childIndex : {n.one, n.zero}) {
            const BuildNode& c = nodes[static_cast<std::size_t>(childIndex)];
            const Code& parent = nodeCodes[static_cast<std::size_t>(order[k])];
            Code code{(parent.bits << 1) | (childIndex == n.one ? 1u : 0u), parent.length + 1};
            if (c.symbol >= 0) {
                entries.push_back(static_cast<std::int16_t>(c.symbol));
                codes[static_cast<std::size_t>(c.symbol)] = code;
            } else {
                entries.push_back(static_cast<std::int16_t>(-static_cast<int>(order.size())));
                nodeCodes[static_cast<std::size_t>(childIndex)] = code;
                order.push_back(childIndex);
            }
        }
    }

    std::vector<std::uint8_t> out;
    out.reserve(6 + entries.size() * 2 + data.size() / 2 + 16);
    appendLE16(out, static_cast<std::uint16_t>(sum));
    appendLE16(out, static_cast<std::uint16_t>(sum >> 16));
    appendLE16(out, static_cast<std::uint16_t>(entries.size() * 2));
    for (std::int16_t e : entries) appendLE16(out, static_cast<std::uint16_t>(e));
    BitWriter writer(out);
    for (std::uint8_t b : data) writer.write(codes[b]);
    writer.write(codes[kEndSymbol]);
    writer.finish();
    return out;
}

}  // namespace nsf
