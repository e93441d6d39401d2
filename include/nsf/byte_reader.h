// The one bounds-checked cursor over little-endian bytes. All offset arithmetic on file data goes
// through here: reads either succeed and advance, or fail and leave the position unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "nsf/error.h"

namespace nsf {

using Bytes = std::span<const std::uint8_t>;

// A slice of `data` at [offset, offset + size), or nothing when it does not fit. Cannot overflow.
inline std::optional<Bytes> slice(Bytes data, std::uint64_t offset, std::uint64_t size) noexcept {
    if (offset > data.size() || size > data.size() - offset) return std::nullopt;
    return data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
}

template <typename T>
inline T loadLE(const std::uint8_t* p) noexcept {
    T value{};
    for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(static_cast<T>(p[i]) << (8 * i));
    return value;
}

class ByteReader {
public:
    // `base` is the file offset of data[0]; it only serves error messages.
    explicit ByteReader(Bytes data, std::string_view structure = "data", std::uint64_t base = 0) noexcept
        : data_(data), structure_(structure), base_(base) {}

    std::size_t position() const noexcept { return pos_; }
    std::size_t size() const noexcept { return data_.size(); }
    std::size_t remaining() const noexcept { return data_.size() - pos_; }
    bool atEnd() const noexcept { return pos_ == data_.size(); }
    Bytes data() const noexcept { return data_; }
    std::uint64_t fileOffset() const noexcept { return base_ + pos_; }

    Expected<std::uint8_t> u8() { return read<std::uint8_t>(); }
    Expected<std::uint16_t> u16() { return read<std::uint16_t>(); }
    Expected<std::uint32_t> u32() { return read<std::uint32_t>(); }
    Expected<std::uint64_t> u64() { return read<std::uint64_t>(); }

    Expected<Bytes> bytes(std::uint64_t count) {
        auto s = slice(data_, pos_, count);
        if (!s) return truncated(count);
        pos_ += static_cast<std::size_t>(count);
        return *s;
    }

    Expected<void> skip(std::uint64_t count) {
        if (count > remaining()) return truncated(count);
        pos_ += static_cast<std::size_t>(count);
        return {};
    }

    Expected<void> seek(std::uint64_t offset) {
        if (offset > data_.size()) return fail(ErrorKind::Truncated, std::string(structure_),
                                               "seek past the end", base_ + offset);
        pos_ = static_cast<std::size_t>(offset);
        return {};
    }

    // Reads a little-endian value at an absolute offset without moving.
    template <typename T>
    Expected<T> peekAt(std::uint64_t offset) const {
        auto s = slice(data_, offset, sizeof(T));
        if (!s) return fail(ErrorKind::Truncated, std::string(structure_),
                            "needs " + std::to_string(sizeof(T)) + " bytes", base_ + offset);
        return loadLE<T>(s->data());
    }

private:
    template <typename T>
    Expected<T> read() {
        if (sizeof(T) > remaining()) return truncated(sizeof(T));
        T value = loadLE<T>(data_.data() + pos_);
        pos_ += sizeof(T);
        return value;
    }

    std::unexpected<Error> truncated(std::uint64_t wanted) const {
        return fail(ErrorKind::Truncated, std::string(structure_),
                    "needs " + std::to_string(wanted) + " bytes, " + std::to_string(remaining()) + " left",
                    base_ + pos_);
    }

    Bytes data_;
    std::string_view structure_;
    std::uint64_t base_;
    std::size_t pos_ = 0;
};

}  // namespace nsf
