#include "damage_report.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "json_text.h"
#include "manifest.h"
#include "nsf/database.h"
#include "text.h"

namespace nsfrex {
namespace {

// The runtime reads this variable when it opens a database.
constexpr const char* kSalvageVariable = "NSFREX_SALVAGE";

std::string plural(std::size_t n, std::string_view word) { return cat(n, " ", word, n == 1 ? "" : "s"); }

}  // namespace

DamageReport reportDamage(std::vector<nsf::Damage> damage, std::size_t failedAttachments) {
    DamageReport report;
    std::size_t unreadableAttachments = 0;
    report.damage = std::move(damage);
    using Subject = nsf::Damage::Subject;
    for (const nsf::Damage& d : report.damage) {
        if (d.recovered) ++report.recoveredNotes;
        else if (d.subject == Subject::Structure) ++report.lostStructures;
        else if (d.subject == Subject::Object) ++report.lostObjects;
        else if (d.subject == Subject::Record) ++report.lostRecords;
        else if (d.subject == Subject::Attachment) ++unreadableAttachments;
        else ++report.lostNotes;
    }
    // An attachment whose data the engine cannot read is usually also a failed subfile: counted once.
    report.lostAttachments = std::max(failedAttachments, unreadableAttachments);
    return report;
}

DamageReport readDamage(const std::filesystem::path& database, bool salvage, std::size_t failedAttachments) {
    auto db = nsf::openDatabaseFile(database, nsf::OpenOptions{.salvage = salvage});
    return reportDamage(db ? (*db)->damage() : std::vector<nsf::Damage>{}, failedAttachments);
}

std::vector<std::string> damageLines(const DamageReport& report) {
    std::vector<std::string> lines;
    if (report.damage.empty() && report.lostAttachments == 0) return lines;
    std::string head;
    if (report.lost()) {
        head = cat(plural(report.lostNotes, "note"), " and ", plural(report.lostAttachments, "attachment"), " lost");
        if (report.lostRecords != 0) head += cat(", ", plural(report.lostRecords, "record"), " (notes or objects) unreadable");
        if (report.lostObjects != 0) head += cat(", ", plural(report.lostObjects, "object"), " unreadable");
        if (report.lostStructures != 0)
            head += cat(", ", plural(report.lostStructures, "damaged structure"), " (the records only it reaches are lost)");
    }
    if (report.recoveredNotes != 0) head += cat(head.empty() ? "" : ", ", plural(report.recoveredNotes, "note"), " recovered by salvage");
    lines.push_back(head);
    // Each reason once, naming the first note or object it costs and how many more.
    std::map<std::string, std::pair<const nsf::Damage*, std::size_t>> reasons;
    for (const nsf::Damage& d : report.damage) {
        if (d.recovered) continue;
        auto& [first, count] = reasons[cat(nsf::toString(d.subject), ": ", d.error.message())];
        if (count++ == 0) first = &d;
    }
    for (const auto& [reason, seen] : reasons) {
        const auto& [first, count] = seen;
        lines.push_back(count == 1 ? first->message() : cat(first->message(), " (and ", count - 1, " more like it)"));
    }
    return lines;
}

std::string damageJson(const std::vector<nsf::Damage>& damage) {
    std::string out = "[";
    for (std::size_t i = 0; i < damage.size(); ++i) {
        const nsf::Damage& d = damage[i];
        out += cat(i == 0 ? "\n" : ",\n", "    {\"subject\": ", jsonQuoted(nsf::toString(d.subject)), ", \"id\": ",
                   d.subject == nsf::Damage::Subject::Structure ? std::string("null") : std::to_string(d.id),
                   ", \"offset\": ", d.error.hasOffset() ? std::to_string(d.error.offset()) : std::string("null"),
                   ", \"reason\": ", jsonQuoted(d.error.message()), ", \"recovered\": ", d.recovered ? "true" : "false", "}");
    }
    return out + (damage.empty() ? "]" : "\n  ]");
}

void requestRuntimeSalvage() { ::setenv(kSalvageVariable, "1", 1); }

}  // namespace nsfrex
