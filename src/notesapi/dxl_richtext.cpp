// Rich text as DXL markup: paragraph definitions (<pardef>), paragraphs (<par>) and text runs
// (<run>) with their fonts. The CD records are read into a small model first, so that rich text
// holding records the markup does not cover yet is left whole to raw item data.
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dxl_export.h"
#include "notesapi/nsfdata.h"
#include "nsf/byte_reader.h"
#include "nsf/lmbcs.h"

namespace notesrt::dxl {
namespace {

constexpr std::uint8_t kSigParagraph = 0x81;      // BSIG
constexpr std::uint8_t kSigPabDefinition = 0x82;  // WSIG
constexpr std::uint8_t kSigPabReference = 0x83;   // BSIG
constexpr std::uint8_t kSigText = 0x85;           // WSIG
constexpr std::uint8_t kSigFontTable = 0x8B;      // WSIG
constexpr std::size_t kPabDefinitionSize = 70;
constexpr std::size_t kFaceSize = 34;
constexpr std::uint32_t kDefaultFont = 0x0A000001;  // Swiss, plain, black, 10 pt

struct PabDef {
    WORD id = 0;
    WORD justify = 0, lineSpacing = 0, before = 0, after = 0;
    WORD leftMargin = 1440, rightMargin = 0, firstLineMargin = 1440;
    std::vector<std::pair<std::int16_t, unsigned>> tabs;  // position, TAB_* type
    WORD flags = 0, flags2 = 0;
};

struct Run {
    std::uint32_t font = kDefaultFont;
    std::string text;  // UTF-8, "\n" for line breaks
};

struct Paragraph {
    std::optional<WORD> pab;
    std::vector<Run> runs;
};

struct Model {
    std::vector<PabDef> definitions;
    std::vector<Paragraph> paragraphs;
};

struct Record {
    std::uint8_t sig = 0;
    char form = 'B';  // B(yte), W(ord) or L(ong) header
    nsf::Bytes bytes;  // the whole record, header included
};

// Splits CD records; empty when a header or length is damaged.
std::optional<std::vector<Record>> splitRecords(nsf::Bytes data) {
    std::vector<Record> out;
    std::size_t pos = 0;
    while (pos < data.size()) {
        if (data.size() - pos < 2)
            return std::nullopt;
        const std::uint8_t sig = data[pos];
        const std::uint8_t second = data[pos + 1];
        std::uint64_t length = 0;
        std::size_t header = 2;
        char form = 'B';
        if (second == 0xFF) {
            header = 4;
            form = 'W';
            if (data.size() - pos < header)
                return std::nullopt;
            length = nsf::loadLE<std::uint16_t>(data.data() + pos + 2);
        } else if (second == 0x00) {
            header = 6;
            form = 'L';
            if (data.size() - pos < header)
                return std::nullopt;
            length = nsf::loadLE<std::uint32_t>(data.data() + pos + 2);
        } else {
            length = second;
        }
        if (length < header)
            return std::nullopt;
        const auto record = nsf::slice(data, pos, length);
        if (!record)
            return std::nullopt;
        out.push_back({sig, form, *record});
        pos += static_cast<std::size_t>(length) + (length & 1);  // records start at even offsets
    }
    return out;
}

std::optional<PabDef> readPabDefinition(nsf::Bytes r) {
    if (r.size() < kPabDefinitionSize)
        return std::nullopt;
    const auto w = [&](std::size_t at) { return nsf::loadLE<std::uint16_t>(r.data() + at); };
    PabDef d;
    d.id = w(4);
    d.justify = w(6);
    d.lineSpacing = w(8);
    d.before = w(10);
    d.after = w(12);
    d.leftMargin = w(14);
    d.rightMargin = w(16);
    d.firstLineMargin = w(18);
    const std::size_t tabs = std::min<std::size_t>(w(20), 20);
    const std::uint32_t types = nsf::loadLE<std::uint32_t>(r.data() + 64);
    for (std::size_t i = 0; i < tabs; ++i)
        d.tabs.emplace_back(static_cast<std::int16_t>(w(22 + 2 * i)), i < 16 ? (types >> (2 * i)) & 3 : 0);  // 2 bits each, 16 fit
    d.flags = w(62);
    d.flags2 = w(68);
    return d;
}

// The model of the items' records, or empty when a record is not covered by the markup.
std::optional<Model> readModel(const std::vector<const NoteItem*>& items) {
    Model model;
    std::optional<WORD> currentPab;
    for (const NoteItem* item : items) {
        const auto records = splitRecords(valueOf(*item));
        if (!records)
            return std::nullopt;
        for (const Record& r : *records) {
            if (r.sig == kSigParagraph && r.form == 'B') {
                model.paragraphs.push_back({currentPab, {}});
            } else if (r.sig == kSigPabDefinition && r.form == 'W') {
                auto d = readPabDefinition(r.bytes);
                if (!d)
                    return std::nullopt;
                model.definitions.push_back(std::move(*d));
            } else if (r.sig == kSigPabReference && r.form == 'B' && r.bytes.size() >= 4) {
                currentPab = nsf::loadLE<std::uint16_t>(r.bytes.data() + 2);
                if (model.paragraphs.empty())
                    model.paragraphs.push_back({});
                model.paragraphs.back().pab = currentPab;
            } else if (r.sig == kSigText && r.form == 'W' && r.bytes.size() >= 8) {
                if (model.paragraphs.empty())
                    model.paragraphs.push_back({currentPab, {}});
                Run run;
                run.font = nsf::loadLE<std::uint32_t>(r.bytes.data() + 4);
                run.text = nsf::lmbcsTextToUtf8(r.bytes.subspan(8));
                model.paragraphs.back().runs.push_back(std::move(run));
            } else {
                return std::nullopt;
            }
        }
    }
    return model;
}

// Face names of the note's font table ($Fonts), by face ID.
std::map<std::uint8_t, std::pair<std::string, std::uint8_t>> fontTable(const NoteObject& note) {
    std::map<std::uint8_t, std::pair<std::string, std::uint8_t>> faces;
    for (const NoteItem& item : note.items()) {
        if (item.type != TYPE_COMPOSITE || item.nameUtf8 != "$Fonts")
            continue;
        const auto records = splitRecords(valueOf(item));
        if (!records)
            continue;
        for (const Record& r : *records) {
            if (r.sig != kSigFontTable || r.form != 'W' || r.bytes.size() < 6)
                continue;
            const std::size_t count = nsf::loadLE<std::uint16_t>(r.bytes.data() + 4);
            for (std::size_t i = 0; i < count; ++i) {
                const auto face = nsf::slice(r.bytes, 6 + i * kFaceSize, kFaceSize);
                if (!face)
                    break;
                std::size_t n = 0;
                while (n < 32 && (*face)[2 + n] != 0)
                    ++n;
                faces[(*face)[0]] = {nsf::lmbcsToUtf8(face->subspan(2, n)), (*face)[1]};
            }
        }
    }
    return faces;
}

std::string inches(int twips) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", twips / 1440.0);
    std::string s = text;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s + "in";
}

std::string_view spacing(WORD v) { return v == 1 ? "1.5" : v == 2 ? "2" : "1"; }

std::string_view listStyle(const PabDef& d) {
    if ((d.flags & 0x0400) != 0)
        return "bullet";
    if ((d.flags & 0x1000) != 0)
        return "number";
    const bool checked = (d.flags2 & 0x0002) != 0, circle = (d.flags2 & 0x0800) != 0,
               square = (d.flags2 & 0x1000) != 0;
    if (checked && square && circle) return "alphalower";
    if (checked && circle) return "romanupper";
    if (checked && square) return "romanlower";
    if (square && circle) return "alphaupper";
    if (checked) return "check";
    if (circle) return "circle";
    if (square) return "square";
    if ((d.flags2 & 0x2000) != 0) return "uncheck";
    return "none";
}

void append(std::string& list, bool on, std::string_view word) {
    if (!on)
        return;
    if (!list.empty())
        list += ' ';
    list += word;
}

void writePabDefinition(Output& out, const PabDef& d) {
    static constexpr std::string_view kAlign[] = {"left", "right", "full", "center", "none"};
    std::string tabs;
    static constexpr char kTabType[] = {'L', 'R', 'D', 'C'};
    for (const auto& [position, type] : d.tabs) {
        if (!tabs.empty())
            tabs += ' ';
        tabs += kTabType[type];
        tabs += inches(position < 0 ? -position : position);
    }
    std::string hide;
    append(hide, (d.flags & 0x8000) != 0, "notes");
    append(hide, (d.flags2 & 0x0001) != 0, "web");
    append(hide, (d.flags & 0x0010) != 0, "read");
    append(hide, (d.flags & 0x0020) != 0, "edit");
    append(hide, (d.flags & 0x0040) != 0, "print");
    append(hide, (d.flags & 0x0200) != 0, "copy");
    append(hide, (d.flags & 0x2000) != 0, "preview");
    append(hide, (d.flags & 0x4000) != 0, "previewedit");
    const std::string_view list = listStyle(d);
    Tag(out, "pardef")
        .attr("id", std::to_string(d.id))
        .attrIf(d.justify != 0 && d.justify < 5, "align", d.justify < 5 ? kAlign[d.justify] : "left")
        .attrIf(d.lineSpacing == 1 || d.lineSpacing == 2, "linespacing", spacing(d.lineSpacing))
        .attrIf(d.before == 1 || d.before == 2, "spacebefore", spacing(d.before))
        .attrIf(d.after == 1 || d.after == 2, "spaceafter", spacing(d.after))
        .attrIf(d.leftMargin != 1440, "leftmargin", inches(d.leftMargin))
        .attrIf(d.rightMargin != 0, "rightmargin", inches(d.rightMargin))
        .attrIf(d.firstLineMargin != d.leftMargin, "firstlineleftmargin", inches(d.firstLineMargin))
        .attrIf(!tabs.empty(), "tabs", tabs)
        .attrIf(!hide.empty(), "hide", hide)
        .attrIf((d.flags & 0x0001) != 0, "newpage", "true")
        .attrIf((d.flags & 0x0002) != 0, "keepwithnext", "true")
        .attrIf((d.flags & 0x0004) != 0, "keeptogether", "true")
        .attrIf(list != "none", "list", list)
        .empty();
    out.raw("\n");
}

void writeFont(Output& out, std::uint32_t font, const std::map<std::uint8_t, std::pair<std::string, std::uint8_t>>& faces) {
    if (font == kDefaultFont)
        return;
    static constexpr std::string_view kBuiltIn[] = {"Default Serif", "Default Sans Serif", "Default Multi-Lingual",
                                                    "", "Default Monospace"};
    static constexpr std::string_view kColors[] = {
        "#000000", "#ffffff", "#ff0000", "#00ff00", "#0000ff", "#ff00ff", "#ffff00", "#00ffff",
        "#800000", "#008000", "#000080", "#800080", "#808000", "#008080", "#808080", "#c0c0c0"};
    const std::uint8_t face = font & 0xFF, attrib = (font >> 8) & 0xFF, color = (font >> 16) & 0xFF,
                       size = (font >> 24) & 0xFF;
    std::string name;
    std::optional<std::uint8_t> family;
    if (face < 5) {
        name = kBuiltIn[face];
    } else if (const auto it = faces.find(face); it != faces.end()) {
        name = it->second.first;
        family = it->second.second;
    }
    std::string style;
    append(style, (attrib & 0x01) != 0, "bold");
    append(style, (attrib & 0x02) != 0, "italic");
    append(style, (attrib & 0x04) != 0, "underline");
    append(style, (attrib & 0x08) != 0, "strikethrough");
    const bool effect = (attrib & 0x80) != 0;
    append(style, !effect && (attrib & 0x10) != 0, "superscript");
    append(style, !effect && (attrib & 0x20) != 0, "subscript");
    append(style, (attrib & 0xB0) == 0x80, "shadow");
    append(style, (attrib & 0x90) == 0x90, "emboss");
    append(style, (attrib & 0xA0) == 0xA0, "extrude");
    const std::uint8_t pitch = family ? (*family & 0x03) : 0;
    Tag(out, "font")
        .attrIf(size != 0, "size", std::to_string(size) + "pt")
        .attrIf(!name.empty(), "name", name)
        .attrIf(pitch == 1 || pitch == 2, "pitch", pitch == 1 ? "fixed" : "variable")
        .attrIf(color != 0 && color < 16, "color", color < 16 ? kColors[color] : "")
        .attrIf(!style.empty(), "style", style)
        .empty();
}

}  // namespace

bool writeRichText(Context& ctx, const std::vector<const NoteItem*>& items) {
    const auto model = readModel(items);
    if (!model)
        return false;
    Output& out = ctx.out;
    if (model->definitions.empty() && model->paragraphs.empty()) {
        out.raw("<richtext/>");
        return true;
    }
    const auto faces = fontTable(ctx.note);
    out.raw("<richtext>\n");
    // A paragraph may name a definition kept elsewhere (a continuation item, a damaged record): it
    // gets a definition with the default settings so that every reference resolves.
    std::set<WORD> defined;
    for (const PabDef& d : model->definitions) {
        if (defined.insert(d.id).second)
            writePabDefinition(out, d);
    }
    for (const Paragraph& p : model->paragraphs) {
        if (p.pab && defined.insert(*p.pab).second) {
            PabDef d;
            d.id = *p.pab;
            writePabDefinition(out, d);
        }
    }
    for (const Paragraph& p : model->paragraphs) {
        Tag par(out, "par");
        par.attrIf(p.pab.has_value(), "def", p.pab ? std::to_string(*p.pab) : std::string());
        if (p.runs.empty()) {
            par.empty();
            out.raw("\n");
            continue;
        }
        par.open();
        for (const Run& run : p.runs) {
            out.raw("<run>");
            writeFont(out, run.font, faces);
            out.raw(escapeContent(run.text, true));
            out.raw("</run>");
        }
        out.raw("</par>\n");
    }
    out.raw("</richtext>");
    return true;
}

}  // namespace notesrt::dxl
