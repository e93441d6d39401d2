// nsfrex dump FILE [--note NOTEID]: the notes of a database with their items, like a developer's
// dump tool, read directly by the engine.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "commands.h"
#include "number_argument.h"
#include "nsf/database.h"
#include "nsf/test_seal.h"
#include "nsf/timedate.h"
#include "nsf/values.h"

namespace nsfrex {
namespace {

std::string hex32(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

std::string hex16(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

// UNID as 32 hex digits: File.Innards[1], File.Innards[0], Note.Innards[1], Note.Innards[0].
std::string unid(const nsf::OriginatorId& oid) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X%08X%08X%08X", oid.file[1], oid.file[0], oid.note.innards1, oid.note.innards0);
    return buf;
}

std::string className(std::uint16_t cls) {
    std::string name;
    switch (cls & ~nsf::kNoteClassDefault) {
    case 0x0001: name = "document"; break;
    case 0x0002: name = "info"; break;
    case 0x0004: name = "form"; break;
    case 0x0008: name = "view"; break;
    case 0x0010: name = "icon"; break;
    case 0x0020: name = "design"; break;
    case 0x0040: name = "acl"; break;
    case 0x0080: name = "help index"; break;
    case 0x0100: name = "help"; break;
    case 0x0200: name = "filter"; break;
    case 0x0400: name = "field"; break;
    case 0x0800: name = "replication formula"; break;
    case 0x1000: name = "private design"; break;
    default: name = "class " + hex16(cls); break;
    }
    if (cls & nsf::kNoteClassDefault) name += ", default";
    return name;
}

std::string itemFlags(std::uint16_t f) {
    static constexpr std::pair<std::uint16_t, const char*> kNames[] = {
        {nsf::kItemSign, "sign"},           {nsf::kItemSeal, "seal"},         {nsf::kItemSummary, "summary"},
        {nsf::kItemReadWriters, "authors"}, {nsf::kItemNames, "names"},       {nsf::kItemPlaceholder, "placeholder"},
        {nsf::kItemProtected, "protected"}, {nsf::kItemReaders, "readers"},   {nsf::kItemUnchanged, "unchanged"}};
    std::string out = hex16(f);
    std::string words;
    for (auto [bit, name] : kNames)
        if (f & bit) words += words.empty() ? name : std::string(",") + name;
    if (!words.empty()) out += " (" + words + ")";
    return out;
}

std::string when(const nsf::TimeDate& td) { return nsf::isNull(td) ? "-" : nsf::formatTimeDate(td); }

void printNote(const nsf::Note& note) {
    const nsf::NoteHeader& h = note.header;
    std::printf("note %s  unid %s  class %s (%s)  flags %s  seq %u\n", hex32(h.id).c_str(), unid(h.oid).c_str(),
                hex16(h.noteClass).c_str(), className(h.noteClass).c_str(), hex16(h.statusFlags).c_str(),
                h.oid.sequence & 0xFFFF);
    std::printf("  created %s  modified %s  added %s  accessed %s\n", when(h.oid.note).c_str(), when(h.modified).c_str(),
                when(h.added).c_str(), when(h.accessed).c_str());
    if (h.parent != 0 || h.responseCount != 0)
        std::printf("  parent %s  responses %u\n", hex32(h.parent).c_str(), h.responseCount);
    // The sealed values of a note sealed in the test format are ciphertext; the reader empties those
    // of notes Notes sealed.
    const bool testSealed = nsf::test_seal::findSeal(note.items).has_value();
    for (const nsf::Item& item : note.items) {
        const bool hidden = item.sealed() && (item.value.empty() || testSealed);
        std::string rendering = hidden ? "<sealed>" : nsf::renderValue(item, 200);
        std::printf("  %-24s %-16s %s  len %zu  %s\n", item.name.c_str(), nsf::typeName(item.type).c_str(),
                    itemFlags(item.flags).c_str(), item.value.size(), rendering.c_str());
    }
}

}  // namespace

int runDump(Args args) {
    std::string_view file;
    std::optional<nsf::NoteId> only;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--note") {
            const auto id = i + 1 < args.size() ? parseNumberArgument<nsf::NoteId>(args[i + 1]) : std::nullopt;
            if (!id) {
                std::fputs("nsfrex dump: --note needs a note ID (decimal or 0x hex)\nusage: nsfrex dump FILE [--note NOTEID]\n",
                           stderr);
                return 2;
            }
            only = *id;
            ++i;
        } else if (file.empty() && !(args[i].size() > 1 && args[i][0] == '-')) {
            file = args[i];
        } else {
            std::fputs("nsfrex dump: unexpected argument\nusage: nsfrex dump FILE [--note NOTEID]\n", stderr);
            return 2;
        }
    }
    if (file.empty()) {
        std::fputs("nsfrex dump: expected a database file\nusage: nsfrex dump FILE [--note NOTEID]\n", stderr);
        return 2;
    }
    const std::string path(file);
    auto fail = [&](const std::string& what) {
        std::fprintf(stderr, "nsfrex dump: %s: %s\n", path.c_str(), what.c_str());
        return 1;
    };
    auto db = nsf::openDatabaseFile(path);
    if (!db) return fail(db.error().message());
    const nsf::DatabaseInfo& info = (*db)->info();
    std::printf("database %s  ods %u  title \"%s\"%s\n", path.c_str(), info.ods, info.title.c_str(),
                info.locallyEncrypted ? "  (locally encrypted)" : "");

    if (only) {
        auto note = (*db)->readNote(*only);
        if (!note) return fail("note " + hex32(*only) + ": " + note.error().message());
        printNote(*note);
        return 0;
    }
    auto notes = (*db)->notes();
    if (!notes) return fail(notes.error().message());
    int status = 0;
    for (const nsf::NoteEntry& n : *notes) {
        if (n.deleted) {
            std::printf("note %s  deletion stub\n", hex32(n.id).c_str());
            continue;
        }
        auto note = (*db)->readNote(n.id);
        if (!note) {
            std::printf("note %s  unreadable: %s\n", hex32(n.id).c_str(), note.error().message().c_str());
            std::fprintf(stderr, "nsfrex dump: %s: note %s: %s\n", path.c_str(), hex32(n.id).c_str(),
                         note.error().message().c_str());
            status = 1;
            continue;
        }
        printNote(*note);
    }
    return status;
}

}  // namespace nsfrex
