#include "notes_bitmap.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <optional>
#include <type_traits>

namespace nsfrex::pixcnv {

const Rgb kStandardColours[16] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

namespace {

// Error messages: text and numbers run together.
void put(std::string& s, std::string_view text) {
    s += text;
}
template <typename Number>
requires std::is_integral_v<Number>
void put(std::string& s, Number n) {
    s += std::to_string(n);
}
template <typename... Parts>
std::string say(const Parts&... parts) {
    std::string s;
    (put(s, parts), ...);
    return s;
}
std::string hex(std::uint8_t signature) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    return {'0', 'x', kDigits[signature >> 4], kDigits[signature & 15]};
}

constexpr std::uint8_t kSigHeader = 0x95;
constexpr std::uint8_t kSigSegment = 0x96;
constexpr std::uint8_t kSigColourTable = 0x97;
constexpr std::uint8_t kSigPatternTable = 0x98;
constexpr std::uint8_t kSigTransparentTable = 0xC5;

constexpr std::size_t kRecordHeaderSize = 6;  // signature, 0, length (4 bytes)
constexpr std::size_t kHeaderSize = 38;
constexpr std::size_t kSegmentSize = 18;
constexpr std::size_t kTransparentTableSize = 10;
constexpr std::size_t kColourEntrySize = 3;
constexpr std::size_t kPatternEntrySize = 24;
constexpr std::uint32_t kPatternPixels = 8;
constexpr std::size_t kMaxColours = 256;
constexpr std::size_t kMaxPatterns = 64;

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::unexpected<BitmapError> fail(BitmapFault fault, std::string message) {
    return std::unexpected(BitmapError{fault, std::move(message)});
}

struct Record {
    std::uint8_t signature = 0;
    std::size_t offset = 0;
    std::span<const std::uint8_t> bytes;  // the whole record, header included
};

// The records one after another; every one is a long record (length in 4 bytes) that fits.
std::expected<std::vector<Record>, BitmapError> splitRecords(std::span<const std::uint8_t> data) {
    std::vector<Record> records;
    std::size_t at = 0;
    while (at < data.size()) {
        const std::size_t left = data.size() - at;
        if (left < kRecordHeaderSize)
            return fail(BitmapFault::Truncated,
                        say("record at offset ", at, ": ", left, " bytes left, a header needs 6"));
        if (data[at + 1] != 0)
            return fail(BitmapFault::Malformed,
                        say("record ", hex(data[at]), " at offset ", at, ": not a record with a 4-byte length"));
        const std::uint32_t length = le32(data, at + 2);
        if (length < kRecordHeaderSize || length > left)
            return fail(BitmapFault::Truncated, say("record ", hex(data[at]), " at offset ", at, ": length ", length,
                                                    ", ", left, " bytes left"));
        records.push_back({data[at], at, data.subspan(at, length)});
        at += length;
    }
    return records;
}

struct Header {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bitsPerPixel = 0;
    std::uint16_t segmentCount = 0, colourCount = 0, patternCount = 0;
};

std::expected<Header, BitmapError> parseHeader(const Record& record) {
    if (record.signature != kSigHeader)
        return fail(BitmapFault::Malformed, say("first record is ", hex(record.signature), ", not a bitmap header"));
    if (record.bytes.size() < kHeaderSize)
        return fail(BitmapFault::Truncated, say("bitmap header of ", record.bytes.size(), " bytes, needs 38"));
    Header h;
    h.width = le16(record.bytes, 22);
    h.height = le16(record.bytes, 24);
    h.bitsPerPixel = le16(record.bytes, 26);
    h.segmentCount = le16(record.bytes, 32);
    h.colourCount = le16(record.bytes, 34);
    h.patternCount = le16(record.bytes, 36);
    if (h.width == 0 || h.height == 0)
        return fail(BitmapFault::Malformed, say("bitmap of ", h.width, " x ", h.height, " pixels"));
    if (std::uint64_t{h.width} * h.height > kMaxPixels)
        return fail(BitmapFault::TooLarge, say("bitmap of ", h.width, " x ", h.height, " pixels is above the limit of ",
                                               kMaxPixels, " pixels"));
    if (h.bitsPerPixel != 1 && h.bitsPerPixel != 8 && h.bitsPerPixel != 16)
        return fail(BitmapFault::Malformed, say(h.bitsPerPixel, " bits per pixel (1, 8 or 16 allowed)"));
    if (h.segmentCount == 0) return fail(BitmapFault::Malformed, "bitmap without segments");
    if (h.colourCount > kMaxColours) return fail(BitmapFault::Malformed, say(h.colourCount, " colours (at most 256)"));
    if (h.patternCount > kMaxPatterns)
        return fail(BitmapFault::Malformed, say(h.patternCount, " patterns (at most 64)"));
    return h;
}

// What the records after the header hold.
struct Parts {
    std::span<const std::uint8_t> colours;   // colourCount entries of R, G, B
    std::span<const std::uint8_t> patterns;  // patternCount entries of 24 bytes
    std::vector<Record> segments;
};

std::expected<Parts, BitmapError> collectParts(const Header& h, std::span<const Record> records) {
    Parts parts;
    bool colourTable = false, patternTable = false, transparentTable = false;
    for (const Record& r : records) {
        auto table = [&](bool& seen, std::size_t need, std::string_view what) -> std::optional<BitmapError> {
            if (seen) return BitmapError{BitmapFault::Malformed, say("a second ", what, " at offset ", r.offset)};
            seen = true;
            if (r.bytes.size() < need)
                return BitmapError{BitmapFault::Truncated,
                                   say(what, " at offset ", r.offset, ": ", r.bytes.size(), " bytes, needs ", need)};
            return std::nullopt;
        };
        std::optional<BitmapError> error;
        switch (r.signature) {
            case kSigSegment:
                parts.segments.push_back(r);
                break;
            case kSigColourTable:
                error = table(colourTable, kRecordHeaderSize + h.colourCount * kColourEntrySize, "colour table");
                if (!error) parts.colours = r.bytes.subspan(kRecordHeaderSize, h.colourCount * kColourEntrySize);
                break;
            case kSigPatternTable:
                error = table(patternTable, kRecordHeaderSize + h.patternCount * kPatternEntrySize, "pattern table");
                if (!error) parts.patterns = r.bytes.subspan(kRecordHeaderSize, h.patternCount * kPatternEntrySize);
                break;
            case kSigTransparentTable:
                // A BMP has no transparency: the transparent colours stay plain colours. Only the size is checked.
                error = table(transparentTable, kTransparentTableSize, "transparent table");
                if (!error && r.bytes.size() < kTransparentTableSize + le16(r.bytes, 8) * kColourEntrySize)
                    error = BitmapError{BitmapFault::Truncated,
                                        say("transparent table at offset ", r.offset, ": ", r.bytes.size(),
                                            " bytes for ", le16(r.bytes, 8), " colours")};
                break;
            default:
                error = BitmapError{BitmapFault::Malformed, say("record ", hex(r.signature), " at offset ", r.offset,
                                                                " is no part of a bitmap")};
        }
        if (error) return std::unexpected(std::move(*error));
    }
    if (parts.segments.size() != h.segmentCount)
        return fail(BitmapFault::Malformed, say(parts.segments.size(), " segments, the header says ", h.segmentCount));
    return parts;
}

// Fills out[unit, total) with copies of out[0, unit), doubling the copied span each step.
void repeat(std::uint8_t* out, std::size_t unit, std::size_t total) {
    for (std::size_t done = unit; done < total;) {
        const std::size_t n = std::min(done, total - done);
        std::memcpy(out + done, out, n);
        done += n;
    }
}

// How one pixel depth reads PELs (the unit of a run) and writes them into a BMP row.
struct Mono {  // a PEL is one byte of 8 pixels, stored as it is
    static constexpr std::size_t kPelBytes = 1, kOutBytes = 1;
    static void fill(std::uint8_t* out, const std::uint8_t* pel, std::uint32_t n) { std::memset(out, *pel, n); }
    static void copy(std::uint8_t* out, const std::uint8_t* pels, std::uint32_t n) { std::memcpy(out, pels, n); }
    static constexpr bool kPatterns = false;
    static void pattern(std::uint8_t*, const std::uint8_t*) {}
};

struct Indexed {  // a PEL is one colour index
    static constexpr std::size_t kPelBytes = 1, kOutBytes = 1;
    static void fill(std::uint8_t* out, const std::uint8_t* pel, std::uint32_t n) { std::memset(out, *pel, n); }
    static void copy(std::uint8_t* out, const std::uint8_t* pels, std::uint32_t n) { std::memcpy(out, pels, n); }
    static constexpr bool kPatterns = true;
    // An 8-bit image uses the first 8 bytes of a pattern entry, as colour indices.
    static void pattern(std::uint8_t* out, const std::uint8_t* entry) { std::memcpy(out, entry, kPatternPixels); }
};

struct Rgb555 {  // a PEL is a little-endian word 0RRRRRGGGGGBBBBB, written as 8-bit B, G, R
    static constexpr std::size_t kPelBytes = 2, kOutBytes = 3;
    static std::uint8_t widen(unsigned v5) { return static_cast<std::uint8_t>(v5 << 3 | v5 >> 2); }
    static void put(std::uint8_t* out, const std::uint8_t* pel) {
        const unsigned word = pel[0] | pel[1] << 8;
        out[0] = widen(word & 31);
        out[1] = widen(word >> 5 & 31);
        out[2] = widen(word >> 10 & 31);
    }
    static void fill(std::uint8_t* out, const std::uint8_t* pel, std::uint32_t n) {
        if (n == 0) return;
        put(out, pel);
        repeat(out, 3, std::size_t{3} * n);
    }
    static void copy(std::uint8_t* out, const std::uint8_t* pels, std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i) put(out + 3 * i, pels + 2 * i);
    }
    static constexpr bool kPatterns = true;
    // A colour image uses all 24 bytes of a pattern entry: 8 pixels of R, G, B.
    static void pattern(std::uint8_t* out, const std::uint8_t* entry) {
        for (std::uint32_t i = 0; i < kPatternPixels; ++i) {
            out[3 * i] = entry[3 * i + 2];
            out[3 * i + 1] = entry[3 * i + 1];
            out[3 * i + 2] = entry[3 * i];
        }
    }
};

enum class LineFault { None, Truncated, Overrun, BadPattern, PatternsUnsupported };

// One scanline of `units` PELs from the compressed data at `in` (moved past what it used). No run may
// cross the end of the line.
template <typename Depth>
LineFault decodeLine(const std::uint8_t*& in, const std::uint8_t* end, std::uint8_t* out, std::uint32_t units,
                     std::span<const std::uint8_t> patterns) {
    constexpr std::size_t kPel = Depth::kPelBytes;
    std::uint32_t x = 0;
    while (x < units) {
        if (in == end) return LineFault::Truncated;
        const std::uint8_t control = *in++;
        std::uint32_t count = control & 0x3F;
        const auto left = static_cast<std::size_t>(end - in);
        switch (control >> 6) {
            case 0:  // count PELs follow literally
                if (count > units - x) return LineFault::Overrun;
                if (left < count * kPel) return LineFault::Truncated;
                Depth::copy(out + x * Depth::kOutBytes, in, count);
                in += count * kPel;
                break;
            case 2:  // a 14-bit count, then one PEL repeated
                if (left < 1 + kPel) return LineFault::Truncated;
                count = count << 8 | *in++;
                [[fallthrough]];
            case 3:  // one PEL repeated
                if (count > units - x) return LineFault::Overrun;
                if (static_cast<std::size_t>(end - in) < kPel) return LineFault::Truncated;
                Depth::fill(out + x * Depth::kOutBytes, in, count);
                in += kPel;
                break;
            default: {  // a 14-bit count of 8-pixel pattern entries, then the entry's index
                if (left < 2) return LineFault::Truncated;
                count = count << 8 | in[0];
                const std::size_t index = in[1];
                in += 2;
                if (!Depth::kPatterns) return LineFault::PatternsUnsupported;
                if (index >= patterns.size() / kPatternEntrySize) return LineFault::BadPattern;
                if (count > (units - x) / kPatternPixels) return LineFault::Overrun;
                if (count > 0) {
                    std::uint8_t* first = out + x * Depth::kOutBytes;
                    Depth::pattern(first, patterns.data() + index * kPatternEntrySize);
                    repeat(first, kPatternPixels * Depth::kOutBytes, std::size_t{count} * kPatternPixels * Depth::kOutBytes);
                }
                count *= kPatternPixels;
            }
        }
        x += count;
    }
    return LineFault::None;
}

std::string_view describe(LineFault fault) {
    switch (fault) {
        case LineFault::Truncated:
            return "the compressed data ends inside the line";
        case LineFault::Overrun:
            return "a run goes past the end of the line";
        case LineFault::BadPattern:
            return "a pattern index beyond the pattern table";
        case LineFault::PatternsUnsupported:
            return "a pattern in a 1-bit bitmap";
        case LineFault::None:
            break;
    }
    return "";
}

// Decodes every segment into `image`, whose rows are allocated.
template <typename Depth>
std::optional<BitmapError> decodeSegments(const Header& h, const Parts& parts, Image& image) {
    const std::uint32_t units = h.bitsPerPixel == 1 ? (h.width + 7) / 8 : h.width;
    const std::size_t rowBytes = std::size_t{units} * Depth::kOutBytes;
    std::uint32_t y = 0;
    for (const Record& segment : parts.segments) {
        if (segment.bytes.size() < kSegmentSize)
            return BitmapError{BitmapFault::Truncated, say("segment at offset ", segment.offset, ": ",
                                                           segment.bytes.size(), " bytes, needs 18")};
        const std::uint16_t lines = le16(segment.bytes, 14);
        const std::uint16_t dataSize = le16(segment.bytes, 16);
        if (segment.bytes.size() - kSegmentSize < dataSize)
            return BitmapError{BitmapFault::Truncated,
                               say("segment at offset ", segment.offset, ": ", dataSize,
                                   " bytes of data, record holds ", segment.bytes.size() - kSegmentSize)};
        if (lines > h.height - y)
            return BitmapError{BitmapFault::Malformed, say("segment at offset ", segment.offset, ": ", lines,
                                                           " lines after ", y, " of ", h.height)};
        const std::uint8_t* in = segment.bytes.data() + kSegmentSize;
        const std::uint8_t* end = in + dataSize;
        for (std::uint32_t i = 0; i < lines; ++i, ++y) {
            std::uint8_t* out = image.pixels.data() + (h.height - 1 - y) * image.stride;
            if (const LineFault fault = decodeLine<Depth>(in, end, out, units, parts.patterns);
                fault != LineFault::None)
                return BitmapError{fault == LineFault::PatternsUnsupported ? BitmapFault::Unsupported
                                   : fault == LineFault::Truncated         ? BitmapFault::Truncated
                                                                           : BitmapFault::Malformed,
                                   say("line ", y, " in segment at offset ", segment.offset, ": ", describe(fault))};
            // A decoded line fills exactly `units` PELs; the row's padding is zeroed here.
            std::memset(out + rowBytes, 0, image.stride - rowBytes);
        }
        if (in != end)
            return BitmapError{BitmapFault::Malformed, say("segment at offset ", segment.offset, ": ", end - in,
                                                           " bytes left after its ", lines, " lines")};
    }
    if (y != h.height)
        return BitmapError{BitmapFault::Malformed, say("segments hold ", y, " lines, the header says ", h.height)};
    return std::nullopt;
}

std::vector<Rgb> tableColours(std::span<const std::uint8_t> table) {
    std::vector<Rgb> colours(table.size() / kColourEntrySize);
    for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = {table[3 * i], table[3 * i + 1], table[3 * i + 2]};
    return colours;
}

// The palette of a 1- or 8-bit image: the colour table, or the defaults where there is none, then black
// for indices the rows use beyond it, so that every pixel has a defined colour.
std::vector<Rgb> paletteFor(const Header& h, const Parts& parts, const Image& image) {
    std::vector<Rgb> palette = tableColours(parts.colours);
    if (h.bitsPerPixel == 1) {
        const Rgb defaults[2] = {{0, 0, 0}, {255, 255, 255}};
        for (std::size_t i = palette.size(); i < 2; ++i) palette.push_back(defaults[i]);
        palette.resize(2);
        return palette;
    }
    if (palette.empty()) palette.assign(std::begin(kStandardColours), std::end(kStandardColours));
    if (palette.size() < kMaxColours) {
        std::uint8_t highest = 0;
        for (std::uint32_t y = 0; y < image.height; ++y)
            for (const std::uint8_t index : image.row(y).first(image.width)) highest = std::max(highest, index);
        if (highest >= palette.size()) palette.resize(std::size_t{highest} + 1);
    }
    return palette;
}

}  // namespace

std::expected<Image, BitmapError> decodeNotesBitmap(std::span<const std::uint8_t> data) {
    auto records = splitRecords(data);
    if (!records) return std::unexpected(std::move(records.error()));
    if (records->empty()) return fail(BitmapFault::Truncated, "no records");
    auto header = parseHeader(records->front());
    if (!header) return std::unexpected(std::move(header.error()));
    auto parts = collectParts(*header, std::span(*records).subspan(1));
    if (!parts) return std::unexpected(std::move(parts.error()));

    Image image;
    image.width = header->width;
    image.height = header->height;
    image.bitsPerPixel = header->bitsPerPixel == 16 ? 24 : header->bitsPerPixel;
    image.stride = (std::size_t{image.width} * image.bitsPerPixel + 31) / 32 * 4;
    image.pixels.resize(image.stride * image.height);  // every byte is written below: rows and padding

    std::optional<BitmapError> error;
    switch (header->bitsPerPixel) {
        case 1:
            error = decodeSegments<Mono>(*header, *parts, image);
            break;
        case 8:
            error = decodeSegments<Indexed>(*header, *parts, image);
            break;
        default:
            error = decodeSegments<Rgb555>(*header, *parts, image);
            break;
    }
    if (error) return std::unexpected(std::move(*error));
    if (image.bitsPerPixel != 24) image.palette = paletteFor(*header, *parts, image);
    return image;
}

}  // namespace nsfrex::pixcnv
