#include "nsf/values.h"

#include <bit>
#include <cstdio>

#include "nsf/lmbcs.h"
#include "nsf/timedate.h"

namespace nsf {
namespace {

// Reads the whole value through one cursor; a failed read ends the decode with its error.
#define NSF_TRY_ASSIGN(var, expr)                                    \
    auto var##_result = (expr);                                      \
    if (!var##_result) return std::unexpected(var##_result.error()); \
    auto var = *std::move(var##_result)

// Appends only: GCC 12 warns falsely (-Wrestrict) about `"literal" + std::string` at -O2.
template <typename... Parts>
std::string cat(const Parts&... parts) {
    std::string out;
    ((out += parts), ...);
    return out;
}

Expected<TimeDate> readTimeDate(ByteReader& r) {
    NSF_TRY_ASSIGN(lo, r.u32());
    NSF_TRY_ASSIGN(hi, r.u32());
    return TimeDate{lo, hi};
}

Expected<double> readDouble(ByteReader& r) {
    NSF_TRY_ASSIGN(bits, r.u64());
    return std::bit_cast<double>(bits);
}

// The fixed part of RANGE, with both counts checked against the bytes that must follow.
Expected<std::pair<std::uint16_t, std::uint16_t>> readRange(ByteReader& r, std::size_t itemSize) {
    NSF_TRY_ASSIGN(list, r.u16());
    NSF_TRY_ASSIGN(pairs, r.u16());
    const std::uint64_t needed = std::uint64_t{list} * itemSize + std::uint64_t{pairs} * itemSize * 2;
    if (needed > r.remaining())
        return fail(ErrorKind::Truncated, "RANGE",
                    std::to_string(list) + " values and " + std::to_string(pairs) + " pairs need " +
                        std::to_string(needed) + " bytes, " + std::to_string(r.remaining()) + " left",
                    r.position());
    return std::pair{list, pairs};
}

template <typename T, typename ReadOne>
Expected<std::pair<std::vector<T>, std::vector<Bounds<T>>>> decodeRange(Bytes value, std::size_t itemSize,
                                                                       ReadOne readOne) {
    std::pair<std::vector<T>, std::vector<Bounds<T>>> out;
    if (value.empty()) return out;  // as for text lists
    ByteReader r(value, "RANGE");
    NSF_TRY_ASSIGN(counts, readRange(r, itemSize));
    out.first.reserve(counts.first);
    out.second.reserve(counts.second);
    for (std::uint16_t i = 0; i < counts.first; ++i) {
        NSF_TRY_ASSIGN(v, readOne(r));
        out.first.push_back(v);
    }
    for (std::uint16_t i = 0; i < counts.second; ++i) {
        NSF_TRY_ASSIGN(lower, readOne(r));
        NSF_TRY_ASSIGN(upper, readOne(r));
        out.second.push_back({lower, upper});
    }
    return out;
}

const char* partTypeName(std::uint8_t type) {
    switch (type) {
    case kMimePartProlog: return "prolog";
    case kMimePartBody: return "body";
    case kMimePartEpilog: return "epilog";
    case kMimePartRetrieveInfo: return "retrieve-info";
    case kMimePartMessage: return "message";
    default: return "unknown";
    }
}

const char* compressionName(const FileObject& f) {
    switch (f.compressionType & kCompressMask) {
    case 0: return "none";
    case 1: return "huffman";
    case 2: return "lz1";
    case 3: return "rehuffman";
    default: return "unknown";
    }
}

std::string formatNumber(double d) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    return buf;
}

std::string quoteText(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '"' || c == '\\') (out += '\\') += c;
        else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
            out += buf;
        } else out += c;
    }
    return out + '"';
}

std::string hexPreview(Bytes bytes, std::size_t max) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size() && i < max; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        out += buf;
    }
    if (bytes.size() > max) out += " ...";
    return out;
}

template <typename T, typename F>
std::string joined(const std::vector<T>& items, F render) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        out += render(items[i]);
    }
    return out;
}

std::string renderDecoded(const Value& v) {
    struct Visitor {
        std::string operator()(const RawValue& raw) const {
            return cat("<", std::to_string(raw.bytes.size()), " bytes> ", hexPreview(raw.bytes, 32));
        }
        std::string operator()(const std::string& text) const { return quoteText(text); }
        std::string operator()(const std::vector<std::string>& list) const {
            return cat("[", joined(list, [](const std::string& s) { return quoteText(s); }), "]");
        }
        std::string operator()(double d) const { return formatNumber(d); }
        std::string operator()(const NumberRange& r) const {
            std::string out = cat("[", joined(r.values, formatNumber));
            for (const auto& p : r.pairs)
                out += cat(out.size() > 1 ? ", " : "", formatNumber(p.lower), "..", formatNumber(p.upper));
            return out + "]";
        }
        std::string operator()(const TimeDate& td) const { return formatTimeDate(td); }
        std::string operator()(const TimeRange& r) const {
            std::string out = cat("[", joined(r.values, formatTimeDate));
            for (const auto& p : r.pairs)
                out += cat(out.size() > 1 ? ", " : "", formatTimeDate(p.lower), "..", formatTimeDate(p.upper));
            return out + "]";
        }
        std::string operator()(const UserId& u) const { return cat("user ", quoteText(u.name)); }
        std::string operator()(const std::vector<Unid>& refs) const {
            return cat("[", joined(refs, [](const Unid& u) {
                       char buf[40];
                       std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X%02X%02X%02X%02X%08X%08X", u.file[7],
                                     u.file[6], u.file[5], u.file[4], u.file[3], u.file[2], u.file[1], u.file[0],
                                     u.note.innards1, u.note.innards0);
                       return std::string(buf);
                   }), "]");
        }
        std::string operator()(const ObjectValue& o) const {
            char buf[64];
            std::snprintf(buf, sizeof buf, "object type %u rrv 0x%X", o.descriptor.objectType, o.descriptor.rrv);
            std::string out = buf;
            if (o.file) {
                const FileObject& f = *o.file;
                std::snprintf(buf, sizeof buf, " host 0x%04X flags 0x%04X", f.hostType, f.flags);
                out += cat(", file ", quoteText(f.name), " ", std::to_string(f.fileSize), " bytes ",
                           compressionName(f), buf, " modified ", formatTimeDate(f.modified));
            }
            return out;
        }
        std::string operator()(const CompositeValue& c) const {
            return cat("<rich text, ", std::to_string(c.records.size()), " bytes>");
        }
        std::string operator()(const MimePart& m) const {
            std::string out = cat("<MIME part ", partTypeName(m.partType), ", headers ",
                                  std::to_string(m.headers.size()), " bytes, body ", std::to_string(m.body.size()),
                                  " bytes");
            if (m.bodyInObject())
                out += cat(" in object ", quoteText(lmbcsToUtf8(m.body)));
            return out + ">";
        }
    };
    return std::visit(Visitor{}, v);
}

// Cuts at a character boundary and marks the cut.
std::string truncateUtf8(std::string text, std::size_t maxChars) {
    if (text.size() <= maxChars) return text;
    constexpr std::string_view kEllipsis = "...";
    std::size_t cut = maxChars > kEllipsis.size() ? maxChars - kEllipsis.size() : 0;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    if (maxChars >= kEllipsis.size()) text += kEllipsis;
    return text;
}

}  // namespace

std::string typeName(std::uint16_t type) {
    switch (type) {
    case kTypeInvalidOrUnknown: return "TYPE_INVALID_OR_UNKNOWN";
    case kTypeComposite: return "TYPE_COMPOSITE";
    case kTypeCollation: return "TYPE_COLLATION";
    case kTypeObject: return "TYPE_OBJECT";
    case kTypeNoteRefList: return "TYPE_NOTEREF_LIST";
    case kTypeViewFormat: return "TYPE_VIEW_FORMAT";
    case kTypeIcon: return "TYPE_ICON";
    case kTypeNoteLinkList: return "TYPE_NOTELINK_LIST";
    case kTypeSignature: return "TYPE_SIGNATURE";
    case kTypeSeal: return "TYPE_SEAL";
    case kTypeSealData: return "TYPE_SEALDATA";
    case kTypeSealList: return "TYPE_SEAL_LIST";
    case kTypeHighlights: return "TYPE_HIGHLIGHTS";
    case kTypeWorksheetData: return "TYPE_WORKSHEET_DATA";
    case kTypeUserData: return "TYPE_USERDATA";
    case kTypeQuery: return "TYPE_QUERY";
    case kTypeAction: return "TYPE_ACTION";
    case kTypeAssistantInfo: return "TYPE_ASSISTANT_INFO";
    case kTypeViewmapDataset: return "TYPE_VIEWMAP_DATASET";
    case kTypeViewmapLayout: return "TYPE_VIEWMAP_LAYOUT";
    case kTypeLsObject: return "TYPE_LSOBJECT";
    case kTypeHtml: return "TYPE_HTML";
    case kTypeSchedList: return "TYPE_SCHED_LIST";
    case kTypeCalendarFormat: return "TYPE_CALENDAR_FORMAT";
    case kTypeMimePart: return "TYPE_MIME_PART";
    case kTypeSeal2: return "TYPE_SEAL2";
    case kTypeError: return "TYPE_ERROR";
    case kTypeUnavailable: return "TYPE_UNAVAILABLE";
    case kTypeNumber: return "TYPE_NUMBER";
    case kTypeNumberRange: return "TYPE_NUMBER_RANGE";
    case kTypeTime: return "TYPE_TIME";
    case kTypeTimeRange: return "TYPE_TIME_RANGE";
    case kTypeText: return "TYPE_TEXT";
    case kTypeTextList: return "TYPE_TEXT_LIST";
    case kTypeRfc822Text: return "TYPE_RFC822_TEXT";
    case kTypeFormula: return "TYPE_FORMULA";
    case kTypeUserId: return "TYPE_USERID";
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "TYPE_0x%04X", type);
    return buf;
}

std::optional<Compression> FileObject::compression() const noexcept {
    const std::uint16_t code = compressionType & kCompressMask;
    if (code > static_cast<std::uint16_t>(Compression::Rehuffman)) return std::nullopt;
    return static_cast<Compression>(code);
}

Expected<std::string> decodeText(Bytes value) { return lmbcsTextToUtf8(value); }

Expected<std::vector<Bytes>> splitTextList(Bytes value) {
    if (value.empty()) return std::vector<Bytes>{};  // stored for emptied fields; nothing is cut off
    ByteReader r(value, "text list");
    NSF_TRY_ASSIGN(count, r.u16());
    NSF_TRY_ASSIGN(lengthTable, r.bytes(std::uint64_t{count} * 2));
    ByteReader lengths(lengthTable, "text list");
    std::vector<Bytes> entries;
    entries.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        NSF_TRY_ASSIGN(length, lengths.u16());
        NSF_TRY_ASSIGN(entry, r.bytes(length));
        entries.push_back(entry);
    }
    return entries;
}

Expected<std::vector<std::string>> decodeTextList(Bytes value) {
    NSF_TRY_ASSIGN(entries, splitTextList(value));
    std::vector<std::string> out;
    out.reserve(entries.size());
    for (Bytes e : entries) out.push_back(lmbcsTextToUtf8(e));
    return out;
}

Expected<double> decodeNumber(Bytes value) {
    ByteReader r(value, "number");
    return readDouble(r);
}

Expected<NumberRange> decodeNumberRange(Bytes value) {
    NSF_TRY_ASSIGN(parts, decodeRange<double>(value, 8, readDouble));
    return NumberRange{std::move(parts.first), std::move(parts.second)};
}

Expected<TimeDate> decodeTime(Bytes value) {
    ByteReader r(value, "TIMEDATE");
    return readTimeDate(r);
}

Expected<TimeRange> decodeTimeRange(Bytes value) {
    NSF_TRY_ASSIGN(parts, decodeRange<TimeDate>(value, 8, readTimeDate));
    return TimeRange{std::move(parts.first), std::move(parts.second)};
}

Expected<UserId> decodeUserId(Bytes value) {
    if (value.size() < 8)
        return fail(ErrorKind::Truncated, "user ID", cat("needs an 8-byte license ID, has ", std::to_string(value.size())));
    UserId u;
    const std::size_t nameSize = value.size() - 8;
    u.name = lmbcsToUtf8(value.first(nameSize));
    for (std::size_t i = 0; i < 8; ++i) u.license[i] = value[nameSize + i];
    return u;
}

Expected<std::vector<Unid>> decodeNoteRefList(Bytes value) {
    if (value.empty()) return std::vector<Unid>{};  // as for text lists
    ByteReader r(value, "note reference list");
    NSF_TRY_ASSIGN(count, r.u16());
    if (std::uint64_t{count} * 16 > r.remaining())
        return fail(ErrorKind::Truncated, "note reference list",
                    std::to_string(count) + " UNIDs need " + std::to_string(count * 16) + " bytes", r.position());
    std::vector<Unid> out(count);
    for (Unid& u : out) {
        NSF_TRY_ASSIGN(file, r.bytes(8));
        std::copy(file.begin(), file.end(), u.file.begin());
        NSF_TRY_ASSIGN(note, readTimeDate(r));
        u.note = note;
    }
    return out;
}

Expected<ObjectDescriptor> decodeObjectDescriptor(Bytes value) {
    ByteReader r(value, "OBJECT_DESCRIPTOR");
    NSF_TRY_ASSIGN(type, r.u16());
    NSF_TRY_ASSIGN(rrv, r.u32());
    return ObjectDescriptor{type, rrv};
}

Expected<ObjectValue> decodeObject(Bytes value) {
    NSF_TRY_ASSIGN(descriptor, decodeObjectDescriptor(value));
    ObjectValue out{descriptor, std::nullopt};
    if (descriptor.kind() != kObjectFile) return out;

    ByteReader r(value, "FILEOBJECT");
    (void)r.skip(6);
    FileObject f;
    NSF_TRY_ASSIGN(nameLength, r.u16());
    NSF_TRY_ASSIGN(host, r.u16());
    NSF_TRY_ASSIGN(compression, r.u16());
    NSF_TRY_ASSIGN(attributes, r.u16());
    NSF_TRY_ASSIGN(flags, r.u16());
    NSF_TRY_ASSIGN(size, r.u32());
    NSF_TRY_ASSIGN(created, readTimeDate(r));
    NSF_TRY_ASSIGN(modified, readTimeDate(r));
    NSF_TRY_ASSIGN(name, r.bytes(nameLength));
    NSF_TRY_ASSIGN(rest, r.bytes(r.remaining()));
    f.hostType = host;
    f.compressionType = compression;
    f.attributes = attributes;
    f.flags = flags;
    f.fileSize = size;
    f.created = created;
    f.modified = modified;
    f.rawName.assign(name.begin(), name.end());
    f.name = lmbcsToUtf8(name);
    f.trailing.assign(rest.begin(), rest.end());
    out.file = std::move(f);
    return out;
}

Expected<MimePart> decodeMimePart(Bytes value) {
    ByteReader r(value, "MIME_PART");
    MimePart m;
    NSF_TRY_ASSIGN(version, r.u16());
    NSF_TRY_ASSIGN(flags, r.u32());
    NSF_TRY_ASSIGN(partType, r.u8());
    NSF_TRY_ASSIGN(spare, r.u8());
    NSF_TRY_ASSIGN(byteCount, r.u16());
    NSF_TRY_ASSIGN(boundaryLength, r.u16());
    NSF_TRY_ASSIGN(headersLength, r.u16());
    if (auto skipped = r.skip(6); !skipped) return std::unexpected(skipped.error());
    (void)spare;
    if (std::uint32_t{boundaryLength} + headersLength > byteCount)
        return fail(ErrorKind::Corrupt, "MIME_PART",
                    cat("boundary (", std::to_string(boundaryLength), ") and headers (", std::to_string(headersLength),
                        ") exceed the part data (", std::to_string(byteCount), ")"),
                    8);
    NSF_TRY_ASSIGN(boundary, r.bytes(boundaryLength));
    NSF_TRY_ASSIGN(headers, r.bytes(headersLength));
    NSF_TRY_ASSIGN(body, r.bytes(byteCount - boundaryLength - headersLength));
    m.version = version;
    m.flags = flags;
    m.partType = partType;
    m.boundary.assign(boundary.begin(), boundary.end());
    m.headers.assign(headers.begin(), headers.end());
    m.body.assign(body.begin(), body.end());
    return m;
}

Expected<Value> decodeValue(std::uint16_t type, Bytes value) {
    auto wrap = [](auto&& decoded) -> Expected<Value> {
        if (!decoded) return std::unexpected(decoded.error());
        return Value(std::move(*decoded));
    };
    switch (type) {
    case kTypeText: return wrap(decodeText(value));
    case kTypeTextList: return wrap(decodeTextList(value));
    case kTypeNumber: return wrap(decodeNumber(value));
    case kTypeNumberRange: return wrap(decodeNumberRange(value));
    case kTypeTime: return wrap(decodeTime(value));
    case kTypeTimeRange: return wrap(decodeTimeRange(value));
    case kTypeUserId: return wrap(decodeUserId(value));
    case kTypeNoteRefList: return wrap(decodeNoteRefList(value));
    case kTypeObject: return wrap(decodeObject(value));
    case kTypeMimePart: return wrap(decodeMimePart(value));
    case kTypeComposite: return Value(CompositeValue{{value.begin(), value.end()}});
    default: return Value(RawValue{type, {value.begin(), value.end()}});
    }
}

std::string renderValue(const Item& item, std::size_t maxChars) {
    if (item.value.empty()) return truncateUtf8("<empty>", maxChars);
    auto decoded = decodeValue(item.type, item.value);
    std::string text = decoded ? renderDecoded(*decoded)
                               : cat("<bad value: ", decoded.error().message(), ">");
    return truncateUtf8(std::move(text), maxChars);
}

#undef NSF_TRY_ASSIGN

}  // namespace nsf
