// Items: their flags as attributes and their values as DXL (text, numbers, date/times and their
// lists), with raw item data for everything that has no DXL form here or does not decode.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "dxl_export.h"
#include "notesapi/nsfdata.h"
#include "nsf/lmbcs.h"
#include "nsf/timedate.h"
#include "nsf/values.h"

namespace notesrt::dxl {
namespace {

std::string formatNumber(double v) {
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v > 0 ? "INF" : "-INF";
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

void writeText(Output& out, std::string_view utf8) {
    if (utf8.empty()) {
        out.raw("<text/>");
        return;
    }
    out.raw("<text>");
    out.raw(escapeContent(utf8, true));
    out.raw("</text>");
}

void writeNumber(Output& out, double v) {
    out.raw("<number>");
    out.raw(formatNumber(v));
    out.raw("</number>");
}

// The value as DXL, or false (nothing written) when it has no DXL form here or does not decode;
// `problem` then says why when the value is damaged.
bool writeValue(Context& ctx, const NoteItem& item, std::string& problem) {
    const auto value = valueOf(item);
    Output& out = ctx.out;
    switch (item.type) {
        case TYPE_TEXT:
            writeText(out, nsf::lmbcsTextToUtf8(value));
            return true;
        case TYPE_TEXT_LIST: {
            auto entries = nsf::splitTextList(value);
            if (!entries) {
                problem = entries.error().message();
                return false;
            }
            if (entries->size() <= 1) {
                writeText(out, entries->empty() ? std::string() : nsf::lmbcsTextToUtf8((*entries)[0]));
                return true;
            }
            out.raw("<textlist>");
            for (const auto& entry : *entries)
                writeText(out, nsf::lmbcsTextToUtf8(entry));
            out.raw("</textlist>");
            return true;
        }
        case TYPE_NUMBER: {
            if (value.empty()) {  // an emptied field
                out.raw("<number/>");
                return true;
            }
            auto n = nsf::decodeNumber(value);
            if (!n) {
                problem = n.error().message();
                return false;
            }
            writeNumber(out, *n);
            return true;
        }
        case TYPE_NUMBER_RANGE: {
            auto r = nsf::decodeNumberRange(value);
            if (!r) {
                problem = r.error().message();
                return false;
            }
            if (!r->pairs.empty())
                return false;  // number pairs have no DXL element
            if (r->values.size() == 1) {
                writeNumber(out, r->values[0]);
                return true;
            }
            out.raw("<numberlist>");
            for (const double v : r->values)
                writeNumber(out, v);
            out.raw("</numberlist>");
            return true;
        }
        case TYPE_TIME: {
            if (value.empty()) {  // an emptied field
                out.raw("<datetime/>");
                return true;
            }
            auto t = nsf::decodeTime(value);
            if (!t) {
                problem = t.error().message();
                return false;
            }
            if (formatDateTime(*t).empty() && !nsf::isNull(*t)) {
                problem = "the date/time " + nsf::formatTimeDate(*t) + " is not valid";
                return false;
            }
            writeDateTime(ctx, *t);
            return true;
        }
        case TYPE_TIME_RANGE: {
            auto r = nsf::decodeTimeRange(value);
            if (!r) {
                problem = r.error().message();
                return false;
            }
            const auto valid = [](const nsf::TimeDate& t) { return nsf::isNull(t) || !formatDateTime(t).empty(); };
            for (const auto& t : r->values)
                if (!valid(t)) {
                    problem = "the date/time " + nsf::formatTimeDate(t) + " is not valid";
                    return false;
                }
            for (const auto& p : r->pairs)
                if (!valid(p.lower) || !valid(p.upper)) {
                    problem = "a date/time pair is not valid";
                    return false;
                }
            if (r->values.size() == 1 && r->pairs.empty()) {
                writeDateTime(ctx, r->values[0]);
                return true;
            }
            out.raw("<datetimelist>");
            for (const auto& t : r->values)
                writeDateTime(ctx, t);
            for (const auto& p : r->pairs) {
                out.raw("<datetimepair>");
                writeDateTime(ctx, p.lower);
                writeDateTime(ctx, p.upper);
                out.raw("</datetimepair>");
            }
            out.raw("</datetimelist>");
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

std::string noteIdText(const NoteObject& note) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(note.header().id));
    return text;
}

std::span<const std::uint8_t> valueOf(const NoteItem& item) {
    const auto& block = *item.block;
    return block.size() < 2 ? std::span<const std::uint8_t>() : std::span<const std::uint8_t>(block).subspan(2);
}

std::string formatDateTime(const nsf::TimeDate& td) {
    auto fields = nsf::decodeTimeDate(td);
    if (!fields)
        return {};
    char text[64];
    if (fields->date && fields->time) {
        // Local time of the zone the value was written in, with that zone's standard offset.
        const int offset = fields->zone.offsetMinutes();
        const auto& t = *fields->time;
        std::int64_t ticks = nsf::julianDayFromCivil(*fields->date) * nsf::kTicksPerDay +
                             ((t.hour * 60 + t.minute) * 60 + t.second) * 100 + t.hundredths +
                             std::int64_t{offset} * 6000;
        const std::int64_t day = ticks >= 0 ? ticks / nsf::kTicksPerDay : (ticks - nsf::kTicksPerDay + 1) / nsf::kTicksPerDay;
        ticks -= day * nsf::kTicksPerDay;
        const nsf::CivilDate d = nsf::civilFromJulianDay(day);
        if (d.year < 0 || d.year > 9999)
            return {};
        const auto hundredths = static_cast<unsigned>(ticks % 100);
        const auto seconds = static_cast<unsigned>(ticks / 100);
        std::snprintf(text, sizeof text, "%04d%02u%02uT%02u%02u%02u,%02u", d.year, d.month, d.day, seconds / 3600,
                      seconds / 60 % 60, seconds % 60, hundredths);
        std::string out = text;
        if (offset == 0) {
            out += 'Z';
        } else {
            const int a = offset < 0 ? -offset : offset;
            std::snprintf(text, sizeof text, a % 60 != 0 ? "%c%02d%02d" : "%c%02d", offset < 0 ? '-' : '+', a / 60,
                          a % 60);
            out += text;
        }
        return out;
    }
    if (fields->date) {
        if (fields->date->year < 0 || fields->date->year > 9999)
            return {};
        std::snprintf(text, sizeof text, "%04d%02u%02u", fields->date->year, fields->date->month, fields->date->day);
        return text;
    }
    if (fields->time) {
        const auto& t = *fields->time;
        std::snprintf(text, sizeof text, "T%02u%02u%02u,%02u", t.hour, t.minute, t.second, t.hundredths);
        return text;
    }
    return {};
}

void writeDateTime(Context& ctx, const nsf::TimeDate& td) {
    const std::string text = nsf::isNull(td) ? std::string() : formatDateTime(td);
    auto fields = nsf::decodeTimeDate(td);
    const bool dst = fields && fields->date && fields->time && fields->zone.observesDst;
    if (text.empty()) {
        ctx.out.raw("<datetime/>");
        return;
    }
    ctx.out.raw(dst ? "<datetime dst='true'>" : "<datetime>");
    ctx.out.raw(text);
    ctx.out.raw("</datetime>");
}

void writeRawItemData(Output& out, WORD type, std::span<const std::uint8_t> value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(type));
    Tag(out, "rawitemdata").attr("type", hex).open();
    out.raw("\n");
    Base64Writer b64(out);
    b64.write(value);
    b64.finish();
    Tag::close(out, "rawitemdata");
}

namespace {

void openItem(Context& ctx, const NoteItem& item, bool sealed) {
    const WORD f = item.flags;
    Tag(ctx.out, "item")
        .attr("name", item.nameUtf8)
        .attrIf((f & ITEM_SIGN) != 0, "sign", "true")
        .attrIf((f & ITEM_SEAL) != 0, "seal", "true")
        .attrIf(sealed, "sealed", "true")
        .attrIf((f & ITEM_SUMMARY) != 0, "summary", "true")
        .attrIf((f & ITEM_READWRITERS) != 0, "authors", "true")
        .attrIf((f & ITEM_NAMES) != 0, "names", "true")
        .attrIf((f & ITEM_READERS) != 0, "readers", "true")
        .attrIf((f & ITEM_PLACEHOLDER) != 0, "placeholder", "true")
        .attrIf((f & ITEM_PROTECTED) != 0, "protected", "true")
        .open();
}

void closeItem(Context& ctx) {
    Tag::close(ctx.out, "item");
    ctx.out.raw("\n");
}

}  // namespace

void writeItem(Context& ctx, std::size_t first, std::size_t last) {
    const auto& items = ctx.note.items();
    const NoteItem& item = items[first];
    const bool sealed = (item.flags & ITEM_SEAL) != 0 && ctx.noteSealed;

    // Rich text is written as markup only when every record is covered; that is decided before
    // anything of the item is written.
    if (!sealed && item.type == TYPE_COMPOSITE && ctx.settings.richText == eRichtextAsDxl) {
        std::vector<const NoteItem*> run;
        for (std::size_t i = first; i <= last; ++i)
            run.push_back(&items[i]);
        std::string markup;
        Output buffer([&](const std::uint8_t* bytes, std::size_t length) {
            markup.append(reinterpret_cast<const char*>(bytes), length);
        });
        Context inner{ctx.settings, buffer, ctx.log, ctx.note, ctx.noteSealed};
        if (writeRichText(inner, run)) {
            buffer.flush();
            openItem(ctx, item, false);
            ctx.out.raw(markup);
            closeItem(ctx);
            return;
        }
        // Not covered: each item of the run as raw item data of its own.
        for (std::size_t i = first; i <= last; ++i) {
            openItem(ctx, items[i], false);
            writeRawItemData(ctx.out, items[i].type, valueOf(items[i]));
            closeItem(ctx);
        }
        return;
    }

    openItem(ctx, item, sealed);
    bool written = false;
    std::string problem;
    if (sealed) {
        // Encrypted values stay as stored: this runtime holds no keys.
    } else if (item.type == TYPE_OBJECT) {
        written = writeFileObject(ctx, item);
    } else {
        written = writeValue(ctx, item, problem);
    }
    if (!written) {
        if (!problem.empty())
            ctx.log.add("Item '" + item.nameUtf8 + "' of note " + noteIdText(ctx.note) +
                        " could not be decoded (" + problem + "); it is exported as raw item data.");
        writeRawItemData(ctx.out, item.type, valueOf(item));
    }
    closeItem(ctx);
}

}  // namespace notesrt::dxl
