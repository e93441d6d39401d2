// The real sample databases: every note reads, and the places where reading went wrong before. What
// the engine counts in each is checked against ../shared/samples/expected-counts.tsv end to end
// (test_engine_stat.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "nsf/database.h"
#include "nsf/values.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSamples = fs::path(NSFREX_SHARED_DIR) / "samples";

TEST(Samples, NoteIdsAscendAndObjectsAreNotNotes) {
    auto db = nsf::openDatabaseFile(kSamples / "nsf" / "notedata_attachment.nsf");
    ASSERT_TRUE(db.has_value()) << db.error().message();
    auto notes = (*db)->notes();
    ASSERT_TRUE(notes.has_value());
    for (std::size_t i = 1; i < notes->size(); ++i) EXPECT_LT((*notes)[i - 1].id, (*notes)[i].id);
    auto objects = (*db)->objectIds();
    ASSERT_TRUE(objects.has_value());
    ASSERT_FALSE(objects->empty());
    auto asNote = (*db)->readNote(objects->front());
    ASSERT_FALSE(asNote.has_value());
    EXPECT_EQ(asNote.error().kind(), nsf::ErrorKind::NotFound);
    auto unknown = (*db)->readNote(3);
    ASSERT_FALSE(unknown.has_value());
    EXPECT_EQ(unknown.error().kind(), nsf::ErrorKind::NotFound);
}

}  // namespace

namespace {

TEST(Samples, FolderMembersThroughTheIdTable) {
    auto db = nsf::openDatabaseFile(kSamples / "nsf" / "sample.nsf");
    ASSERT_TRUE(db.has_value()) << db.error().message();
    auto ids = (*db)->folderNoteIds(0x17E);
    ASSERT_TRUE(ids.has_value()) << ids.error().message();
    EXPECT_EQ(*ids, std::vector<nsf::NoteId>{0x926});
    auto notAFolder = (*db)->folderNoteIds(0x11A);  // the default view
    ASSERT_FALSE(notAFolder.has_value());
    EXPECT_EQ(notAFolder.error().kind(), nsf::ErrorKind::NotFound);
}

// Rich text walks as CD records to its exact end (one pad byte allowed): BSIG, WSIG and LSIG
// headers, lengths that count the header, records on even offsets.
bool walksAsCdRecords(std::span<const std::uint8_t> v) {
    std::size_t pos = 0;
    while (pos + 2 <= v.size()) {
        const std::uint8_t high = v[pos + 1];
        std::uint64_t length = high;
        if (high == 0x00 || high == 0xFF) {
            const std::size_t field = high == 0x00 ? 4 : 2;
            if (v.size() - pos < 2 + field) return false;
            length = 0;
            for (std::size_t i = 0; i < field; ++i) length |= std::uint64_t{v[pos + 2 + i]} << (8 * i);
            if (length < 2 + field) return false;
        }
        if (length > v.size() - pos) return false;
        pos += static_cast<std::size_t>(length + (length & 1));
    }
    return pos + 1 >= v.size();
}

// Every note of every sample reads by the flag rule alone (summary items after the item table, the
// others filling the non-summary values exactly): no note fails, every stored type word names a
// type, every value decodes and renders within its bound (under the sanitizers in CI), and every
// rich-text value walks to its end.
TEST(Samples, EveryNoteReadsByTheFlagRule) {
    std::size_t notesRead = 0, composites = 0;
    for (const auto& entry : fs::directory_iterator(kSamples / "nsf")) {
        const std::string file = entry.path().filename().string();
        auto db = nsf::openDatabaseFile(entry.path());
        ASSERT_TRUE(db.has_value()) << file << ": " << db.error().message();
        auto notes = (*db)->notes();
        ASSERT_TRUE(notes.has_value()) << file << ": " << notes.error().message();
        for (const nsf::NoteEntry& n : *notes) {
            auto note = (*db)->readNote(n.id);
            if (n.deleted) {
                EXPECT_TRUE(!note && note.error().kind() == nsf::ErrorKind::NotFound) << file << ": stub " << n.id;
                continue;
            }
            ASSERT_TRUE(note.has_value()) << file << ": " << note.error().message();
            EXPECT_EQ(std::pair(note->header.id, note->header.noteClass), std::pair(n.id, n.noteClass)) << file;
            ++notesRead;
            // The item table alone names every item the whole read finds.
            auto names = (*db)->itemNames(n.id);
            ASSERT_TRUE(names.has_value()) << file << ": " << names.error().message();
            EXPECT_TRUE(std::ranges::equal(*names, note->items, {}, {}, &nsf::Item::name)) << file << " note " << n.id;
            for (const nsf::Item& item : note->items) {
                const std::string where = file + " note " + std::to_string(n.id) + " " + item.name;
                EXPECT_FALSE(item.name.empty()) << where;
                const bool storedWord = !(item.flags & nsf::kItemTypeImplied);
                EXPECT_FALSE(storedWord && nsf::typeName(item.type).starts_with("TYPE_0x")) << where;
                auto value = nsf::decodeValue(item.type, item.value);
                EXPECT_TRUE(value.has_value() || item.value.empty()) << where << ": " << value.error().message();
                EXPECT_LE(nsf::renderValue(item, 80).size(), 80u) << where;
                // A fixed layout cut short is refused, never read past its end.
                if (value && (item.type == nsf::kTypeNumber || item.type == nsf::kTypeTime)) {
                    for (std::size_t cut = 0; cut < item.value.size(); ++cut)
                        EXPECT_FALSE(nsf::decodeValue(item.type, std::span(item.value).first(cut))) << where << " " << cut;
                }
                if (item.type == nsf::kTypeComposite && !(item.flags & nsf::kItemPlaceholder)) {
                    ++composites;
                    EXPECT_TRUE(walksAsCdRecords(item.value)) << where;
                }
            }
        }
    }
    EXPECT_EQ(notesRead, 1784u);
    EXPECT_GT(composites, 1000u);
}

// Notes that lost items without an error when a stamped byte was read as data.
TEST(Samples, ItemCountsWhereStampsFall) {
    struct Case { const char* file; nsf::NoteId id; std::size_t items; };
    const Case cases[] = {
        {"notedata_msearch.nsf", 0x2296, 2},
        {"notedata_msearch.nsf", 0x112, 8},
        {"notedata_readview.nsf", 0x20FE, 4},
    };
    for (const Case& c : cases) {
        auto db = nsf::openDatabaseFile(kSamples / "nsf" / c.file);
        ASSERT_TRUE(db.has_value());
        auto note = (*db)->readNote(c.id);
        ASSERT_TRUE(note.has_value()) << c.file << ": " << note.error().message();
        EXPECT_EQ(note->items.size(), c.items) << c.file << " " << c.id;
    }
}

// Non-summary values in the three places the locator can name.
TEST(Samples, NonSummaryValuesAreFound) {
    struct Case { const char* file; nsf::NoteId id; const char* item; std::size_t length; };
    const Case cases[] = {
        {"notedata_discuss.nsf", 8442, "Body", 258},        // inside the note record (status 0x2000)
        {"notedata_hfinn.nsf", 314, "$Signature", 897},     // slot of a non-summary bucket
        {"notedata_acls.nsf", 18714, "$Signature", 0},      // record of its own
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.id));
        auto db = nsf::openDatabaseFile(kSamples / "nsf" / c.file);
        ASSERT_TRUE(db.has_value());
        auto note = (*db)->readNote(c.id);
        ASSERT_TRUE(note.has_value()) << note.error().message();
        bool found = false;
        for (const nsf::Item& item : note->items)
            if (item.name == c.item) {
                found = true;
                if (c.length) {
                    EXPECT_EQ(item.value.size(), c.length);
                }
                EXPECT_FALSE(item.value.empty());
            }
        EXPECT_TRUE(found);
    }
}

}  // namespace
