// Errors of the NSF engine: a kind, the structure being read and the file offset where it went wrong.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace nsf {

enum class ErrorKind {
    Io,             // the file could not be opened or read
    Truncated,      // a structure runs past the end of its buffer or of the file
    BadSignature,   // a magic number or signature does not match
    BadChecksum,    // a stored check value does not match the bytes
    Corrupt,        // a value is impossible (loop, overlapping range, count too large, ...)
    Unsupported,    // a valid feature this reader does not implement (e.g. LZ1 compression)
    Encrypted,      // the content is encrypted and cannot be read without a key
    NotFound,       // the note, item or object does not exist
};

std::string_view toString(ErrorKind kind) noexcept;

class Error {
public:
    Error(ErrorKind kind, std::string structure, std::string detail = {},
          std::uint64_t offset = kNoOffset)
        : kind_(kind), structure_(std::move(structure)), detail_(std::move(detail)), offset_(offset) {}

    static constexpr std::uint64_t kNoOffset = ~std::uint64_t{0};

    ErrorKind kind() const noexcept { return kind_; }
    const std::string& structure() const noexcept { return structure_; }
    const std::string& detail() const noexcept { return detail_; }
    std::uint64_t offset() const noexcept { return offset_; }
    bool hasOffset() const noexcept { return offset_ != kNoOffset; }

    // "truncated superblock at offset 0x1200: needs 96 bytes, 40 left"
    std::string message() const;

private:
    ErrorKind kind_;
    std::string structure_;
    std::string detail_;
    std::uint64_t offset_;
};

template <typename T>
using Expected = std::expected<T, Error>;

inline std::unexpected<Error> fail(ErrorKind kind, std::string structure, std::string detail = {},
                                   std::uint64_t offset = Error::kNoOffset) {
    return std::unexpected<Error>(Error(kind, std::move(structure), std::move(detail), offset));
}

}  // namespace nsf
