#include "convert.h"

#include <cctype>
#include <string_view>

#include "bmp_file.h"
#include "host_stream.h"
#include "notes_bitmap.h"

namespace nsfrex::pixcnv {
namespace {

bool named(const char* text, std::string_view name) {
    if (text == nullptr) return false;
    const std::string_view given(text);
    if (given.size() != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(given[i])) != name[i]) return false;
    return true;
}

TmpxStatus statusOf(BitmapFault fault) {
    switch (fault) {
        case BitmapFault::TooLarge: return TMPX_TOO_LARGE;
        case BitmapFault::Unsupported: return TMPX_UNSUPPORTED_BITMAP;
        case BitmapFault::Truncated:
        case BitmapFault::Malformed: break;
    }
    return TMPX_BAD_BITMAP;
}

TmpxStatus convert(const char* from, const char* to, void* hIn, void* hOut) {
    if (!named(from, "NBMP") || !named(to, "BMP")) return TMPX_UNKNOWN_CONVERSION;
    const auto in = HostStream::from(hIn);
    const auto out = HostStream::from(hOut);
    if (!in || !out) return TMPX_BAD_STREAM;
    const bool shared = in->get() == out->get();

    const auto inPosition = in->position();
    const auto outPosition = out->position();
    if (!inPosition || !outPosition) return TMPX_BAD_STREAM;
    const auto input = in->readAll();
    if (!input) {
        in->seek(*inPosition);
        return TMPX_BAD_STREAM;
    }
    const auto image = decodeNotesBitmap(*input);
    if (!image) {
        in->seek(*inPosition);
        return statusOf(image.error().fault);
    }

    // The host's stream cannot be shortened: when the BMP is shorter than the records it replaces, zero
    // bytes after the rows fill the rest, and the file header counts them.
    const std::uint64_t size = bmpFileSize(*image);
    const std::uint64_t filler = shared && size < input->size() ? input->size() - size : 0;
    if (size + filler > UINT32_MAX) return TMPX_TOO_LARGE;
    const auto headers = bmpHeaders(*image, static_cast<std::uint32_t>(size + filler));
    if (out->seek(0) && out->write(headers) && out->write(image->pixels) && out->writeZeros(filler))
        return TMPX_OK;

    if (shared && in->seek(0) && in->write(*input)) in->seek(*inPosition);
    if (!shared) out->seek(*outPosition);
    return TMPX_WRITE_FAILED;
}

}  // namespace
}  // namespace nsfrex::pixcnv

extern "C" __attribute__((visibility("default"))) int32_t TMPXconvert(ZAPI*, const char* pszFrom, const char* pszTo,
                                                                     void* hIn, void* hOut, int32_t, int32_t) {
    try {
        return nsfrex::pixcnv::convert(pszFrom, pszTo, hIn, hOut);
    } catch (...) {
        // Allocations are the only thing in the library that throws.
        return TMPX_NO_MEMORY;
    }
}
