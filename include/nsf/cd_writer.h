// A small writer of rich-text (CD) records, in the canonical layouts of the Notes C API: enough for
// the sample databases and for MIME bodies converted to rich text: paragraphs, fonts, lists, tables,
// links, attachment icons and images.
// Records are packed one after another, each starting on an even offset.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nsf {

// FONTID: face (0 serif, 1 sans, 4 monospace, 5+ the note's $Fonts table), style bits, palette
// colour, point size.
struct Font {
    std::uint8_t face = 1;
    std::uint8_t style = 0;
    std::uint8_t color = 0;
    std::uint8_t size = 10;
};
inline constexpr std::uint8_t kBold = 0x01, kItalic = 0x02, kUnderline = 0x04;

// Paragraph definition flags (CDPABDEFINITION).
inline constexpr std::uint16_t kJustifyLeft = 0, kJustifyCenter = 3;
inline constexpr std::uint16_t kPabBullet = 0x0400, kPabNumbered = 0x1000;

enum class ImageType : std::uint16_t { Gif = 1, Jpeg = 2, Bmp = 3 };

// A face of a font table (CDFACE): face IDs from 5, as FONTID.face refers to them.
struct FontFace {
    std::uint8_t id = 5;
    std::uint8_t family = 0x22;  // variable pitch, swiss
    std::string name;
};

class CdWriter {
public:
    CdWriter& pabDefinition(std::uint16_t id, std::uint16_t justify = kJustifyLeft, std::uint16_t flags = 0,
                            std::uint16_t leftMargin = 1440);
    CdWriter& paragraph(std::uint16_t pabId);  // CDPARAGRAPH, then CDPABREFERENCE
    CdWriter& text(std::string_view utf8, Font font = {});
    // One paragraph of one run.
    CdWriter& line(std::uint16_t pabId, std::string_view utf8, Font font = {}) {
        return paragraph(pabId).text(utf8, font);
    }
    // The pre-table records (CDPRETABLEBEGIN between begin and end records), then CDTABLEBEGIN.
    CdWriter& tableBegin(std::uint8_t rows, std::uint8_t columns);
    // A cell of a table of `columns` equal columns, each `columnTwips` wide, single borders.
    CdWriter& tableCell(std::uint8_t row, std::uint8_t column, std::uint8_t columns, std::uint16_t columnTwips);
    CdWriter& tableEnd();
    // A font table record (as in the $Fonts item) inside the stream itself.
    CdWriter& fonts(std::span<const FontFace> faces);
    // A URL link around the runs that follow, up to linkEnd().
    CdWriter& linkBegin(std::string_view url);
    CdWriter& linkEnd();
    // The attachment icon hotspot of an attached file.
    CdWriter& attachmentIcon(std::string_view objectName, std::string_view fileName);
    // CDGRAPHIC, CDIMAGEHEADER and the image in CDIMAGESEGMENTs.
    CdWriter& graphic(ImageType type, std::uint16_t width, std::uint16_t height, std::span<const std::uint8_t> image);
    // CDGRAPHIC, then the records of a Notes bitmap (CDBITMAPHEADER, tables, CDBITMAPSEGMENTs).
    CdWriter& notesBitmap(std::uint16_t width, std::uint16_t height, std::span<const std::vector<std::uint8_t>> records);
    // Only the image header and segments: the body of an image resource's $ImageData.
    CdWriter& image(ImageType type, std::uint16_t width, std::uint16_t height, std::span<const std::uint8_t> image);

    std::vector<std::uint8_t> take() { return std::move(out_); }
    std::size_t size() const noexcept { return out_.size(); }

private:
    void graphicHeader(std::uint16_t width, std::uint16_t height);
    // Starts a record: BSIG (length < 256 and fixed) / WSIG / LSIG header for `length` bytes.
    void bsig(std::uint8_t sig, std::size_t length);
    void wsig(std::uint8_t sig, std::size_t length);
    void lsig(std::uint8_t sig, std::size_t length);
    void u8(std::uint8_t v) { out_.push_back(v); }
    void u16(std::uint16_t v);
    void u32(std::uint32_t v);
    void raw(std::span<const std::uint8_t> v) { out_.insert(out_.end(), v.begin(), v.end()); }
    void raw(std::string_view v) { out_.insert(out_.end(), v.begin(), v.end()); }
    void zeros(std::size_t n) { out_.resize(out_.size() + n, 0); }
    void pad() {
        if (out_.size() % 2) out_.push_back(0);
    }

    std::vector<std::uint8_t> out_;
};

// A $Fonts item value: CDFONTTABLE with one CDFACE per entry.
std::vector<std::uint8_t> fontTable(std::span<const FontFace> faces);

}  // namespace nsf
