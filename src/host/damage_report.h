// What extract says about a damaged database: the engine's list of what cannot be read (read directly,
// beside the module), how many notes and attachments that costs, and the same list in index.json.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "manifest.h"
#include "nsf/damage.h"

namespace nsfrex {

struct DamageReport {
    std::vector<nsf::Damage> damage;
    std::size_t lostNotes = 0;       // notes that could not be read
    std::size_t lostRecords = 0;     // records of the note table that could not be reached (notes or objects)
    std::size_t recoveredNotes = 0;  // read by salvage from copies the bucket scan found
    std::size_t lostObjects = 0;     // objects (attachment data, view indexes, ...) that cannot be read
    std::size_t lostStructures = 0;  // structures whose loss costs an unknown number of records
    std::size_t lostAttachments = 0;  // attachments whose data could not be read, or whose subfile failed

    bool lost() const noexcept { return lostNotes + lostRecords + lostObjects + lostStructures + lostAttachments != 0; }
};

// The report on the engine's damage list of a database, with the number of attachment subfiles that
// failed.
DamageReport reportDamage(std::vector<nsf::Damage> damage, std::size_t failedAttachments);

// The engine's damage list of `database` (opened with salvage when asked), with the number of attachment
// subfiles that failed. A database the engine cannot open gives an empty report: the module's open has
// failed as well and said why.
DamageReport readDamage(const std::filesystem::path& database, bool salvage, std::size_t failedAttachments);

// "5 notes and 1 attachment lost: ..." with the distinct reasons; empty when nothing was lost or recovered.
std::vector<std::string> damageLines(const DamageReport& report);

// The database-level "damage" list of index.json.
std::string damageJson(const std::vector<nsf::Damage>& damage);

// Asks the Notes runtime that the module loads to open databases with salvage.
void requestRuntimeSalvage();

}  // namespace nsfrex
