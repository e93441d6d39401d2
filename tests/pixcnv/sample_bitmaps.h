// The Notes bitmaps of a database's rich text, read through the engine and gathered as the rich-text
// converter hands them to the image library: the bitmap header and the colour table, pattern table and
// segment records after it, each record whole and without the padding between records. Shared by the
// image library's tests, its fuzzer (seeds) and its benchmark.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "nsf/database.h"

namespace nsfrex::pixcnv_test {

struct SampleBitmap {
    std::string where;  // database, note ID, item name and number of the bitmap in the item
    std::vector<std::uint8_t> records;
};

// Every Notes bitmap in the composite items of `path`, items of one name in a note taken together.
// Throws std::runtime_error when the database cannot be opened or its notes listed.
inline std::vector<SampleBitmap> notesBitmapsIn(const std::filesystem::path& path) {
    constexpr std::uint16_t kTypeComposite = 0x0001;
    constexpr std::uint8_t kSigHeader = 0x95, kSigSegment = 0x96, kSigColours = 0x97, kSigPatterns = 0x98;
    auto db = nsf::openDatabaseFile(path);
    if (!db) throw std::runtime_error(path.string() + ": " + db.error().message());
    auto notes = (*db)->notes();
    if (!notes) throw std::runtime_error(path.string() + ": " + notes.error().message());

    std::vector<SampleBitmap> found;
    for (const nsf::NoteEntry& entry : *notes) {
        if (entry.deleted) continue;
        auto note = (*db)->readNote(entry.id);
        if (!note) continue;  // unreadable notes are the engine tests' business
        std::vector<std::pair<std::string, std::vector<std::uint8_t>>> items;
        for (const nsf::Item& item : note->items) {
            if (item.type != kTypeComposite) continue;
            auto same = std::find_if(items.begin(), items.end(), [&](const auto& i) { return i.first == item.name; });
            if (same == items.end()) same = items.insert(items.end(), {item.name, {}});
            same->second.insert(same->second.end(), item.value.begin(), item.value.end());
        }
        for (const auto& [name, value] : items) {
            int inItem = 0;
            bool open = false;
            for (std::size_t at = 0; at + 2 <= value.size();) {
                // Record headers: signature byte, then 0 (4-byte length), 0xFF (2-byte length) or the length.
                std::size_t length = value[at + 1];
                if (value[at + 1] == 0 && at + 6 <= value.size())
                    length =
                        value[at + 2] | value[at + 3] << 8 | value[at + 4] << 16 | std::size_t{value[at + 5]} << 24;
                else if (value[at + 1] == 0xFF && at + 4 <= value.size())
                    length = value[at + 2] | value[at + 3] << 8;
                if (length < 2 || length > value.size() - at) break;
                const std::uint8_t signature = value[at];
                if (signature == kSigHeader) {
                    char id[16];
                    std::snprintf(id, sizeof id, "%X", entry.id);
                    found.push_back(
                        {path.filename().string() + " note " + id + " " + name + " bitmap " + std::to_string(inItem++),
                         {}});
                    open = true;
                }
                if (open && (signature == kSigHeader || signature == kSigSegment || signature == kSigColours ||
                             signature == kSigPatterns))
                    found.back().records.insert(found.back().records.end(), value.begin() + at,
                                                value.begin() + at + length);
                at += length + length % 2;
            }
        }
    }
    return found;
}

// The real sample databases under `sharedDir`, sorted by name; throws when their folder is missing.
inline std::vector<std::filesystem::path> sampleDatabases(const std::filesystem::path& sharedDir) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(sharedDir / "samples" / "nsf"))
        if (e.path().extension() == ".nsf") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace nsfrex::pixcnv_test
