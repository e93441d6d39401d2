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

std::string numberText(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// "YYYY-MM-DD HH:MM:SS" in Greenwich time; date or time alone for all-day and any-day values.
std::string timeText(const nsf::TimeDate& td) {
    const auto fields = nsf::decodeTimeDate(td);
    if (!fields)
        return {};
    char buf[64] = "";
    std::string out;
    if (fields->date) {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(fields->date->year),
                      static_cast<unsigned>(fields->date->month), static_cast<unsigned>(fields->date->day));
        out = buf;
    }
    if (fields->time) {
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", static_cast<unsigned>(fields->time->hour),
                      static_cast<unsigned>(fields->time->minute), static_cast<unsigned>(fields->time->second));
        out += out.empty() ? buf : std::string(" ") + buf;
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

// LMBCS text of a value (without its type word); nullopt for a type without a text form.
std::optional<std::string> valueText(WORD type, nsf::Bytes value, char sep) {
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
        return r ? std::optional(joined(r->values, sep, numberText)) : std::nullopt;
    }
    case TYPE_TIME: {
        auto t = nsf::decodeTime(value);
        return t ? std::optional(timeText(*t)) : std::nullopt;
    }
    case TYPE_TIME_RANGE: {
        auto r = nsf::decodeTimeRange(value);
        return r ? std::optional(joined(r->values, sep, timeText)) : std::nullopt;
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
