// End to end: every sample database opens, and what the engine counts agrees with
// ../shared/samples/expected-counts.tsv (the independent prototype's counts). Fails loudly when the
// samples are missing.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "nsf/database.h"
#include "nsf/values.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSamples = fs::path(NSFREX_SHARED_DIR) / "samples";

struct Expected {
    std::string file;
    unsigned ods = 0;
    std::string title;
    std::size_t notes = 0, documents = 0, stubs = 0, objects = 0;
};

std::vector<Expected> readExpected() {
    std::vector<Expected> rows;
    std::ifstream in(kSamples / "expected-counts.tsv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t')) f.push_back(cell);
        if (f.size() == 6) f.insert(f.begin() + 2, "");  // empty title
        if (f.size() != 7) continue;
        rows.push_back({f[0], static_cast<unsigned>(std::stoul(f[1])), f[2], std::stoul(f[3]), std::stoul(f[4]),
                        std::stoul(f[5]), std::stoul(f[6])});
    }
    return rows;
}

TEST(Samples, FolderIsThere) {
    ASSERT_TRUE(fs::is_directory(kSamples / "nsf")) << "sample databases missing: " << (kSamples / "nsf");
    ASSERT_TRUE(fs::exists(kSamples / "expected-counts.tsv"));
    EXPECT_EQ(readExpected().size(), 59u);
}


TEST(Samples, EveryDatabaseMatchesExpectedCounts) {
    const auto rows = readExpected();
    ASSERT_FALSE(rows.empty()) << "no rows in " << (kSamples / "expected-counts.tsv");
    for (const Expected& e : rows) {
        SCOPED_TRACE(e.file);
        auto db = nsf::openDatabaseFile(kSamples / "nsf" / e.file);
        ASSERT_TRUE(db.has_value()) << db.error().message();
        const nsf::DatabaseInfo& info = (*db)->info();
        EXPECT_EQ(info.ods, e.ods);
        EXPECT_EQ(info.title.substr(0, 30), e.title);
        EXPECT_FALSE(info.locallyEncrypted);
        auto notes = (*db)->notes();
        ASSERT_TRUE(notes.has_value()) << notes.error().message();
        std::size_t live = 0, docs = 0, stubs = 0;
        for (const nsf::NoteEntry& n : *notes) {
            if (n.deleted) {
                ++stubs;
                auto r = (*db)->readNote(n.id);
                ASSERT_FALSE(r.has_value());
                EXPECT_EQ(r.error().kind(), nsf::ErrorKind::NotFound);
                continue;
            }
            ++live;
            if ((n.noteClass & ~nsf::kNoteClassDefault) == nsf::kNoteClassDocument) ++docs;
            auto note = (*db)->readNote(n.id);
            ASSERT_TRUE(note.has_value()) << "note " << n.id << ": " << note.error().message();
            EXPECT_EQ(note->header.id, n.id);
            EXPECT_EQ(note->header.noteClass, n.noteClass);
            for (const nsf::Item& item : note->items) EXPECT_FALSE(item.name.empty()) << "note " << n.id;
        }
        EXPECT_EQ(live, e.notes);
        EXPECT_EQ(docs, e.documents);
        EXPECT_EQ(stubs, e.stubs);
        auto objects = (*db)->objectIds();
        ASSERT_TRUE(objects.has_value()) << objects.error().message();
        EXPECT_EQ(objects->size(), e.objects);
    }
}

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

// Notes whose header item count is wrong are read with the count the table itself gives
// (docs/format/container.md, "Item count").
TEST(Samples, ItemCountRepairs) {
    auto db = nsf::openDatabaseFile(kSamples / "nsf" / "apiug.nsf");
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(2658);
    ASSERT_TRUE(note.has_value()) << note.error().message();
    EXPECT_EQ(note->items.size(), 11u);
    db = nsf::openDatabaseFile(kSamples / "nsf" / "notedata_msearch.nsf");
    ASSERT_TRUE(db.has_value());
    note = (*db)->readNote(8490);
    ASSERT_TRUE(note.has_value()) << note.error().message();
    ASSERT_EQ(note->items.size(), 2u);
    EXPECT_EQ(note->items[0].name, "Form");
}

// Non-summary values in the three places the locator can name.
TEST(Samples, NonSummaryValuesAreFound) {
    struct Case { const char* file; nsf::NoteId id; const char* item; std::size_t length; };
    const Case cases[] = {
        {"notedata_discuss.nsf", 8442, "Body", 258},        // inside the note record (status 0x2000)
        {"notedata_hfinn.nsf", 314, "$Signature", 897},     // bucket slot with a stray byte in the locator
        {"notedata_acls.nsf", 18714, "$Signature", 0},      // standalone record, locator with high bits
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

// A form whose item lengths only add up when two SUMMARY numbers sit with the non-summary values:
// the split that moves those two is taken, not one that moves many later items (which read as garbage).
TEST(Samples, FewestItemsMovedAgainstTheirFlags) {
    auto db = nsf::openDatabaseFile(kSamples / "nsf" / "notedata_namelook.nsf");
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(0x1A2);
    ASSERT_TRUE(note.has_value()) << note.error().message();
    std::map<std::string, const nsf::Item*> byName;
    for (const nsf::Item& item : note->items) byName.try_emplace(item.name, &item);
    ASSERT_TRUE(byName.contains("$UpdatedBy") && byName.contains("$$ScriptName") && byName.contains("$SubForms"));
    auto updatedBy = nsf::decodeTextList(byName["$UpdatedBy"]->value);
    ASSERT_TRUE(updatedBy.has_value()) << updatedBy.error().message();
    ASSERT_EQ(updatedBy->size(), 3u);
    EXPECT_EQ((*updatedBy)[0], "CN=Rob Slapikoff/O=Iris");
    const auto& scriptName = byName["$$ScriptName"]->value;
    EXPECT_EQ(std::string(scriptName.begin(), scriptName.end()), " Location");
    const auto& subForms = byName["$SubForms"]->value;
    EXPECT_EQ(std::string(subForms.begin(), subForms.end()).substr(0, 24), "$LotusFaxLocationSubform");
    for (const char* number : {"IntervalLow", "country", "RLANIdleTimeout"}) {
        auto value = nsf::decodeNumber(byName[number]->value);
        ASSERT_TRUE(value.has_value()) << number;
        EXPECT_EQ(*value, 0.0) << number;
    }
}

// A form whose rich-text $INFO (SUMMARY) sits with the non-summary values. Moving $INFO or $TITLE
// (both 24 bytes) makes the lengths fit, and neither split gives the text lists there a type word;
// only with $INFO moved does the rich text walk as CD records, so that split is taken.
TEST(Samples, RichTextThatWalksDecidesBetweenEqualLengths) {
    auto db = nsf::openDatabaseFile(kSamples / "nsf" / "notedata_doclink1.nsf");
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(0x136);
    ASSERT_TRUE(note.has_value()) << note.error().message();
    std::map<std::string, const nsf::Item*> byName;
    for (const nsf::Item& item : note->items) byName.try_emplace(item.name, &item);
    ASSERT_TRUE(byName.contains("$FIELDS") && byName.contains("$UpdatedBy") && byName.contains("$INFO"));
    auto fields = nsf::decodeTextList(byName["$FIELDS"]->value);
    ASSERT_TRUE(fields.has_value()) << fields.error().message();
    ASSERT_EQ(fields->size(), 11u);
    EXPECT_EQ(fields->front(), "Categories");
    EXPECT_EQ(fields->back(), "SendTo");
    auto updatedBy = nsf::decodeTextList(byName["$UpdatedBy"]->value);
    ASSERT_TRUE(updatedBy.has_value()) << updatedBy.error().message();
    EXPECT_EQ(updatedBy->size(), 2u);
    const auto& info = byName["$INFO"]->value;
    ASSERT_EQ(info.size(), 24u);
    EXPECT_EQ(info[0], 0x86);  // one CDDOCUMENT record of 24 bytes
    EXPECT_EQ(info[1], 24);
}

}  // namespace
