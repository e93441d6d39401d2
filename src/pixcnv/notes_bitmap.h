// Notes bitmaps: the CD records of a bitmap in rich text (header, optional transparent, colour and pattern
// tables, then the compressed segments) decoded into the rows a BMP file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace nsfrex::pixcnv {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// Bytes that are not set on allocation: the decoder writes every byte of the rows, padding included.
template <typename T>
struct UnsetAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UnsetAllocator<U>;
    };
    UnsetAllocator() = default;
    template <typename U>
    UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// An image as a BMP file stores it: rows bottom-up, each padded to a multiple of 4 bytes with zeros.
struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bitsPerPixel = 0;  // 1, 8 or 24 (BGR)
    std::vector<Rgb> palette;        // for 1 and 8 bits: every index the rows use has an entry
    std::size_t stride = 0;          // bytes per row
    std::vector<std::uint8_t, UnsetAllocator<std::uint8_t>> pixels;  // height * stride

    // Row y counted from the top of the picture.
    std::span<const std::uint8_t> row(std::uint32_t y) const {
        return std::span(pixels).subspan((height - 1 - y) * stride, stride);
    }
};

enum class BitmapFault {
    Truncated,    // a record or the compressed data ends early
    Malformed,    // a record or value the format does not allow
    TooLarge,     // more pixels than kMaxPixels
    Unsupported,  // valid, but a form this decoder does not know (patterns in 1-bit images)
};

struct BitmapError {
    BitmapFault fault;
    std::string message;
};

// Width x height above this is refused before anything is allocated.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{64} << 20;

// The standard 16 colours that 8-bit bitmaps without a colour table index.
extern const Rgb kStandardColours[16];

// `records` is the record sequence as rich text holds it, without padding between records.
std::expected<Image, BitmapError> decodeNotesBitmap(std::span<const std::uint8_t> records);

}  // namespace nsfrex::pixcnv
