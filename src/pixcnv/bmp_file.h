// Windows BMP files: a file header, a BITMAPINFOHEADER, the palette, then the image's rows as they are.
#pragma once

#include <cstdint>
#include <vector>

#include "notes_bitmap.h"

namespace nsfrex::pixcnv {

// Everything before the rows. `fileSize` is what the file header states: at least the headers, the
// palette and the rows, more when bytes follow the rows.
std::vector<std::uint8_t> bmpHeaders(const Image& image, std::uint32_t fileSize);

// The size of the headers and palette, and of the whole file without trailing bytes.
std::uint64_t bmpHeaderSize(const Image& image);
std::uint64_t bmpFileSize(const Image& image);

}  // namespace nsfrex::pixcnv
