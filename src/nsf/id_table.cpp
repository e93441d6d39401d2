// Stored ID tables: an 18-byte header, then one 5-byte entry per note ID.
//
//   +0  u32  entry alignment, always 4 (the size of a note ID)
//   +4  u16  number of IDs
//   +6  u16  number of entries (equal to the number of IDs in every table seen)
//   +8  u16  flags
//   +10 8    TIMEDATE of the last change (or zero)
//   +18 n x {u8 entry code (0 = a full ID follows), u32 note ID}
#include "nsf/id_table.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "nsf/values.h"

namespace nsf {
namespace {

constexpr std::uint32_t kAlignment = 4;
constexpr std::uint16_t kKnownFlags = kIdTableModified | kIdTableFlag40;
constexpr std::string_view kStructure = "ID table";

std::string hex(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

void putU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The entry count a header announces, once the header itself is understood.
Expected<std::uint16_t> readHeader(ByteReader& r, IdTable& table) {
    auto alignment = r.u32();
    if (!alignment) return std::unexpected(alignment.error());
    if (*alignment != kAlignment)
        return fail(ErrorKind::Unsupported, std::string(kStructure), "entry alignment " + std::to_string(*alignment), 0);
    auto ids = r.u16();
    auto entries = r.u16();
    auto flags = r.u16();
    auto t0 = r.u32();
    auto t1 = r.u32();
    if (!ids || !entries || !flags || !t0 || !t1)
        return fail(ErrorKind::Truncated, std::string(kStructure), "header needs 18 bytes", 0);
    if (*ids != *entries)
        return fail(ErrorKind::Unsupported, std::string(kStructure),
                    std::to_string(*ids) + " IDs in " + std::to_string(*entries) + " entries (packed table)", 4);
    if (*flags & kIdTableInverted) return fail(ErrorKind::Unsupported, std::string(kStructure), "inverted table", 8);
    if (*flags & ~kKnownFlags)
        return fail(ErrorKind::Unsupported, std::string(kStructure), "unknown flags " + hex(*flags), 8);
    table.flags = *flags;
    table.modified = TimeDate{*t0, *t1};
    return *ids;
}

}  // namespace

Expected<IdTable> parseIdTable(Bytes payload) {
    ByteReader r(payload, kStructure);
    IdTable table;
    auto count = readHeader(r, table);
    if (!count) return std::unexpected(count.error());
    if (static_cast<std::uint64_t>(*count) * kIdTableEntrySize > r.remaining())
        return fail(ErrorKind::Truncated, std::string(kStructure),
                    std::to_string(*count) + " entries need " + std::to_string(*count * kIdTableEntrySize) +
                        " bytes, " + std::to_string(r.remaining()) + " left",
                    r.position());
    table.ids.reserve(*count);
    for (std::uint16_t i = 0; i < *count; ++i) {
        const std::size_t at = r.position();
        // Both reads are within the length checked above.
        const std::uint8_t code = *r.u8();
        const NoteId id = *r.u32();
        if (code != 0)
            return fail(ErrorKind::Unsupported, std::string(kStructure), "entry code " + hex(code), at);
        if (id == 0) return fail(ErrorKind::Corrupt, std::string(kStructure), "note ID 0", at);
        if (!table.ids.empty() && id <= table.ids.back())
            return fail(ErrorKind::Corrupt, std::string(kStructure),
                        "note ID " + hex(id) + " after " + hex(table.ids.back()) + " (not ascending)", at);
        table.ids.push_back(id);
    }
    return table;
}

Expected<std::vector<NoteId>> parseFolderIdTable(Bytes payload) {
    auto table = parseIdTable(payload);
    if (!table) return std::unexpected(table.error());
    return std::move(table->ids);
}

std::vector<std::uint8_t> encodeFolderIdTable(std::span<const NoteId> ids, std::uint16_t flags, TimeDate modified) {
    std::vector<NoteId> sorted(ids.begin(), ids.end());
    std::ranges::sort(sorted);
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    if (sorted.size() > kIdTableMaxEntries) throw std::invalid_argument("ID table: more than 65535 note IDs");
    if (!sorted.empty() && sorted.front() == 0) throw std::invalid_argument("ID table: note ID 0");
    if (flags & ~kKnownFlags) throw std::invalid_argument("ID table: flags the reader would refuse");

    std::vector<std::uint8_t> out;
    out.reserve(kIdTableHeaderSize + sorted.size() * kIdTableEntrySize);
    putU32(out, kAlignment);
    putU16(out, static_cast<std::uint16_t>(sorted.size()));
    putU16(out, static_cast<std::uint16_t>(sorted.size()));
    putU16(out, flags);
    putU32(out, modified.innards0);
    putU32(out, modified.innards1);
    for (NoteId id : sorted) {
        out.push_back(0);
        putU32(out, id);
    }
    return out;
}

namespace {

constexpr std::string_view kFolderIdTableItem = "$FolderIDTable";
constexpr std::uint16_t kNoteClassViewOrFolder = 0x0008;
constexpr std::uint16_t kObjectKindIdTable = 10;

bool equalsNoCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// $Flags is a string of single-letter design flags; a text list is tolerated. Decoded first, so that
// a list's length words or an LMBCS trail byte are never taken for the letter.
bool hasFolderFlag(const Note& note) {
    for (const Item& item : note.items) {
        if (!equalsNoCase(item.name, "$Flags")) continue;
        std::vector<std::string> parts;
        if (item.type == kTypeText) {
            if (auto text = decodeText(item.value)) parts.push_back(std::move(*text));
        } else if (item.type == kTypeTextList) {
            if (auto list = decodeTextList(item.value)) parts = std::move(*list);
        }
        return std::ranges::any_of(parts, [](const std::string& p) { return p.find('F') != std::string::npos; });
    }
    return false;
}

}  // namespace

Expected<std::vector<NoteId>> readFolderMembers(Database& db, NoteId folder) {
    auto note = db.readNote(folder);
    if (!note) return std::unexpected(note.error());
    if ((note->header.noteClass & ~kNoteClassDefault) != kNoteClassViewOrFolder || !hasFolderFlag(*note))
        return fail(ErrorKind::NotFound, "folder", "note " + hex(folder) + " is not a folder");

    auto item = std::ranges::find_if(note->items, [](const Item& i) { return equalsNoCase(i.name, kFolderIdTableItem); });
    if (item == note->items.end()) return std::vector<NoteId>{};
    if (item->type != kTypeObject)
        return fail(ErrorKind::Corrupt, "folder", "$FolderIDTable of note " + hex(folder) + " is not an object");
    auto descriptor = decodeObjectDescriptor(item->value);
    if (!descriptor) return std::unexpected(descriptor.error());
    if (descriptor->kind() != kObjectKindIdTable)
        return fail(ErrorKind::Unsupported, "folder", "$FolderIDTable object type " + hex(descriptor->objectType));

    auto stream = db.openObject(descriptor->rrv);
    if (!stream) return std::unexpected(stream.error());

    // Read no more than the header announces: the object may be allocated larger than the table.
    std::vector<std::uint8_t> bytes(kIdTableHeaderSize);
    std::size_t have = 0;
    std::size_t want = kIdTableHeaderSize;
    bool sized = false;
    while (have < want) {
        auto n = (*stream)->read(std::span(bytes).subspan(have, want - have));
        if (!n) return std::unexpected(n.error());
        if (*n == 0) break;
        have += *n;
        if (!sized && have == kIdTableHeaderSize) {
            sized = true;
            want += std::size_t{loadLE<std::uint16_t>(bytes.data() + 4)} * kIdTableEntrySize;
            bytes.resize(want);
        }
    }
    bytes.resize(have);
    auto ids = parseFolderIdTable(bytes);
    if (!ids) {
        Error e = ids.error();
        return fail(e.kind(), "$FolderIDTable of folder " + hex(folder), e.structure() + ": " + e.detail(), e.offset());
    }
    return ids;
}

}  // namespace nsf
