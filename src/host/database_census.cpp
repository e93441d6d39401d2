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

DatabaseCensus DatabaseCensus::take(const std::filesystem::path& database) {
    DatabaseCensus census;
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
    auto note = database_->readNote(id);
    if (!note) return std::nullopt;
    if (std::ranges::none_of(note->items, [](const nsf::Item& item) { return isSealItem(item.name); })) return std::nullopt;
    std::vector<std::string> names;
    for (const nsf::Item& item : note->items)
        if (item.sealed() && !isSealItem(item.name) && std::ranges::find(names, item.name) == names.end())
            names.push_back(item.name);
    return names;
}

}  // namespace nsfrex
