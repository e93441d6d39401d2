// Small real images for the sample databases, made here so that no binary file is kept in the source.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace samplegen {

using Rgb = std::array<std::uint8_t, 3>;

// A GIF87a image of up to 128 colours; `pixel(x, y)` gives the palette index. The LZW stream uses
// fixed 8-bit codes with a clear code before the table would outgrow them (valid, uncompressed).
std::vector<std::uint8_t> makeGif(std::uint16_t width, std::uint16_t height, std::span<const Rgb> palette,
                                  const std::function<std::uint8_t(unsigned, unsigned)>& pixel);

// A 24-bit BMP.
std::vector<std::uint8_t> makeBmp(std::uint16_t width, std::uint16_t height,
                                  const std::function<Rgb(unsigned, unsigned)>& pixel);

// The project's logo: a 48 x 16 GIF of a blue band with a white "N".
std::vector<std::uint8_t> logoGif();
inline constexpr std::uint16_t kLogoWidth = 48, kLogoHeight = 16;
// A 16 x 16 chart-like GIF used inside rich text and the MIME mail.
std::vector<std::uint8_t> chartGif();
inline constexpr std::uint16_t kChartSize = 16;

}  // namespace samplegen
