// A growing little-endian byte buffer for the writer: appends and in-place patches of the fixed-width
// fields every on-disk structure is made of.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/database.h"

namespace nsf::detail {

class LeBuffer {
public:
    LeBuffer() = default;
    explicit LeBuffer(std::size_t size, std::uint8_t fill = 0) : bytes_(size, fill) {}

    std::size_t size() const noexcept { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() noexcept { return bytes_; }
    const std::vector<std::uint8_t>& bytes() const noexcept { return bytes_; }
    std::vector<std::uint8_t> take() noexcept { return std::move(bytes_); }

    void u8(std::uint8_t v) { bytes_.push_back(v); }
    void u16(std::uint16_t v) { append(v); }
    void u32(std::uint32_t v) { append(v); }
    void time(TimeDate t) {
        u32(t.innards0);
        u32(t.innards1);
    }
    void raw(Bytes data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
    void zeros(std::size_t n) { bytes_.resize(bytes_.size() + n, 0); }

    void put16(std::size_t at, std::uint16_t v) { patch(at, v); }
    void put32(std::size_t at, std::uint32_t v) { patch(at, v); }
    void putTime(std::size_t at, TimeDate t) {
        put32(at, t.innards0);
        put32(at + 4, t.innards1);
    }
    void putRaw(std::size_t at, Bytes data) {
        if (!data.empty()) std::memcpy(&bytes_.at(at + data.size() - 1) - (data.size() - 1), data.data(), data.size());
    }

private:
    template <typename T>
    void append(T v) {
        for (std::size_t i = 0; i < sizeof(T); ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    template <typename T>
    void patch(std::size_t at, T v) {
        for (std::size_t i = 0; i < sizeof(T); ++i) bytes_.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    }

    std::vector<std::uint8_t> bytes_;
};

}  // namespace nsf::detail
