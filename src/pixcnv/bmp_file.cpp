#include "bmp_file.h"

namespace nsfrex::pixcnv {
namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dots per inch

class Writer {
public:
    void u16(std::uint16_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    std::vector<std::uint8_t> bytes;
};

}  // namespace

std::uint64_t bmpHeaderSize(const Image& image) {
    return kFileHeaderSize + kInfoHeaderSize + 4 * std::uint64_t{image.palette.size()};
}

std::uint64_t bmpFileSize(const Image& image) { return bmpHeaderSize(image) + image.pixels.size(); }

std::vector<std::uint8_t> bmpHeaders(const Image& image, std::uint32_t fileSize) {
    Writer w;
    w.bytes.reserve(bmpHeaderSize(image));
    w.u16(0x4D42);  // "BM"
    w.u32(fileSize);
    w.u32(0);
    w.u32(static_cast<std::uint32_t>(bmpHeaderSize(image)));
    w.u32(kInfoHeaderSize);
    w.u32(image.width);
    w.u32(image.height);  // positive: rows bottom-up
    w.u16(1);
    w.u16(image.bitsPerPixel);
    w.u32(0);  // BI_RGB
    w.u32(static_cast<std::uint32_t>(image.pixels.size()));
    w.u32(kPixelsPerMetre);
    w.u32(kPixelsPerMetre);
    w.u32(static_cast<std::uint32_t>(image.palette.size()));
    w.u32(0);
    for (const Rgb& c : image.palette) {
        w.bytes.push_back(c.b);
        w.bytes.push_back(c.g);
        w.bytes.push_back(c.r);
        w.bytes.push_back(0);
    }
    return std::move(w.bytes);
}

}  // namespace nsfrex::pixcnv
