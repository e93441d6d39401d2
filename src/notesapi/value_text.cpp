// Item values as text (NSFItemConvertValueToText and its by-name form).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "api_guard.h"
#include "handles.h"
#include "note_access.h"
#include "notesapi/nsfnote.h"
#include "notesapi/status.h"
#include "nsf/lmbcs.h"
#include "nsf/timedate.h"
#include "nsf/values.h"

namespace notesrt {
namespace {

// The general number format: up to 15 significant digits, integers without a decimal point, an
// exponent ("1.5E+20") only where the plain form would need more than 15 digits.
std::string numberText(double v) {
    if (v == 0)
        return "0";  // also for -0
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    return buf;
}

// The runtime's clock is Greenwich time with US settings: "MM/DD/YYYY HH:MM:SS AM", a date alone for
// an all-day value, a time alone for an any-day value. The hour after midnight is written 00, not
// 12: readers of this text add 12 for "PM" and take every other hour as it stands.
std::string timeText(const nsf::TimeDate& td) {
    if (nsf::isNull(td))
        return {};
    const auto fields = nsf::decodeTimeDate(td);
    if (!fields)
        return {};
    char buf[64] = "";
    std::string out;
    if (fields->date) {
        std::snprintf(buf, sizeof buf, "%02u/%02u/%04d", static_cast<unsigned>(fields->date->month),
                      static_cast<unsigned>(fields->date->day), static_cast<int>(fields->date->year));
        out = buf;
    }
    if (fields->time) {
        const unsigned hour = fields->time->hour;
        const unsigned clock = hour > 12 ? hour - 12 : hour;
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u %s", clock, static_cast<unsigned>(fields->time->minute),
                      static_cast<unsigned>(fields->time->second), hour < 12 ? "AM" : "PM");
        if (!out.empty())
            out.push_back(' ');
        out += buf;
    }
    return out;
}

std::string asString(nsf::Bytes b) { return std::string(reinterpret_cast<const char*>(b.data()), b.size()); }

std::string lmbcs(const std::string& utf8) {
    const auto bytes = nsf::utf8ToLmbcs(utf8);
    return std::string(bytes.begin(), bytes.end());
}

template <typename T, typename F>
std::string joined(const std::vector<T>& values, char sep, F&& text) {
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out.push_back(sep);
        out += text(values[i]);
    }
    return out;
}

// A range value: its single entries, then its pairs as "lower - upper", all joined by the separator.
template <typename T, typename F>
std::string rangeText(const std::vector<T>& values, const std::vector<nsf::Bounds<T>>& pairs, char sep, F&& text) {
    std::string out = joined(values, sep, text);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i > 0 || !values.empty())
            out.push_back(sep);
        out += text(pairs[i].lower) + " - " + text(pairs[i].upper);
    }
    return out;
}

// LMBCS text of a value (without its type word); nullopt for a type without a text form. The separator
// is written as given, a zero byte included: callers that ask for 0 split the entries at those bytes
// (item text turns each into a line break), so it must not become ';'.
std::optional<std::string> valueText(WORD type, nsf::Bytes value, char sepChar) {
    const char sep = sepChar;
    switch (type) {
    case TYPE_TEXT: return asString(value);
    case TYPE_TEXT_LIST: {
        auto list = nsf::splitTextList(value);
        return list ? std::optional(joined(*list, sep, asString)) : std::nullopt;
    }
    case TYPE_NUMBER: {
        auto v = nsf::decodeNumber(value);
        return v ? std::optional(numberText(*v)) : std::nullopt;
    }
    case TYPE_NUMBER_RANGE: {
        auto r = nsf::decodeNumberRange(value);
        return r ? std::optional(rangeText(r->values, r->pairs, sep, numberText)) : std::nullopt;
    }
    case TYPE_TIME: {
        auto t = nsf::decodeTime(value);
        return t ? std::optional(timeText(*t)) : std::nullopt;
    }
    case TYPE_TIME_RANGE: {
        auto r = nsf::decodeTimeRange(value);
        return r ? std::optional(rangeText(r->values, r->pairs, sep, timeText)) : std::nullopt;
    }
    case TYPE_USERID: {
        auto u = nsf::decodeUserId(value);
        return u ? std::optional(lmbcs(u->name)) : std::nullopt;
    }
    case TYPE_ERROR: return std::string("ERROR: ");
    case TYPE_UNAVAILABLE: return std::string("UNAVAILABLE: ");
    default: return std::nullopt;
    }
}

WORD writeText(const std::optional<std::string>& text, char* out, WORD length) {
    if (out == nullptr || length == 0)
        return 0;
    const std::size_t n = text ? std::min<std::size_t>(text->size(), length - 1u) : 0;
    if (n > 0)
        std::memcpy(out, text->data(), n);
    out[n] = '\0';
    return static_cast<WORD>(n);
}

}  // namespace
}  // namespace notesrt

using namespace notesrt;

extern "C" {

WORD NSFItemConvertValueToText(WORD DataType, BLOCKID bhValue, DWORD ValueLength, char* retBuffer, WORD BufferLength,
                               char SepChar) {
    return guardValue<WORD>("NSFItemConvertValueToText", 0, [&]() -> WORD {
        writeText(std::nullopt, retBuffer, BufferLength);
        const auto pool = handles().find(bhValue.pool);
        if (!pool)
            return 0;
        const auto* base = static_cast<const std::uint8_t*>(pool->lockMemory());
        if (base == nullptr)
            return 0;
        const std::size_t size = pool->memorySize();
        const std::size_t start = std::min<std::size_t>(bhValue.block, size);
        const std::size_t length = std::min<std::size_t>(ValueLength, size - start);
        pool->unlockMemory();  // the block stays valid while its note is open
        if (length < 2)
            return 0;
        // The value block starts with the type word; the length counts it.
        const nsf::Bytes value(base + start + 2, length - 2);
        return writeText(valueText(DataType, value, SepChar), retBuffer, BufferLength);
    });
}

WORD NSFItemConvertToText(NOTEHANDLE hNote, const char* ItemName, char* retBuffer, WORD BufferLength, char SepChar) {
    return guardValue<WORD>("NSFItemConvertToText", 0, [&]() -> WORD {
        writeText(std::nullopt, retBuffer, BufferLength);
        const auto note = findNote(hNote);
        if (!note || ItemName == nullptr)
            return 0;
        const auto index = findItem(*note, ItemName, static_cast<WORD>(std::strlen(ItemName)), 0);
        if (!index)
            return 0;
        const NoteItem& item = note->items()[*index];
        const nsf::Bytes value(item.block->data() + 2, item.block->size() - 2);
        return writeText(valueText(item.type, value, SepChar), retBuffer, BufferLength);
    });
}

}  // extern "C"
