#include "notes_bitmaps.h"

#include <algorithm>
#include <stdexcept>

namespace samplegen {
namespace {

constexpr std::uint8_t kSigHeader = 0x95, kSigSegment = 0x96, kSigColourTable = 0x97, kSigPatternTable = 0x98,
                       kSigTransparentTable = 0xC5;
constexpr std::uint16_t kRequiresPalette = 0x0001;
constexpr unsigned kMaxShortCount = 63, kMaxLongCount = 0x3FFF;

// The colours of 8-bit bitmaps without a colour table, by index.
const std::vector<Rgb>& standardColours() {
    static const std::vector<Rgb> colours = {
        {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0}, {0, 0, 128}, {128, 0, 128},
        {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0}, {255, 255, 0},
        {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    return colours;
}

std::uint8_t widen(unsigned v5) { return static_cast<std::uint8_t>(v5 << 3 | v5 >> 2); }
Rgb rgb15(unsigned r5, unsigned g5, unsigned b5) { return {widen(r5), widen(g5), widen(b5)}; }
std::uint16_t word15(const Rgb& c) {
    if (rgb15(c[0] >> 3, c[1] >> 3, c[2] >> 3) != c) throw std::invalid_argument("colour not exact in 5 bits");
    return static_cast<std::uint16_t>((c[0] >> 3) << 10 | (c[1] >> 3) << 5 | c[2] >> 3);
}

class Record {
public:
    Record(std::uint8_t signature, std::size_t length) {
        bytes.reserve(length);
        u8(signature);
        u8(0);
        u32(static_cast<std::uint32_t>(length));
    }
    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void rgb(const Rgb& c) { bytes.insert(bytes.end(), c.begin(), c.end()); }
    std::vector<std::uint8_t> bytes;
};

// One scanline of PEL values compressed greedily: long runs take the 14-bit repeat code, runs of pattern
// entries the pattern code, short runs the 6-bit repeat code, the rest literals.
class LineEncoder {
public:
    LineEncoder(std::size_t pelBytes, const std::vector<std::array<std::uint16_t, 8>>& patterns)
        : pelBytes_(pelBytes), patterns_(patterns) {}

    void encode(const std::vector<std::uint16_t>& pels, std::vector<std::uint8_t>& out) {
        std::vector<std::uint16_t> literal;
        auto flush = [&] {
            if (literal.empty()) return;
            out.push_back(static_cast<std::uint8_t>(literal.size()));
            for (const std::uint16_t v : literal) pel(v, out);
            literal.clear();
        };
        for (std::size_t x = 0; x < pels.size();) {
            std::size_t run = 1;
            while (x + run < pels.size() && pels[x + run] == pels[x] && run < kMaxLongCount) ++run;
            const auto [entry, repeats] = patternRun(pels, x);
            if (run > kMaxShortCount) {
                flush();
                out.push_back(static_cast<std::uint8_t>(0x80 | run >> 8));
                out.push_back(static_cast<std::uint8_t>(run));
                pel(pels[x], out);
                x += run;
            } else if (repeats > 0 && 8 * repeats > run) {
                flush();
                out.push_back(static_cast<std::uint8_t>(0x40 | repeats >> 8));
                out.push_back(static_cast<std::uint8_t>(repeats));
                out.push_back(static_cast<std::uint8_t>(entry));
                x += 8 * repeats;
            } else if (run >= 3) {
                flush();
                out.push_back(static_cast<std::uint8_t>(0xC0 | run));
                pel(pels[x], out);
                x += run;
            } else {
                literal.push_back(pels[x++]);
                if (literal.size() == kMaxShortCount) flush();
            }
        }
        flush();
    }

private:
    void pel(std::uint16_t v, std::vector<std::uint8_t>& out) const {
        out.push_back(static_cast<std::uint8_t>(v));
        if (pelBytes_ == 2) out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    // The pattern entry repeated most often from x on, and how often.
    std::pair<std::size_t, std::size_t> patternRun(const std::vector<std::uint16_t>& pels, std::size_t x) const {
        std::pair<std::size_t, std::size_t> best{0, 0};
        for (std::size_t k = 0; k < patterns_.size(); ++k) {
            std::size_t n = 0;
            while (x + 8 * (n + 1) <= pels.size() && n < kMaxLongCount &&
                   std::equal(patterns_[k].begin(), patterns_[k].end(), pels.begin() + x + 8 * n))
                ++n;
            if (n > best.second) best = {k, n};
        }
        return best;
    }

    std::size_t pelBytes_;
    const std::vector<std::array<std::uint16_t, 8>>& patterns_;
};

// The PEL values of one scanline: bytes of 8 pixels (1 bit), colour indices (8) or 5-5-5 words (16).
std::vector<std::uint16_t> scanline(const BitmapPicture& p, unsigned y) {
    std::vector<std::uint16_t> pels;
    if (p.bitsPerPixel == 1) {
        pels.assign((p.width + 7u) / 8, 0);
        for (unsigned x = 0; x < p.width; ++x)
            if (p.pixel(x, y) != 0) pels[x / 8] |= static_cast<std::uint16_t>(0x80 >> (x % 8));
    } else {
        for (unsigned x = 0; x < p.width; ++x)
            pels.push_back(p.bitsPerPixel == 8 ? p.pixel(x, y) : word15(p.colours.at(p.pixel(x, y))));
    }
    return pels;
}

std::vector<std::uint8_t> header(const BitmapPicture& p, std::size_t segments) {
    Record r(kSigHeader, 38);
    r.u16(p.width);  // destination size
    r.u16(p.height);
    r.u32(0);  // crop
    r.u16(p.colourTable && p.colours.size() > 16 ? kRequiresPalette : 0);
    r.u16(0);
    r.u32(0);
    r.u16(p.width);
    r.u16(p.height);
    r.u16(p.bitsPerPixel);
    r.u16(p.bitsPerPixel == 16 ? 3 : 1);  // samples per pixel
    r.u16(p.bitsPerPixel == 16 ? 5 : p.bitsPerPixel);
    r.u16(static_cast<std::uint16_t>(segments));
    r.u16(p.colourTable ? static_cast<std::uint16_t>(p.colours.size()) : 0);
    r.u16(static_cast<std::uint16_t>(p.patterns.size()));
    return r.bytes;
}

}  // namespace

const std::vector<BitmapPicture>& bitmapPictures() {
    static const std::vector<BitmapPicture> pictures = [] {
        std::vector<BitmapPicture> out;
        // 1 bit without colour table: a frame, a diagonal and a chequered block; 70 pixels wide, so the
        // last byte of each line is partly used.
        out.push_back({.name = "mono",
                       .width = 70,
                       .height = 20,
                       .bitsPerPixel = 1,
                       .colours = {{0, 0, 0}, {255, 255, 255}},
                       .colourTable = false,
                       .pixel = [](unsigned x, unsigned y) -> std::uint8_t {
                           if (x == 0 || y == 0 || x == 69 || y == 19 || x == 3 * y) return 0;
                           if (x >= 40 && x < 60 && y >= 5 && y < 15) return (x + y) % 2;
                           return 1;
                       }});
        // 1 bit with a colour table, wide enough for 14-bit runs of bytes.
        out.push_back({.name = "mono-banner",
                       .width = 700,
                       .height = 12,
                       .bitsPerPixel = 1,
                       .colours = {{0x10, 0x20, 0x70}, {0xF0, 0xD0, 0x20}},
                       .pixel = [](unsigned x, unsigned y) -> std::uint8_t {
                           if (y < 4) return 0;
                           if (y < 8) return (x / 50 + y) % 2;
                           return x % 3 == 0;
                       },
                       .linesPerSegment = 5});
        // 8 bits without colour table: bands of the 16 standard colours, solid lines and a noisy block.
        out.push_back({.name = "standard-colours",
                       .width = 80,
                       .height = 32,
                       .bitsPerPixel = 8,
                       .colours = standardColours(),
                       .colourTable = false,
                       .pixel = [](unsigned x, unsigned y) -> std::uint8_t {
                           if (y < 4) return 12;
                           if (y >= 20 && y < 22) return x % 2 ? 15 : 0;
                           if (y >= 24 && x < 30) return static_cast<std::uint8_t>((x * 7 + y * 13) % 16);
                           return static_cast<std::uint8_t>(x / 5);
                       },
                       .patterns = {{0, 15, 0, 15, 0, 15, 0, 15}}});
        // 8 bits with a colour table of 40 shades, three pattern entries, several segments, and the tables
        // after the segments.
        std::vector<Rgb> shades;
        for (unsigned i = 0; i < 40; ++i)
            shades.push_back({static_cast<std::uint8_t>(i * 6), static_cast<std::uint8_t>(100 + i * 3),
                              static_cast<std::uint8_t>(240 - i * 6)});
        out.push_back({.name = "shades",
                       .width = 99,
                       .height = 41,
                       .bitsPerPixel = 8,
                       .colours = shades,
                       .pixel = [](unsigned x, unsigned y) -> std::uint8_t {
                           if (y % 10 == 0) return static_cast<std::uint8_t>(x < 88 ? (x / 4) % 2 : 39);
                           if (y % 10 == 5) return static_cast<std::uint8_t>(x < 96 ? 7 - x % 8 : 20);
                           return static_cast<std::uint8_t>((x + y) % 40);
                       },
                       .patterns = {{0, 0, 0, 0, 1, 1, 1, 1}, {7, 6, 5, 4, 3, 2, 1, 0}, {9, 9, 9, 9, 9, 9, 9, 8}},
                       .linesPerSegment = 16,
                       .tablesAfterSegments = true});
        // 16 bits without colour table: red-green gradient, blue bars, a pattern band, mixed colours.
        out.push_back({.name = "colour",
                       .width = 90,
                       .height = 30,
                       .bitsPerPixel = 16,
                       .colours = [] {
                           std::vector<Rgb> c;
                           for (unsigned i = 0; i < 32; ++i) c.push_back(rgb15(i, 31 - i, 4));
                           c.push_back(rgb15(0, 0, 31));
                           c.push_back(rgb15(31, 31, 31));
                           return c;
                       }(),
                       .colourTable = false,
                       .pixel = [](unsigned x, unsigned y) -> std::uint8_t {
                           if (y < 3) return 32;
                           if (y >= 24) return static_cast<std::uint8_t>((x * 7 + y * 3) % 34);
                           if (y >= 10 && y < 14) return static_cast<std::uint8_t>(x < 80 ? (x % 8 < 4 ? 32 : 33) : 5);
                           return static_cast<std::uint8_t>((x / 3 + y) % 32);
                       },
                       .patterns = {{32, 32, 32, 32, 33, 33, 33, 33}},
                       .linesPerSegment = 7});
        // 16 bits with a colour table (unused by 16-bit pixels) and a transparent colour.
        out.push_back({.name = "colour-tables",
                       .width = 21,
                       .height = 9,
                       .bitsPerPixel = 16,
                       .colours = {rgb15(31, 0, 0), rgb15(0, 31, 0), rgb15(0, 0, 31), rgb15(31, 31, 31)},
                       .pixel = [](unsigned x, unsigned y) -> std::uint8_t { return (x / 5 + y / 3) % 4; },
                       .transparent = {rgb15(31, 31, 31)},
                       .linesPerSegment = 4});
        return out;
    }();
    return pictures;
}

std::vector<std::vector<std::uint8_t>> notesBitmapRecords(const BitmapPicture& p) {
    std::vector<std::array<std::uint16_t, 8>> patternPels;
    for (const auto& entry : p.patterns) {
        std::array<std::uint16_t, 8>& pels = patternPels.emplace_back();
        for (std::size_t i = 0; i < 8; ++i)
            pels[i] = p.bitsPerPixel == 16 ? word15(p.colours.at(entry[i])) : entry[i];
    }
    LineEncoder encoder(p.bitsPerPixel == 16 ? 2 : 1, patternPels);

    std::vector<std::vector<std::uint8_t>> segments;
    for (unsigned first = 0; first < p.height; first += p.linesPerSegment) {
        const unsigned lines = std::min<unsigned>(p.linesPerSegment, p.height - first);
        std::vector<std::uint8_t> data;
        for (unsigned y = first; y < first + lines; ++y) encoder.encode(scanline(p, y), data);
        Record r(kSigSegment, 18 + data.size() + data.size() % 2);
        r.u32(0);
        r.u32(0);
        r.u16(static_cast<std::uint16_t>(lines));
        r.u16(static_cast<std::uint16_t>(data.size()));
        r.bytes.insert(r.bytes.end(), data.begin(), data.end());
        if (data.size() % 2) r.u8(0);  // the record keeps an even size
        segments.push_back(std::move(r.bytes));
    }

    std::vector<std::vector<std::uint8_t>> tables;
    if (!p.transparent.empty()) {
        Record r(kSigTransparentTable, 10 + 3 * p.transparent.size());
        r.u16(0);
        r.u16(static_cast<std::uint16_t>(p.transparent.size()));
        for (const Rgb& c : p.transparent) r.rgb(c);
        tables.push_back(std::move(r.bytes));
    }
    if (p.colourTable) {
        Record r(kSigColourTable, 6 + 3 * p.colours.size());
        for (const Rgb& c : p.colours) r.rgb(c);
        tables.push_back(std::move(r.bytes));
    }
    if (!p.patterns.empty()) {
        Record r(kSigPatternTable, 6 + 24 * p.patterns.size());
        for (const auto& entry : p.patterns)
            for (std::size_t i = 0; i < 8; ++i) {
                if (p.bitsPerPixel == 16) {
                    r.rgb(p.colours.at(entry[i]));
                } else {
                    r.u8(entry[i]);
                    if (i == 7) r.bytes.resize(r.bytes.size() + 16, 0);
                }
            }
        tables.push_back(std::move(r.bytes));
    }

    std::vector<std::vector<std::uint8_t>> records{header(p, segments.size())};
    auto append = [&](std::vector<std::vector<std::uint8_t>>& from) {
        for (auto& r : from) records.push_back(std::move(r));
    };
    if (p.tablesAfterSegments) {
        append(segments);
        append(tables);
    } else {
        append(tables);
        append(segments);
    }
    return records;
}

}  // namespace samplegen
