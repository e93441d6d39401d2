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
    RawStream(Bytes payload, const FileSource* source) : payload_(payload), source_(source) {}
    Expected<std::size_t> read(std::span<std::uint8_t> out) override {
        const std::size_t n = std::min(out.size(), payload_.size() - pos_);
        if (n != 0) std::memcpy(out.data(), payload_.data() + pos_, n);
        // Bytes read once are not needed again: memory stays flat however large the object.
        if (source_ != nullptr && n != 0) source_->release(payload_.subspan(pos_, n));
        pos_ += n;
        return n;
    }
    std::uint64_t size() const override { return payload_.size(); }

private:
    Bytes payload_;
    const FileSource* source_;
    std::size_t pos_ = 0;
};

}  // namespace

std::unique_ptr<ObjectStream> makeRawStream(Bytes payload, const FileSource* source) {
    return std::make_unique<RawStream>(payload, source);
}

Expected<std::unique_ptr<ObjectStream>> makeObjectStream(Bytes payload, Compression compression,
                                                         std::uint64_t expectedSize, const FileSource* source) {
    switch (compression) {
    case Compression::None:
        if (expectedSize > payload.size())
            return fail(ErrorKind::Truncated, "object",
                        "stored payload has " + std::to_string(payload.size()) + " bytes, the file object says " +
                            std::to_string(expectedSize));
        return makeRawStream(expectedSize ? payload.first(static_cast<std::size_t>(expectedSize)) : payload, source);
    case Compression::Huffman:
    case Compression::Rehuffman:
        return makeHuffmanStream(makeRawStream(payload, source), expectedSize);
    case Compression::Lz1:
        return makeLz1Stream(makeRawStream(payload, source), expectedSize);  // Unsupported until LZ1 is known
    }
    return fail(ErrorKind::Unsupported, "object", "compression type " + std::to_string(static_cast<int>(compression)));
}

}  // namespace nsf::detail
