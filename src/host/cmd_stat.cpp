// nsfrex stat FILE: the structure of a database as one JSON object, read directly by the engine.
#include <array>
#include <cstdio>
#include <string>

#include "commands.h"
#include "damage_report.h"
#include "json_text.h"
#include "nsf/database.h"

namespace nsfrex {
namespace {

// The replica ID as Notes shows it: the high word, then the low word, 16 hex digits.
std::string replicaHex(const std::array<std::uint8_t, 8>& id) {
    std::string out;
    char buf[3];
    for (int i : {7, 6, 5, 4, 3, 2, 1, 0}) {
        std::snprintf(buf, sizeof buf, "%02X", id[static_cast<std::size_t>(i)]);
        out += buf;
    }
    return out;
}

int failure(std::string_view file, const nsf::Error& error) {
    std::fprintf(stderr, "nsfrex stat: %.*s: %s\n", static_cast<int>(file.size()), file.data(), error.message().c_str());
    return 1;
}

}  // namespace

int runStat(Args args) {
    bool salvage = false;
    std::string file;
    for (const std::string_view arg : args) {
        if (arg == "--salvage" && !salvage) {
            salvage = true;
        } else if (file.empty() && !arg.empty() && !(arg.size() > 1 && arg[0] == '-')) {
            file = arg;
        } else {
            file.clear();
            break;
        }
    }
    if (file.empty()) {
        std::fputs("nsfrex stat: expected one database file\nusage: nsfrex stat FILE [--salvage]\n", stderr);
        return 2;
    }
    auto db = nsf::openDatabaseFile(file, nsf::OpenOptions{.salvage = salvage});
    if (!db) return failure(file, db.error());
    const nsf::DatabaseInfo& info = (*db)->info();

    std::string json = "{\"file\": " + jsonQuoted(file) + ", \"ods\": " + std::to_string(info.ods) +
                       ", \"title\": " + jsonQuoted(info.title) + ", \"replica_id\": \"" + replicaHex(info.replicaId) + "\"";
    if (info.locallyEncrypted) {
        // The header is readable; the notes are not. Counts are unknown.
        json += ", \"notes\": null, \"documents\": null, \"deletion_stubs\": null, \"objects\": null, \"encrypted\": true}";
        std::printf("%s\n", json.c_str());
        return 0;
    }
    auto notes = (*db)->notes();
    if (!notes) return failure(file, notes.error());
    auto objects = (*db)->objectIds();
    if (!objects) return failure(file, objects.error());
    const std::vector<nsf::Damage> damage = (*db)->damage();
    std::size_t live = 0, documents = 0, stubs = 0, unreadable = 0;
    for (const nsf::NoteEntry& n : *notes) {
        if (n.deleted) {
            ++stubs;
            continue;
        }
        ++live;
        if (n.noteClass == 0) ++unreadable;
        if ((n.noteClass & ~nsf::kNoteClassDefault) == nsf::kNoteClassDocument) ++documents;
    }
    json += ", \"notes\": " + std::to_string(live) + ", \"documents\": " + std::to_string(documents) +
            ", \"deletion_stubs\": " + std::to_string(stubs) + ", \"objects\": " + std::to_string(objects->size()) +
            ", \"unreadable_notes\": " + std::to_string(unreadable) + ", \"encrypted\": false, \"damage\": " +
            damageJson(damage) + "}";
    std::printf("%s\n", json.c_str());
    // What cannot be read is also said on stderr, so that a script that looks only at counts notices.
    for (const nsf::Damage& d : damage)
        if (!d.recovered) std::fprintf(stderr, "nsfrex stat: %s: %s\n", file.c_str(), d.message().c_str());
    for (const nsf::Damage& d : damage)
        if (!d.recovered) return 1;
    return 0;
}

}  // namespace nsfrex
