// The frame of a DXL document: XML declaration, DOCTYPE, the root element with its attributes,
// <noteinfo>, and the items in stored order.
#include <cctype>
#include <cstdio>
#include <string>

#include "dxl_export.h"
#include "notesapi/nsfdata.h"
#include "notesapi/nsfnote.h"
#include "nsf/lmbcs.h"
#include "nsf/timedate.h"

namespace notesrt::dxl {
namespace {

std::string hex32(std::uint32_t v, bool upper, int width = 0) {
    char text[16];
    std::snprintf(text, sizeof text, upper ? "%0*X" : "%0*x", width, static_cast<unsigned>(v));
    return text;
}

// The value of the note class attribute of <note> for a design or administration note.
std::string_view noteClassName(WORD noteClass) {
    switch (noteClass & NOTE_CLASS_ALL & ~NOTE_CLASS_PRIVATE) {
        case NOTE_CLASS_INFO: return "helpaboutdocument";
        case NOTE_CLASS_FORM: return "form";
        case NOTE_CLASS_VIEW:
        case NOTE_CLASS_DESIGN: return "view";  // the design collection is a view note
        case NOTE_CLASS_ICON: return "icon";
        case NOTE_CLASS_HELP_INDEX: return "helpindex";
        case NOTE_CLASS_HELP: return "helpusingdocument";
        case NOTE_CLASS_FILTER: return "filter";
        case NOTE_CLASS_FIELD: return "sharedfield";
        case NOTE_CLASS_REPLFORMULA: return "replicationformula";
        default: return "document";
    }
}

// The text of a single-text item of the note (Form), if it has one.
std::string textItem(const NoteObject& note, std::string_view name) {
    for (const NoteItem& item : note.items()) {
        if (item.type != TYPE_TEXT || (item.flags & ITEM_SEAL) != 0)
            continue;
        if (item.nameUtf8.size() != name.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(item.nameUtf8[i])) ==
                   std::tolower(static_cast<unsigned char>(name[i]));
        if (same)
            return nsf::lmbcsTextToUtf8(valueOf(item));
    }
    return {};
}

void writeStamp(Context& ctx, std::string_view element, const nsf::TimeDate& td) {
    if (nsf::isNull(td))
        return;
    Tag(ctx.out, element).open();
    writeDateTime(ctx, td);
    Tag::close(ctx.out, element);
    ctx.out.raw("\n");
}

void writeNoteInfo(Context& ctx) {
    const nsf::NoteHeader& h = ctx.note.header();
    const nsf::OriginatorId& oid = h.oid;
    const std::string unid = hex32(oid.file[1], true, 8) + hex32(oid.file[0], true, 8) +
                             hex32(oid.note.innards1, true, 8) + hex32(oid.note.innards0, true, 8);
    Tag(ctx.out, "noteinfo")
        .attr("noteid", hex32(h.id, false))
        .attr("unid", unid)
        .attr("sequence", std::to_string(oid.sequence))
        .open();
    ctx.out.raw("\n");
    writeStamp(ctx, "created", oid.note);
    writeStamp(ctx, "modified", h.modified);
    writeStamp(ctx, "revised", oid.sequenceTime);
    writeStamp(ctx, "lastaccessed", h.accessed);
    writeStamp(ctx, "addedtofile", h.added);
    Tag::close(ctx.out, "noteinfo");
    ctx.out.raw("\n");
}

std::string replicaIdText(const NoteObject& note) {
    const auto r = note.database()->withEngine([](nsf::Database& e) { return e.info().replicaId; });
    const auto word = [&](std::size_t at) {
        return std::uint32_t{r[at]} | (std::uint32_t{r[at + 1]} << 8) | (std::uint32_t{r[at + 2]} << 16) |
               (std::uint32_t{r[at + 3]} << 24);
    };
    return hex32(word(4), true, 8) + hex32(word(0), true, 8);
}

}  // namespace

void writeNote(Context& ctx) {
    const nsf::NoteHeader& h = ctx.note.header();
    const bool isDocument = (h.noteClass & NOTE_CLASS_DOCUMENT) != 0 && !ctx.settings.flag(eForceNoteFormat);
    const std::string_view root = isDocument ? "document" : "note";

    if (ctx.settings.flag(eOutputXmlDecl))
        ctx.out.raw("<?xml version='1.0' encoding='utf-8'?>\n");
    if (ctx.settings.flag(eOutputDOCTYPE) && ctx.settings.validation != eDxlExportValidationStyle_None) {
        const std::string_view system =
            ctx.settings.doctypeSystem.empty() ? kDefaultDoctypeSystem : std::string_view(ctx.settings.doctypeSystem);
        std::string doctype = "<!DOCTYPE ";
        doctype += root;
        doctype += " SYSTEM '";
        doctype += escapeAttribute(system);
        doctype += "'>\n";
        ctx.out.raw(doctype);
    }

    Tag tag(ctx.out, root);
    if (ctx.settings.flag(eOutputRootAttrs)) {
        tag.attr("xmlns", "http://www.lotus.com/dxl")
            .attr("version", "9.0")
            .attr("maintenanceversion", "1.0")
            .attr("replicaid", replicaIdText(ctx.note));
    }
    if (isDocument) {
        const std::string form = textItem(ctx.note, "Form");
        tag.attrIf(!form.empty(), "form", form);
    } else {
        tag.attr("class", noteClassName(h.noteClass))
            .attrIf((h.noteClass & NOTE_CLASS_DEFAULT) != 0, "default", "true")
            .attrIf((h.noteClass & NOTE_CLASS_PRIVATE) != 0, "private", "true");
    }
    tag.open();
    ctx.out.raw("\n");
    writeNoteInfo(ctx);

    // Rich text longer than one item is stored as consecutive items of the same name; as markup
    // they form one <item>.
    const auto& items = ctx.note.items();
    for (std::size_t i = 0; i < items.size();) {
        std::size_t last = i;
        if (items[i].type == TYPE_COMPOSITE && ctx.settings.richText == eRichtextAsDxl) {
            while (last + 1 < items.size() && items[last + 1].type == TYPE_COMPOSITE &&
                   items[last + 1].nameUtf8 == items[i].nameUtf8)
                ++last;
        }
        writeItem(ctx, i, last);
        i = last + 1;
    }
    Tag::close(ctx.out, root);
    ctx.out.raw("\n");
}

}  // namespace notesrt::dxl
