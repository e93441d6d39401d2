#include "nsf/cd_writer.h"

#include <algorithm>
#include <stdexcept>

#include "nsf/lmbcs.h"

namespace nsf {
namespace {

constexpr std::uint8_t kSigParagraph = 0x81, kSigPabDefinition = 0x82, kSigPabReference = 0x83, kSigText = 0x85,
                       kSigFontTable = 0x8B, kSigGraphic = 0x99, kSigImageHeader = 0x7D, kSigImageSegment = 0x7C,
                       kSigTableBegin = 0xA3, kSigTableCell = 0xA4, kSigTableEnd = 0xA5, kSigHotspotBegin = 0xA9,
                       kSigHotspotEnd = 0xAA, kSigV4HotspotBegin = 0xAD, kSigV4HotspotEnd = 0xAE,
                       kSigPreTableBegin = 0xFB, kSigBeginRecord = 0xDD, kSigEndRecord = 0xDE;
constexpr std::uint16_t kHotspotFile = 4, kHotspotLink = 11;
constexpr std::size_t kSegmentBytes = 10240;  // image bytes per segment, as Notes writes them

}  // namespace

void CdWriter::u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
}
void CdWriter::u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
}

void CdWriter::bsig(std::uint8_t sig, std::size_t length) {
    pad();
    u8(sig);
    u8(static_cast<std::uint8_t>(length));
}
void CdWriter::wsig(std::uint8_t sig, std::size_t length) {
    if (length > 0xFFFF) throw std::invalid_argument("CD record over 64 KB");
    pad();
    u8(sig);
    u8(0xFF);
    u16(static_cast<std::uint16_t>(length));
}
void CdWriter::lsig(std::uint8_t sig, std::size_t length) {
    pad();
    u8(sig);
    u8(0x00);
    u32(static_cast<std::uint32_t>(length));
}

CdWriter& CdWriter::pabDefinition(std::uint16_t id, std::uint16_t justify, std::uint16_t flags,
                                  std::uint16_t leftMargin) {
    wsig(kSigPabDefinition, 70);
    u16(id);
    u16(justify);
    u16(0);  // single line spacing
    u16(0);
    u16(0);
    u16(leftMargin);
    u16(0);           // right margin: 1 inch from the paper edge
    u16(leftMargin);  // first line
    u16(0);           // no tab stops
    zeros(40);
    u16(flags);
    u32(0);
    u16(0);
    return *this;
}

CdWriter& CdWriter::paragraph(std::uint16_t pabId) {
    bsig(kSigParagraph, 2);
    bsig(kSigPabReference, 4);
    u16(pabId);
    return *this;
}

CdWriter& CdWriter::text(std::string_view utf8, Font font) {
    const std::vector<std::uint8_t> lmbcs = nsf::utf8TextToLmbcs(utf8);
    wsig(kSigText, 8 + lmbcs.size());
    u8(font.face);
    u8(font.style);
    u8(font.color);
    u8(font.size);
    raw(lmbcs);
    return *this;
}

CdWriter& CdWriter::tableBegin(std::uint8_t rows, std::uint8_t columns) {
    constexpr std::uint16_t kPreTableSignature = 0xFF00 | kSigPreTableBegin;
    bsig(kSigBeginRecord, 6);
    u16(1);
    u16(kPreTableSignature);
    wsig(kSigPreTableBegin, 44);
    u32(0);  // flags
    u8(rows);
    u8(columns);
    u32(0);  // column sizing bits
    u32(0);
    u8(0);  // viewer type
    u8(0);
    u16(0);  // minimum row height
    u16(0);
    u32(0);  // style colours: none
    u32(0);
    u16(0x0001);  // inner border colour: RGB black
    u32(0);
    u16(0);  // name, image packet and row label lengths
    u16(0);
    u16(0);
    bsig(kSigEndRecord, 6);
    u16(1);
    u16(kPreTableSignature);

    bsig(kSigTableBegin, 14);
    u16(0);     // left margin
    u16(144);   // horizontal and vertical space between cells
    u16(144);
    u16(0);
    u16(0);
    u16(0x0002);  // V4 borders
    return *this;
}

CdWriter& CdWriter::tableCell(std::uint8_t row, std::uint8_t column, std::uint8_t columns, std::uint16_t columnTwips) {
    bsig(kSigTableCell, 18);
    u8(row);
    u8(column);
    u16(static_cast<std::uint16_t>(column * columnTwips));  // the cell's left and right edges
    u16(static_cast<std::uint16_t>((column + 1) * columnTwips));
    u16(static_cast<std::uint16_t>(28800 / columns));  // share of the table, of 20 inches
    u8(0x55);  // single borders on all four sides
    u8(0);
    u16(0x1111);
    u8(1);  // no spans
    u8(1);
    u16(0);
    return *this;
}

CdWriter& CdWriter::tableEnd() {
    bsig(kSigTableEnd, 6);
    u32(0);
    return *this;
}

CdWriter& CdWriter::linkBegin(std::string_view url) {
    wsig(kSigV4HotspotBegin, 12 + url.size() + 1);
    u16(kHotspotLink);
    u32(0x1000 | 0x8);  // a URL (in Notes), no border
    u16(static_cast<std::uint16_t>(url.size() + 1));
    raw(url);
    u8(0);
    return *this;
}

CdWriter& CdWriter::linkEnd() {
    bsig(kSigV4HotspotEnd, 2);
    return *this;
}

CdWriter& CdWriter::attachmentIcon(std::string_view objectName, std::string_view fileName) {
    const std::vector<std::uint8_t> object = nsf::utf8ToLmbcs(objectName);
    const std::vector<std::uint8_t> file = nsf::utf8ToLmbcs(fileName);
    const std::size_t data = object.size() + 1 + file.size() + 1;
    wsig(kSigHotspotBegin, 12 + data);
    u16(kHotspotFile);
    u32(0);
    u16(static_cast<std::uint16_t>(data));
    raw(object);
    u8(0);
    raw(file);
    u8(0);
    bsig(kSigHotspotEnd, 2);
    return *this;
}

void CdWriter::graphicHeader(std::uint16_t width, std::uint16_t height) {
    lsig(kSigGraphic, 28);
    u16(width);  // destination size in pixels (flag below)
    u16(height);
    zeros(4 + 8);
    u16(0);
    u8(2);     // version 3
    u8(0x01);  // size in pixels
    u16(0);
}

CdWriter& CdWriter::graphic(ImageType type, std::uint16_t width, std::uint16_t height,
                            std::span<const std::uint8_t> bytes) {
    graphicHeader(width, height);
    return image(type, width, height, bytes);
}

CdWriter& CdWriter::notesBitmap(std::uint16_t width, std::uint16_t height,
                                std::span<const std::vector<std::uint8_t>> records) {
    graphicHeader(width, height);
    for (const auto& record : records) {
        pad();
        raw(record);
    }
    return *this;
}

CdWriter& CdWriter::image(ImageType type, std::uint16_t width, std::uint16_t height,
                          std::span<const std::uint8_t> bytes) {
    const std::size_t segments = (bytes.size() + kSegmentBytes - 1) / kSegmentBytes;
    lsig(kSigImageHeader, 28);
    u16(static_cast<std::uint16_t>(type));
    u16(width);
    u16(height);
    u32(static_cast<std::uint32_t>(bytes.size()));
    u32(static_cast<std::uint32_t>(segments));
    u32(0);
    u32(0);
    for (std::size_t at = 0; at < bytes.size(); at += kSegmentBytes) {
        const std::size_t n = std::min(kSegmentBytes, bytes.size() - at);
        const std::size_t even = n + (n % 2);
        lsig(kSigImageSegment, 10 + even);
        u16(static_cast<std::uint16_t>(n));
        u16(static_cast<std::uint16_t>(even));
        raw(bytes.subspan(at, n));
        if (even != n) u8(0);
    }
    return *this;
}

CdWriter& CdWriter::fonts(std::span<const FontFace> faces) {
    pad();
    raw(fontTable(faces));
    return *this;
}

std::vector<std::uint8_t> fontTable(std::span<const FontFace> faces) {
    std::vector<std::uint8_t> out;
    auto u16 = [&](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    out.push_back(kSigFontTable);
    out.push_back(0xFF);
    u16(static_cast<std::uint16_t>(6 + 34 * faces.size()));
    u16(static_cast<std::uint16_t>(faces.size()));
    for (const FontFace& f : faces) {
        out.push_back(f.id);
        out.push_back(f.family);
        std::string name = f.name.substr(0, 31);
        name.resize(32, '\0');
        out.insert(out.end(), name.begin(), name.end());
    }
    return out;
}

}  // namespace nsf
