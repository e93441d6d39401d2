#include "database_census.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace nsfrex {
namespace {

bool isSealItem(std::string_view name) {
    constexpr std::array<std::string_view, 3> kSealItems{"$seal", "$seal2", "$sealdata"};
    return std::ranges::any_of(kSealItems, [&](std::string_view seal) {
        return seal.size() == name.size() && std::ranges::equal(seal, name, [](char a, char b) {
                   return a == std::tolower(static_cast<unsigned char>(b));
               });
    });
}

}  // namespace

DatabaseCensus DatabaseCensus::take(const std::filesystem::path& database, bool salvage) {
    DatabaseCensus census;
    census.salvage_ = salvage;
    if (salvage) {
        if (auto opened = nsf::openDatabaseFile(database, nsf::OpenOptions{.salvage = true})) census.salvaging_ = std::move(*opened);
    }
    auto opened = nsf::openDatabaseFile(database);
    if (!opened) return census;
    census.database_ = std::move(*opened);
    auto notes = census.database_->notes();
    if (!notes) return census;
    std::set<nsf::NoteId> documents;
    for (const nsf::NoteEntry& entry : *notes)
        if (!entry.deleted && entry.noteClass == nsf::kNoteClassDocument)
            documents.insert(entry.id);
    census.documents_ = std::move(documents);
    return census;
}

std::optional<std::vector<std::string>> DatabaseCensus::encryptedItems(nsf::NoteId id) const {
    if (!database_) return std::nullopt;
    // The item table alone tells whether the note carries a seal; only the few that do are read whole,
    // so that an encrypted note whose values cannot be read is not reported as one.
    auto names = database_->itemNames(id);
    if (!names || std::ranges::none_of(*names, isSealItem)) return std::nullopt;
    auto note = database_->readNote(id);
    if (!note) return std::nullopt;
    std::vector<std::string> sealed;
    for (const nsf::Item& item : note->items)
        if (item.sealed() && !isSealItem(item.name) && std::ranges::find(sealed, item.name) == sealed.end())
            sealed.push_back(item.name);
    return sealed;
}

std::vector<nsf::Damage> DatabaseCensus::damage() const {
    const auto& source = salvage_ ? salvaging_ : database_;
    return source ? source->damage() : std::vector<nsf::Damage>{};
}

}  // namespace nsfrex
