// The database writer: whatever is built in memory, written and opened again with the file reader
// reads back the same (notes, items, flags, values, objects, folders, stubs); and the CX coder it
// packs superblocks with round-trips through the reader's decoder.
#include "nsf/writer.h"
#include "nsf/streaming_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <random>
#include <sstream>
#include <unistd.h>

#include "../../src/nsf/cx_compress.h"
#include "../../src/nsf/cx_decompress.h"
#include "nsf/id_file.h"
#include "nsf/memory_database.h"
#include "read_everything.h"
#include "../../tools/samplegen/mail_generator.h"

namespace nsf {
namespace {

using ByteVec = std::vector<std::uint8_t>;

ByteVec readObject(Database& db, std::uint32_t rrv) {
    auto stream = db.openObject(rrv, Compression::None, 0);
    EXPECT_TRUE(stream) << stream.error().message();
    ByteVec out, chunk(4096);
    if (!stream) return out;
    for (;;) {
        auto n = (*stream)->read(chunk);
        EXPECT_TRUE(n);
        if (!n || *n == 0) break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*n));
    }
    return out;
}

std::vector<NoteId> padded(std::vector<NoteId> ids) {
    ids.resize(32, 0);
    return ids;
}

// Everything the reader gives for `written` equals what `source` gives.
void expectSameDatabase(Database& source, Database& written) {
    EXPECT_EQ(written.info().ods, 43);
    EXPECT_EQ(written.info().title, source.info().title);
    EXPECT_EQ(written.info().infoBuffer, source.info().infoBuffer);
    EXPECT_EQ(written.info().databaseId, source.info().databaseId);
    EXPECT_EQ(written.info().replicaId, source.info().replicaId);
    EXPECT_EQ(padded(written.info().specialNoteIds), padded(source.info().specialNoteIds));
    EXPECT_FALSE(written.info().locallyEncrypted);

    auto a = source.notes();
    auto b = written.notes();
    ASSERT_TRUE(a && b) << (b ? "" : b.error().message());
    ASSERT_EQ(a->size(), b->size());
    for (std::size_t i = 0; i < a->size(); ++i) {
        const NoteEntry& x = (*a)[i];
        const NoteEntry& y = (*b)[i];
        SCOPED_TRACE("note " + std::to_string(x.id));
        ASSERT_EQ(x.id, y.id);
        EXPECT_EQ(x.deleted, y.deleted);
        EXPECT_EQ(x.noteClass, y.noteClass);
        if (x.deleted) {
            EXPECT_EQ(written.readNote(y.id).error().kind(), ErrorKind::NotFound);
            continue;
        }
        auto n = source.readNote(x.id);
        auto m = written.readNote(y.id);
        ASSERT_TRUE(n && m) << (m ? "" : m.error().message());
        EXPECT_EQ(m->header.id, n->header.id);
        EXPECT_EQ(m->header.oid, n->header.oid);
        // 0x2000 (non-summary data inside the note record) describes the source's layout, not the note.
        EXPECT_EQ(m->header.statusFlags, n->header.statusFlags & ~0x2000);
        EXPECT_EQ(m->header.noteClass, n->header.noteClass);
        EXPECT_EQ(m->header.modified, n->header.modified);
        EXPECT_EQ(m->header.accessed, n->header.accessed);
        EXPECT_EQ(m->header.added, n->header.added);
        EXPECT_EQ(m->header.parent, n->header.parent);
        EXPECT_EQ(m->header.responseCount, n->header.responseCount);
        ASSERT_EQ(m->items.size(), n->items.size());
        for (std::size_t k = 0; k < n->items.size(); ++k) {
            const Item& p = n->items[k];
            const Item& q = m->items[k];
            SCOPED_TRACE("item " + p.name);
            EXPECT_EQ(q.name, p.name);
            EXPECT_EQ(q.type, p.type);
            EXPECT_EQ(q.flags, p.flags);
            EXPECT_EQ(q.revision, p.revision);
            EXPECT_TRUE(q.value == p.value) << q.value.size() << " bytes read, " << p.value.size() << " written";
        }
        if ((x.noteClass & 0x7FFF) == note_class::kView) {
            auto f = source.folderNoteIds(x.id);
            auto g = written.folderNoteIds(y.id);
            EXPECT_EQ(f.has_value(), g.has_value());
            if (f && g) {
                EXPECT_EQ(*f, *g);
            }
        }
    }
    auto oa = source.objectIds();
    auto ob = written.objectIds();
    ASSERT_TRUE(oa && ob);
    EXPECT_EQ(*oa, *ob);
    for (std::uint32_t rrv : *oa) EXPECT_TRUE(readObject(source, rrv) == readObject(written, rrv)) << "object " << rrv;
}

std::unique_ptr<Database> writeAndOpen(Database& db, ByteVec* image = nullptr) {
    auto bytes = writeDatabaseBytes(db);
    EXPECT_TRUE(bytes) << bytes.error().message();
    if (!bytes) return nullptr;
    auto opened = openDatabaseBytes(*bytes, "written");
    EXPECT_TRUE(opened) << opened.error().message();
    if (image) *image = *bytes;
    return opened ? std::move(*opened) : nullptr;
}

ByteVec pattern(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    ByteVec v(n);
    for (auto& c : v) c = static_cast<std::uint8_t>(rng() % 7 == 0 ? rng() : 'a' + rng() % 3);
    return v;
}

TEST(Writer, CxCoderRoundTripsThroughTheReadersDecoder) {
    std::mt19937 rng(7);
    ByteVec random(70000);
    for (auto& c : random) c = static_cast<std::uint8_t>(rng());
    ByteVec runs(100000, 0);
    for (std::size_t i = 0; i < runs.size(); i += 977) runs[i] = static_cast<std::uint8_t>(i);
    for (const ByteVec& data : {ByteVec{}, ByteVec{42}, ByteVec(300, 0xAB), random, runs, pattern(200000, 3)}) {
        const ByteVec packed = detail::cxCompress(data);
        auto back = detail::cxDecompress(packed, data.size(), "test", 0);
        ASSERT_TRUE(back) << back.error().message();
        EXPECT_TRUE(*back == data) << data.size();
        if (data.size() == runs.size()) {
            EXPECT_LT(packed.size(), data.size() / 20);  // matches are used
        }
    }
}

TEST(Writer, ManyNotesLargeItemsLargeObjectsAndFolders) {
    MemoryDatabaseBuilder b;
    b.title("Big");
    std::vector<NoteId> members;
    // Over 508 notes (several RRV buckets) and over 8 KB of summary data (several summary buckets).
    for (int i = 0; i < 1300; ++i) {
        auto& n = b.document();
        n.text("Subject", "Note " + std::to_string(i)).number("Index", i);
        if (i % 3 == 0) members.push_back(n.id());
        if (i % 100 == 0) n.composite("Body", pattern(60000, static_cast<std::uint32_t>(i)));  // a record of its own
        if (i % 7 == 0) n.composite("Body", pattern(300, static_cast<std::uint32_t>(i)));      // a non-summary bucket
    }
    auto& big = b.document();
    big.text("Subject", "Large");
    for (int k = 0; k < 4; ++k) big.composite("Body", pattern(65000, 100 + k));  // 260 KB in one note
    big.text("Summary", std::string(20000, 'x'));                                 // a 32 KB bucket
    big.attachFile("large.bin", pattern(700000, 5));                              // an object of 700 KB
    big.attachFile("large.huf", pattern(300000, 6), Compression::Huffman);
    b.folder("Thirds", members);
    b.folder("Empty", std::span<const NoteId>{});
    for (int i = 0; i < 20; ++i) b.deletionStub();

    auto source = b.build();
    auto written = writeAndOpen(*source);
    ASSERT_TRUE(written);
    expectSameDatabase(*source, *written);
    EXPECT_EQ(nsf_test::readEverything(*written), 1303u);
}

// Every real sample, read by the file reader and written again, reads back the same.
TEST(Writer, RealSamplesReadBackTheSame) {
    const std::filesystem::path dir = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf";
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << "sample databases missing: " << dir;
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".nsf" && entry.path().extension() != ".ntf") continue;
        SCOPED_TRACE(entry.path().filename().string());
        auto source = openDatabaseFile(entry.path());
        ASSERT_TRUE(source) << source.error().message();
        auto written = writeAndOpen(**source);
        ASSERT_TRUE(written);
        expectSameDatabase(**source, *written);
        ++count;
    }
    EXPECT_GE(count, 59u);
}

// A database that does not list its objects (the interface's default): the writer still stores
// the objects its notes name.
class UnlistedObjects final : public Database {
public:
    explicit UnlistedObjects(Database& inner) : inner_(inner) {}
    const DatabaseInfo& info() const override { return inner_.info(); }
    Expected<std::vector<NoteEntry>> notes() override { return inner_.notes(); }
    Expected<Note> readNote(NoteId id) override { return inner_.readNote(id); }
    Expected<std::unique_ptr<ObjectStream>> openObject(std::uint32_t rrv, Compression compression,
                                                       std::uint64_t expectedSize) override {
        return inner_.openObject(rrv, compression, expectedSize);
    }
    Expected<std::vector<NoteId>> folderNoteIds(NoteId folder) override { return inner_.folderNoteIds(folder); }

private:
    Database& inner_;
};

}  // namespace
}  // namespace nsf
