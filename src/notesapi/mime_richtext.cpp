// MIME text parts as formatted rich text. HTML is parsed by libxml2's HTML parser (which repairs
// what browsers repair) and its tree walked with the inherited style of each text: <b>/<strong>,
// <i>/<em>, <u>, <font face size color>, the same in a style attribute, headings, <pre>/<code>/<tt>
// in a fixed font. Block elements and <br> end paragraphs; <ul>/<ol> items use bulleted or numbered
// paragraph definitions; <a href> becomes a URL link; the first level of <table> becomes a rich-text
// table (deeper tables flow as paragraphs in their cell); <img src="cid:..."> becomes an image of
// the part with that Content-ID.
#include "mime_richtext.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

#include "nsf/cd_writer.h"
#include "mime_part.h"

namespace notesrt {
namespace {

constexpr std::size_t kItemLimit = 40000;  // rich-text items stay well below 64 KB
constexpr std::size_t kRunLimit = 8000;    // UTF-8 bytes per text run
constexpr std::size_t kMaxDepth = 200;     // element nesting followed
constexpr std::size_t kMaxFaces = 200;     // named faces; IDs 5 and up
constexpr std::uint16_t kPabPlain = 1, kPabBullet = 2, kPabNumber = 3, kPabCell = 4;
constexpr std::uint16_t kTableTwips = 9360;  // 6.5 inches shared by the columns
constexpr std::uint8_t kFaceSans = 1, kFaceMono = 4;

struct Style {
    std::uint8_t effects = 0;
    std::uint8_t face = kFaceSans;
    std::uint8_t size = 10;
    std::uint8_t colour = 0;
    bool pre = false;
};

// The first sixteen colours of the Notes palette, by index.
constexpr std::array<std::uint32_t, 16> kPalette = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF00FF,
                                                   0xFFFF00, 0x00FFFF, 0x800000, 0x008000, 0x000080, 0x800080,
                                                   0x808000, 0x008080, 0x808080, 0xC0C0C0};

std::optional<std::uint32_t> parseColour(std::string_view text) {
    static const std::map<std::string, std::uint32_t, std::less<>> names = {
        {"black", 0x000000}, {"white", 0xFFFFFF},  {"red", 0xFF0000},    {"lime", 0x00FF00},
        {"blue", 0x0000FF},  {"fuchsia", 0xFF00FF}, {"magenta", 0xFF00FF}, {"yellow", 0xFFFF00},
        {"aqua", 0x00FFFF},  {"cyan", 0x00FFFF},   {"maroon", 0x800000}, {"green", 0x008000},
        {"navy", 0x000080},  {"purple", 0x800080}, {"olive", 0x808000},  {"teal", 0x008080},
        {"gray", 0x808080},  {"grey", 0x808080},   {"silver", 0xC0C0C0}, {"orange", 0xFFA500}};
    const std::string t = lower(trim(text));
    if (const auto it = names.find(t); it != names.end())
        return it->second;
    std::string_view hex = t;
    if (hex.starts_with('#'))
        hex.remove_prefix(1);
    if ((hex.size() != 6 && hex.size() != 3) || hex.find_first_not_of("0123456789abcdef") != std::string_view::npos)
        return std::nullopt;
    std::uint32_t v = static_cast<std::uint32_t>(std::strtoul(std::string(hex).c_str(), nullptr, 16));
    if (hex.size() == 3)
        v = ((v & 0xF00) << 12 | (v & 0xF00) << 8) | ((v & 0x0F0) << 8 | (v & 0x0F0) << 4) | ((v & 0x00F) << 4 | (v & 0x00F));
    return v;
}

std::uint8_t nearestPaletteIndex(std::uint32_t rgb) {
    std::uint8_t best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < kPalette.size(); ++i) {
        long d = 0;
        for (int shift : {16, 8, 0}) {
            const long a = (rgb >> shift) & 0xFF, b = (kPalette[i] >> shift) & 0xFF;
            d += (a - b) * (a - b);
        }
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = static_cast<std::uint8_t>(i);
        }
    }
    return best;
}

// <font size>: 1 to 7, or relative to 3 with a sign.
std::optional<std::uint8_t> htmlFontSize(std::string_view text) {
    static constexpr std::array<std::uint8_t, 7> points = {8, 10, 12, 14, 18, 24, 36};
    text = trim(text);
    if (text.empty())
        return std::nullopt;
    int n = std::atoi(std::string(text).c_str());
    if (text[0] == '+' || text[0] == '-')
        n += 3;
    return points[static_cast<std::size_t>(std::clamp(n, 1, 7) - 1)];
}

// CSS font-size in pt or px (others ignored), as points between 6 and 72.
std::optional<std::uint8_t> cssFontSize(std::string_view text) {
    const std::string t = lower(trim(text));
    const double v = std::atof(t.c_str());
    if (v <= 0)
        return std::nullopt;
    if (t.ends_with("pt"))
        return static_cast<std::uint8_t>(std::clamp(v, 6.0, 72.0));
    if (t.ends_with("px"))
        return static_cast<std::uint8_t>(std::clamp(v * 0.75, 6.0, 72.0));
    return std::nullopt;
}

std::string attribute(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (value == nullptr)
        return {};
    std::string out(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return out;
}

std::string elementName(const xmlNode* node) {
    return node->name != nullptr ? lower(reinterpret_cast<const char*>(node->name)) : std::string();
}

bool isBlock(std::string_view name) {
    static constexpr std::array<std::string_view, 24> blocks = {
        "p",  "div", "h1",  "h2", "h3", "h4",  "h5",     "h6",      "blockquote", "pre",   "address", "center",
        "hr", "dl",  "dt",  "dd", "li", "form", "fieldset", "section", "article",   "header", "footer", "nav"};
    return std::ranges::find(blocks, name) != blocks.end();
}

// Character references 128 to 159 name windows-1252 characters, as browsers read them; libxml2 gives
// the C1 control characters. Unassigned positions stay as they are.
std::string windows1252Controls(std::string_view text) {
    static constexpr std::array<char16_t, 32> map = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c != 0xC2 || next < 0x80 || next > 0x9F) {
            out.push_back(text[i]);
            continue;
        }
        const char16_t cp = map[next - 0x80];
        if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
        ++i;
    }
    return out;
}

std::uint16_t parseDimension(const std::string& text) {
    const long v = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<std::uint16_t>(std::clamp(v, 0L, 10000L));
}

}  // namespace

class MimeRichText::Impl {
public:
    void plainText(std::string_view utf8) {
        if (utf8.empty())
            return;
        startBlock();
        trailingLine_ = false;
        if (utf8.ends_with('\n')) {
            // the empty line after the last line end is a paragraph only if nothing follows
            utf8.remove_suffix(utf8.ends_with("\r\n") ? 2 : 1);
            trailingLine_ = true;
        }
        std::size_t start = 0;
        for (;;) {
            const std::size_t nl = utf8.find('\n', start);
            std::string_view line = utf8.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
            if (line.ends_with('\r'))
                line.remove_suffix(1);
            openParagraph();
            emitRun(line, Style{});
            paragraphOpen_ = false;
            if (nl == std::string_view::npos)
                break;
            start = nl + 1;
        }
    }

    void html(std::string_view utf8, const ImageLookup& images) {
        images_ = &images;
        htmlDocPtr doc = htmlReadMemory(utf8.data(), static_cast<int>(std::min<std::size_t>(utf8.size(), INT32_MAX)),
                                        nullptr, "UTF-8",
                                        HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                            HTML_PARSE_NONET);
        if (doc == nullptr)
            return;
        startBlock();
        trailingLine_ = false;
        for (xmlNode* child = doc->children; child != nullptr; child = child->next)
            walk(child, Style{}, 0);
        xmlFreeDoc(doc);
        images_ = nullptr;
        paragraphOpen_ = false;
    }

    std::size_t textBytes() const { return textBytes_; }

    std::vector<std::vector<std::uint8_t>> take() {
        if (trailingLine_) {
            startBlock();
            openParagraph();
        }
        flushChunk();
        nsf::CdWriter lead;
        if (!faces_.empty())
            lead.fonts(faces_);
        lead.pabDefinition(kPabPlain)
            .pabDefinition(kPabBullet, nsf::kJustifyLeft, nsf::kPabBullet, 1800)
            .pabDefinition(kPabNumber, nsf::kJustifyLeft, nsf::kPabNumbered, 1800)
            .pabDefinition(kPabCell, nsf::kJustifyLeft, 0x0080, 0);
        const std::vector<std::uint8_t> prefix = lead.take();
        std::vector<std::vector<std::uint8_t>> pieces;
        for (auto& chunk : chunks_) {
            if (pieces.empty() || pieces.back().size() + chunk.size() > kItemLimit)
                pieces.push_back(prefix);
            pieces.back().insert(pieces.back().end(), chunk.begin(), chunk.end());
        }
        if (pieces.empty())
            pieces.push_back(prefix);
        chunks_.clear();
        return pieces;
    }

private:
    // A chunk ends where a new item may start: before a paragraph outside any table.
    void flushChunk() {
        std::vector<std::uint8_t> bytes = writer_.take();
        if (!bytes.empty()) {
            if (bytes.size() % 2 != 0)
                bytes.push_back(0);
            chunks_.push_back(std::move(bytes));
        }
        writer_ = nsf::CdWriter();
    }

    std::uint16_t paragraphStyle() const {
        if (tableDepth_ > 0 && tableOpen_)
            return kPabCell;
        return listKind_ != 0 ? listKind_ : kPabPlain;
    }

    void openParagraph() {
        if (paragraphOpen_)
            return;
        if (!tableOpen_)
            flushChunk();
        writer_.paragraph(paragraphStyle());
        paragraphOpen_ = true;
        atLineStart_ = true;  // a space pending from before the paragraph is dropped
    }
    void startBlock() { paragraphOpen_ = false; }

    nsf::Font fontOf(const Style& style) const { return nsf::Font{style.face, style.effects, style.colour, style.size}; }

    void emitRun(std::string_view text, const Style& style) {
        while (!text.empty()) {
            std::size_t take = std::min(text.size(), kRunLimit);
            while (take < text.size() && take > 1 && (static_cast<unsigned char>(text[take]) & 0xC0) == 0x80)
                --take;
            writer_.text(text.substr(0, take), fontOf(style));
            textBytes_ += take;
            text.remove_prefix(take);
        }
    }

    // Text with its white space collapsed (kept in <pre>, where line ends end paragraphs).
    void text(std::string_view raw, const Style& style) {
        if (style.pre) {
            std::size_t start = 0;
            for (;;) {
                const std::size_t nl = raw.find('\n', start);
                std::string_view line = raw.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
                if (line.ends_with('\r'))
                    line.remove_suffix(1);
                if (!line.empty() || nl != std::string_view::npos) {
                    openParagraph();
                    emitRun(line, style);
                }
                if (nl == std::string_view::npos)
                    break;
                paragraphOpen_ = false;
                start = nl + 1;
            }
            return;
        }
        std::string run;
        for (char c : raw) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
                spacePending_ = true;
                continue;
            }
            if (spacePending_ && !atLineStart_ && (paragraphOpen_ || !run.empty()))
                run.push_back(' ');
            spacePending_ = false;
            atLineStart_ = false;
            run.push_back(c);
        }
        if (run.empty())
            return;
        openParagraph();
        emitRun(run, style);
        atLineStart_ = false;
    }

    std::uint8_t faceId(std::string_view list) {
        std::string name(trim(list.substr(0, list.find(','))));
        if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') && name.back() == name.front())
            name = name.substr(1, name.size() - 2);
        const std::string key = lower(name);
        if (key.empty() || key == "sans-serif")
            return kFaceSans;
        if (key == "serif")
            return 0;
        if (key == "monospace")
            return kFaceMono;
        for (const auto& face : faces_)
            if (lower(face.name) == key)
                return face.id;
        if (faces_.size() >= kMaxFaces)
            return kFaceSans;
        faces_.push_back({static_cast<std::uint8_t>(5 + faces_.size()), 0x22, name.substr(0, 31)});
        return faces_.back().id;
    }

    void applyCss(const std::string& css, Style& style) {
        std::string_view rest = css;
        while (!rest.empty()) {
            const std::size_t semi = rest.find(';');
            const std::string_view decl = rest.substr(0, semi);
            rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
            const std::size_t colon = decl.find(':');
            if (colon == std::string_view::npos)
                continue;
            const std::string property = lower(trim(decl.substr(0, colon)));
            const std::string_view value = trim(decl.substr(colon + 1));
            const std::string v = lower(value);
            if (property == "font-weight" && (v == "bold" || v == "bolder" || std::atoi(v.c_str()) >= 600))
                style.effects |= nsf::kBold;
            else if (property == "font-style" && (v == "italic" || v == "oblique"))
                style.effects |= nsf::kItalic;
            else if (property == "text-decoration" && v.find("underline") != std::string::npos)
                style.effects |= nsf::kUnderline;
            else if (property == "color") {
                if (const auto rgb = parseColour(value))
                    style.colour = nearestPaletteIndex(*rgb);
            } else if (property == "font-family")
                style.face = faceId(value);
            else if (property == "font-size") {
                if (const auto points = cssFontSize(value))
                    style.size = *points;
            }
        }
    }

    void walk(xmlNode* node, Style style, std::size_t depth) {
        if (depth > kMaxDepth)
            return;
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            if (node->content != nullptr)
                text(windows1252Controls(reinterpret_cast<const char*>(node->content)), style);
            return;
        }
        if (node->type != XML_ELEMENT_NODE) {
            if (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE)
                walkChildren(node, style, depth);
            return;
        }
        const std::string name = elementName(node);
        if (name == "head" || name == "script" || name == "style" || name == "title")
            return;
        if (name == "br") {
            openParagraph();
            paragraphOpen_ = false;
            return;
        }
        if (name == "img") {
            image(node);
            return;
        }
        if (name == "table" && tableDepth_ == 0) {
            table(node, style, depth);
            return;
        }

        if (name == "b" || name == "strong")
            style.effects |= nsf::kBold;
        else if (name == "i" || name == "em" || name == "cite")
            style.effects |= nsf::kItalic;
        else if (name == "u" || name == "ins")
            style.effects |= nsf::kUnderline;
        else if (name == "pre" || name == "code" || name == "tt" || name == "kbd") {
            style.face = kFaceMono;
            style.pre = style.pre || name == "pre";
        } else if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
            static constexpr std::array<std::uint8_t, 6> points = {24, 18, 14, 12, 10, 8};
            style.effects |= nsf::kBold;
            style.size = points[static_cast<std::size_t>(name[1] - '1')];
        } else if (name == "font") {
            if (const std::string face = attribute(node, "face"); !face.empty())
                style.face = faceId(face);
            if (const auto points = htmlFontSize(attribute(node, "size")))
                style.size = *points;
            if (const auto rgb = parseColour(attribute(node, "color")))
                style.colour = nearestPaletteIndex(*rgb);
        }
        if (const std::string css = attribute(node, "style"); !css.empty())
            applyCss(css, style);

        const bool block = isBlock(name) || name == "ul" || name == "ol" || name == "table" || name == "tr";
        const std::uint16_t savedList = listKind_;
        if (name == "ul")
            listKind_ = kPabBullet;
        else if (name == "ol")
            listKind_ = kPabNumber;
        if (block)
            paragraphOpen_ = false;
        const bool link = name == "a" && !linkOpen_ && !attribute(node, "href").empty();
        if (link) {
            openParagraph();
            writer_.linkBegin(attribute(node, "href"));
            linkOpen_ = true;
        }
        const std::size_t savedTableDepth = tableDepth_;
        if (name == "table")
            ++tableDepth_;  // a deeper table flows as paragraphs
        walkChildren(node, style, depth);
        tableDepth_ = savedTableDepth;
        if (link) {
            writer_.linkEnd();
            linkOpen_ = false;
        }
        listKind_ = savedList;
        if (block)
            paragraphOpen_ = false;
    }

    void walkChildren(xmlNode* node, const Style& style, std::size_t depth) {
        for (xmlNode* child = node->children; child != nullptr; child = child->next)
            walk(child, style, depth + 1);
    }

    // The rows of a table (also inside thead, tbody, tfoot) and their cells.
    static std::vector<std::vector<xmlNode*>> tableRows(xmlNode* table) {
        std::vector<std::vector<xmlNode*>> rows;
        auto addRow = [&rows](xmlNode* tr) {
            std::vector<xmlNode*> cells;
            for (xmlNode* c = tr->children; c != nullptr; c = c->next)
                if (c->type == XML_ELEMENT_NODE && (elementName(c) == "td" || elementName(c) == "th"))
                    cells.push_back(c);
            rows.push_back(std::move(cells));
        };
        for (xmlNode* child = table->children; child != nullptr; child = child->next) {
            if (child->type != XML_ELEMENT_NODE)
                continue;
            const std::string name = elementName(child);
            if (name == "tr")
                addRow(child);
            else if (name == "thead" || name == "tbody" || name == "tfoot")
                for (xmlNode* tr = child->children; tr != nullptr; tr = tr->next)
                    if (tr->type == XML_ELEMENT_NODE && elementName(tr) == "tr")
                        addRow(tr);
        }
        return rows;
    }

    void table(xmlNode* node, const Style& style, std::size_t depth) {
        auto rows = tableRows(node);
        if (rows.size() > 255)
            rows.resize(255);
        std::size_t columns = 0;
        for (auto& row : rows) {
            if (row.size() > 255)
                row.resize(255);
            columns = std::max(columns, row.size());
        }
        paragraphOpen_ = false;
        if (columns == 0) {
            ++tableDepth_;
            walkChildren(node, style, depth);
            --tableDepth_;
            return;
        }
        flushChunk();
        const bool savedLink = linkOpen_;
        writer_.tableBegin(static_cast<std::uint8_t>(rows.size()), static_cast<std::uint8_t>(columns));
        tableOpen_ = true;
        ++tableDepth_;
        const auto width = static_cast<std::uint16_t>(kTableTwips / columns);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            for (std::size_t c = 0; c < rows[r].size(); ++c) {
                writer_.tableCell(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(c),
                                  static_cast<std::uint8_t>(columns), width);
                paragraphOpen_ = false;
                Style cellStyle = style;
                if (elementName(rows[r][c]) == "th")
                    cellStyle.effects |= nsf::kBold;
                walkChildren(rows[r][c], cellStyle, depth + 1);
                if (linkOpen_ && !savedLink) {
                    writer_.linkEnd();
                    linkOpen_ = false;
                }
                paragraphOpen_ = false;
            }
        }
        writer_.tableEnd();
        --tableDepth_;
        tableOpen_ = false;
        paragraphOpen_ = false;
    }

    void image(xmlNode* node) {
        const std::string src = attribute(node, "src");
        if (images_ == nullptr || src.size() < 4 || lower(src.substr(0, 4)) != "cid:")
            return;
        const InlineImage* found = (*images_)(std::string_view(src).substr(4));
        if (found == nullptr || found->bytes.empty() || found->type < 1 || found->type > 3)
            return;
        openParagraph();
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(found->bytes.data());
        writer_.graphic(static_cast<nsf::ImageType>(found->type), parseDimension(attribute(node, "width")),
                        parseDimension(attribute(node, "height")), std::span(bytes, found->bytes.size()));
        atLineStart_ = false;
    }

    nsf::CdWriter writer_;
    std::vector<std::vector<std::uint8_t>> chunks_;
    std::vector<nsf::FontFace> faces_;
    const ImageLookup* images_ = nullptr;
    std::size_t textBytes_ = 0;
    std::size_t tableDepth_ = 0;
    std::uint16_t listKind_ = 0;
    bool tableOpen_ = false;
    bool paragraphOpen_ = false;
    bool spacePending_ = false;
    bool atLineStart_ = true;
    bool linkOpen_ = false;
    bool trailingLine_ = false;
};

MimeRichText::MimeRichText() : impl_(std::make_unique<Impl>()) {}
MimeRichText::~MimeRichText() = default;
void MimeRichText::plainText(std::string_view utf8) { impl_->plainText(utf8); }
void MimeRichText::html(std::string_view utf8, const ImageLookup& images) { impl_->html(utf8, images); }
std::size_t MimeRichText::textBytes() const { return impl_->textBytes(); }
std::vector<std::vector<std::uint8_t>> MimeRichText::take() { return impl_->take(); }

}  // namespace notesrt
