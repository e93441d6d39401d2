#include "images.h"

#include <stdexcept>

namespace samplegen {

std::vector<std::uint8_t> makeGif(std::uint16_t width, std::uint16_t height, std::span<const Rgb> palette,
                                  const std::function<std::uint8_t(unsigned, unsigned)>& pixel) {
    if (palette.empty() || palette.size() > 128) throw std::invalid_argument("GIF palette of 1 to 128 colours");
    std::vector<std::uint8_t> out = {'G', 'I', 'F', '8', '7', 'a'};
    auto u16 = [&](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    u16(width);
    u16(height);
    out.push_back(0x80 | 0x70 | 0x06);  // global table of 128 entries, 8 bits of colour resolution
    out.push_back(0);                   // background colour
    out.push_back(0);                   // aspect
    for (std::size_t i = 0; i < 128; ++i) {
        const Rgb c = i < palette.size() ? palette[i] : Rgb{0, 0, 0};
        out.insert(out.end(), c.begin(), c.end());
    }
    out.push_back(0x2C);  // image descriptor
    u16(0);
    u16(0);
    u16(width);
    u16(height);
    out.push_back(0);
    out.push_back(7);  // minimum code size: codes start 8 bits wide
    // Codes: 0-127 pixels, 128 clear, 129 end. After 126 pixel codes the table would need 9 bits,
    // so a clear code comes first; every code is then exactly one byte.
    std::vector<std::uint8_t> codes = {128};
    unsigned sinceClear = 0;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            if (sinceClear == 126) {
                codes.push_back(128);
                sinceClear = 0;
            }
            codes.push_back(static_cast<std::uint8_t>(pixel(x, y) & 0x7F));
            ++sinceClear;
        }
    codes.push_back(129);
    for (std::size_t at = 0; at < codes.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, codes.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), codes.begin() + static_cast<std::ptrdiff_t>(at),
                   codes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(0);     // end of the image data
    out.push_back(0x3B);  // trailer
    return out;
}

std::vector<std::uint8_t> makeBmp(std::uint16_t width, std::uint16_t height,
                                  const std::function<Rgb(unsigned, unsigned)>& pixel) {
    const std::uint32_t row = (width * 3u + 3u) & ~3u;
    const std::uint32_t size = 54 + row * height;
    std::vector<std::uint8_t> out;
    auto u16 = [&](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto u32 = [&](std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    };
    out.push_back('B');
    out.push_back('M');
    u32(size);
    u32(0);
    u32(54);
    u32(40);
    u32(width);
    u32(height);
    u16(1);
    u16(24);
    u32(0);
    u32(row * height);
    u32(2835);
    u32(2835);
    u32(0);
    u32(0);
    for (unsigned y = height; y-- > 0;) {  // bottom-up
        const std::size_t start = out.size();
        for (unsigned x = 0; x < width; ++x) {
            const Rgb c = pixel(x, y);
            out.push_back(c[2]);
            out.push_back(c[1]);
            out.push_back(c[0]);
        }
        out.resize(start + row, 0);
    }
    return out;
}

std::vector<std::uint8_t> logoGif() {
    const Rgb palette[] = {{0x1F, 0x4E, 0x9A}, {0xFF, 0xFF, 0xFF}, {0xF2, 0xA9, 0x00}};
    return makeGif(kLogoWidth, kLogoHeight, palette, [](unsigned x, unsigned y) -> std::uint8_t {
        if (y == 0 || y == kLogoHeight - 1) return 2;  // orange rules top and bottom
        // An "N" between columns 4 and 14, rows 3 to 12.
        if (y >= 3 && y <= 12 && x >= 4 && x <= 14) {
            const unsigned diagonal = 4 + (y - 3) * 10 / 9;
            if (x <= 5 || x >= 13 || x == diagonal || x == diagonal + 1) return 1;
        }
        return 0;
    });
}

std::vector<std::uint8_t> chartGif() {
    const Rgb palette[] = {{0xFF, 0xFF, 0xFF}, {0x2E, 0x8B, 0x57}, {0xC0, 0x39, 0x2B}, {0x33, 0x33, 0x33}};
    return makeGif(kChartSize, kChartSize, palette, [](unsigned x, unsigned y) -> std::uint8_t {
        if (x == 0 || y == kChartSize - 1) return 3;  // axes
        const unsigned heights[] = {6, 10, 8, 13, 4};
        const unsigned bar = (x - 1) / 3;
        if (bar < 5 && (x - 1) % 3 != 2 && kChartSize - 1 - y <= heights[bar]) return bar % 2 ? 2 : 1;
        return 0;
    });
}

}  // namespace samplegen
