// What the engine, reading the database file directly, says about it beside what the module presents:
// how many documents it holds (so that the host can say how many it did not present as files), which
// notes are encrypted, and what of the file cannot be read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "nsf/database.h"

namespace nsfrex {

class DatabaseCensus {
public:
    // Never fails: a database the engine cannot read gives a census that knows nothing. With `salvage`
    // the damage list says which notes salvage recovered.
    static DatabaseCensus take(const std::filesystem::path& database, bool salvage);

    // The data notes (class exactly document, as the module searches for them) that the note table
    // lists and that are not deletion stubs; empty when unknown.
    const std::optional<std::set<nsf::NoteId>>& documents() const noexcept { return documents_; }
    // The names of the note's encrypted items when it is encrypted (it carries a seal), else empty.
    std::optional<std::vector<std::string>> encryptedItems(nsf::NoteId id) const;
    // Everything of the file that cannot be read (nsf::Database::damage); empty when the engine
    // cannot open it.
    std::vector<nsf::Damage> damage() const;

private:
    std::unique_ptr<nsf::Database> database_;
    // Salvage reads notes the note table does not reach; the census counts and reads only those it
    // reaches, so a salvage run keeps an instance of its own for the damage list.
    std::unique_ptr<nsf::Database> salvaging_;
    bool salvage_ = false;
    std::optional<std::set<nsf::NoteId>> documents_;
};

}  // namespace nsfrex
