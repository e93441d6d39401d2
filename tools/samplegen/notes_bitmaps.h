// Notes bitmaps for the sample database: test pictures whose every pixel the tests know, and the writer
// that compresses them into the CD records rich text stores (header, colour, pattern and transparent
// tables, segments), using each control code of the scanline compression.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "images.h"

namespace samplegen {

struct BitmapPicture {
    std::string name;
    std::uint16_t width = 0, height = 0;
    std::uint16_t bitsPerPixel = 8;  // 1, 8 or 16
    // The colours pixels refer to. For 1 and 8 bits they are the colour table when `colourTable` is set,
    // else the defaults (black and white; the 16 standard colours). For 16 bits every colour must be one
    // that 5 bits per channel hold exactly (each channel v5 << 3 | v5 >> 2).
    std::vector<Rgb> colours;
    bool colourTable = true;
    std::function<std::uint8_t(unsigned x, unsigned y)> pixel;  // index into colours
    std::vector<std::array<std::uint8_t, 8>> patterns;          // 8 pixels each, indices into colours
    std::vector<Rgb> transparent;                                // a transparent table when not empty
    unsigned linesPerSegment = 0xFFFF;
    bool tablesAfterSegments = false;  // the order real rich text has; the documented order otherwise
};

// The pictures: 1, 8 and 16 bits, with and without colour table, several segments, patterns, long runs.
const std::vector<BitmapPicture>& bitmapPictures();

// The records of `picture` in order, each a complete record with its header.
std::vector<std::vector<std::uint8_t>> notesBitmapRecords(const BitmapPicture& picture);

}  // namespace samplegen
