#include "object_stream.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "nsf/huffman.h"
#include "nsf/lz1.h"

namespace nsf::detail {
namespace {

class RawStream final : public ObjectStream {
public:
    explicit RawStream(Bytes payload) : payload_(payload) {}
    Expected<std::size_t> read(std::span<std::uint8_t> out) override {
        const std::size_t n = std::min(out.size(), payload_.size() - pos_);
        if (n != 0) std::memcpy(out.data(), payload_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    std::uint64_t size() const override { return payload_.size(); }

private:
    Bytes payload_;
    std::size_t pos_ = 0;
};

}  // namespace

std::unique_ptr<ObjectStream> makeRawStream(Bytes payload) { return std::make_unique<RawStream>(payload); }

Expected<std::unique_ptr<ObjectStream>> makeObjectStream(Bytes payload, Compression compression,
                                                         std::uint64_t expectedSize) {
    switch (compression) {
    case Compression::None:
        if (expectedSize > payload.size())
            return fail(ErrorKind::Truncated, "object",
                        "stored payload has " + std::to_string(payload.size()) + " bytes, the file object says " +
                            std::to_string(expectedSize));
        return makeRawStream(expectedSize ? payload.first(static_cast<std::size_t>(expectedSize)) : payload);
    case Compression::Huffman:
    case Compression::Rehuffman:
        return makeHuffmanStream(makeRawStream(payload), expectedSize);
    case Compression::Lz1:
        return makeLz1Stream(makeRawStream(payload), expectedSize);  // Unsupported until LZ1 is known
    }
    return fail(ErrorKind::Unsupported, "object", "compression type " + std::to_string(static_cast<int>(compression)));
}

}  // namespace nsf::detail
