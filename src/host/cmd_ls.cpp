// nsfrex ls FILE: every subfile the module finds, with its type, name, parent, children and time, as
// text lines or one JSON array.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "damage_report.h"
#include "json_text.h"
#include "module.h"
#include "open_database.h"
#include "options.h"
#include "subfiles.h"
#include "text.h"

namespace nsfrex {
namespace {

void printText(const std::vector<SubfileEntry>& entries) {
    for (const SubfileEntry& e : entries) {
        std::string children;
        for (std::size_t i = 0; i < e.children.size(); ++i)
            children += cat(i == 0 ? "" : ",", e.children[i]);
        const std::string line =
            cat(e.index, "\t", subfileTypeName(e.type), "\t", e.name.value_or("-"), "\tparent=", e.parent, "\tchildren=[",
                children, "]\t", e.time.value_or("-"), "\n");
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
}

void printJson(const std::vector<SubfileEntry>& entries) {
    std::string out = "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SubfileEntry& e = entries[i];
        out += cat(i == 0 ? "\n" : ",\n", "  {\"index\": ", e.index, ", \"type\": ", jsonQuoted(subfileTypeName(e.type)),
                   ", \"name\": ", e.name ? jsonQuoted(*e.name) : std::string("null"), ", \"parent\": ", e.parent,
                   ", \"children\": ", jsonIntegers(e.children),
                   ", \"time\": ", e.time ? jsonQuoted(*e.time) : std::string("null"), "}");
    }
    out += entries.empty() ? "]\n" : "\n]\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

int usage(std::string_view message) {
    std::fprintf(stderr, "nsfrex ls: %.*s\nusage: nsfrex ls [OPTIONS] FILE [--json]\n", static_cast<int>(message.size()),
                 message.data());
    return 2;
}

}  // namespace

int runLs(Args args) {
    CommonOptions options;
    bool json = false;
    std::optional<std::string> database;
    ArgCursor cursor(args);
    while (!cursor.atEnd()) {
        auto common = takeCommonOption(cursor, options);
        if (!common) return usage(common.error());
        if (*common) continue;
        if (cursor.takeFlag("--json")) {
            json = true;
            continue;
        }
        const std::string_view arg = cursor.next();
        if (arg.size() > 1 && arg[0] == '-') return usage(cat("unknown option ", arg));
        if (database) return usage("expected one database file");
        database = std::string(arg);
    }
    if (!database) return usage("expected one database file");

    auto opened = openDatabase(options, *database);
    if (!opened) {
        std::fprintf(stderr, "nsfrex ls: %s\n", opened.error().c_str());
        return 1;
    }
    auto entries = listSubfiles(opened->session);
    if (!entries) {
        std::fprintf(stderr, "nsfrex ls: %s: %s\n", database->c_str(), entries.error().c_str());
        return 1;
    }
    if (json)
        printJson(*entries);
    else
        printText(*entries);
    // A listing of a damaged database is not the whole database: say what is missing.
    const DamageReport damage = readDamage(*database, false, 0);
    for (const std::string& line : damageLines(damage))
        std::fprintf(stderr, "nsfrex ls: %s: %s\n", database->c_str(), line.c_str());
    return damage.lost() ? 1 : 0;
}

}  // namespace nsfrex
