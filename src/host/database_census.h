// What the engine, reading the database file directly, says about it beside what the module presents:
// how many documents it holds (so that the host can say how many it did not present as files) and
// which notes are encrypted.
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
    // Never fails: a database the engine cannot read gives a census that knows nothing.
    static DatabaseCensus take(const std::filesystem::path& database);

    // The data notes (class exactly document, as the module searches for them) that are not deletion
    // stubs; empty when unknown.
    const std::optional<std::set<nsf::NoteId>>& documents() const noexcept { return documents_; }
    // The names of the note's encrypted items when it is encrypted (it carries a seal), else empty.
    std::optional<std::vector<std::string>> encryptedItems(nsf::NoteId id) const;

private:
    std::unique_ptr<nsf::Database> database_;
    std::optional<std::set<nsf::NoteId>> documents_;
};

}  // namespace nsfrex
