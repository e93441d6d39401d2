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

TEST(Writer, EveryValueTypeFlagAndHeaderFieldReadsBack) {
    MemoryDatabaseBuilder b;
    b.title("Writer test").replicaId({1, 2, 3, 4, 5, 6, 7, 8}).databaseId({9, 8, 7, 6, 5, 4, 3, 2});
    const TimeDate t1{0x00ABCDEF, 0x85256F3Du}, t2{0xFFFFFFFFu, 0x00256F40};
    const std::vector<double> numbers = {1.5, -2.25};
    const std::vector<std::pair<double, double>> numberRanges = {{1, 2}};
    const std::vector<TimeDate> times = {t1, t2};
    const std::vector<std::pair<TimeDate, TimeDate>> timeRanges = {{t1, t2}};
    auto& memo = b.document();
    memo.unid({0x11111111, 0x22222222}, t1).sequence(7, t2).modified(t1).accessed(t2).added(t1).statusFlags(0x0200);
    memo.text("Form", "Memo")
        .text("Subject", "Grüße, 報告 und € — \"quoted\"\nsecond line")
        .textList("SendTo", {"A <a@example.com>", "Ü Name/Org"})
        .number("Size", 12345.5)
        .numberRange("Numbers", numbers, numberRanges)
        .time("PostedDate", t1)
        .timeRange("Times", times, timeRanges)
        .userId("$UpdatedBy", "CN=Writer/O=Test")
        .composite("Body", ByteVec{0x81, 0x04, 0x01, 0x00})
        .item("Flagged", kTypeText, encode::text("no type word"), kItemSummary | kItemTypeImplied | kItemNames, 9)
        .item("Holder", kTypeText, {}, kItemPlaceholder)
        .sealedItem("Secret", kTypeText, encode::text("stored as given"))
        .item("Empty", kTypeTextList, {}, kItemSummary)
        .attachFile("plain.txt", pattern(5000, 1))
        .attachFile("packed.bin", pattern(9000, 2), Compression::Huffman);
    auto& mime = b.document();
    mime.parent(memo.id()).text("Form", "Memo");
    mime.mimePart("Body", MimePartSpec{2, 0x3, 1, "--b", "Content-Type: multipart/related\r\n\r\n", ""});
    mime.mimePart("Body", MimePartSpec{2, 0x2, 2, "", "Content-Type: text/html\r\n\r\n", "<p>Hi</p>"});
    memo.responseCount(1);
    const std::vector<OriginatorId> refs = {memo.header().oid};
    mime.noteRefs("$REF", refs);
    auto& design = b.noteWithId(0x10A, 0x0004);  // a form, below the first data ID
    design.text("$TITLE", "Memo").item("$Body", kTypeComposite, ByteVec(100, 0x20), 0);
    b.specialNoteId(2, design.id());
    b.folder("Inbox", {memo.id(), mime.id()});
    b.deletionStub();
    // A note sealed for a key in the test format: its ciphertext and $Seal come back as stored.
    b.document()
        .text("Subject", "sealed")
        .item("Body", kTypeComposite, ByteVec{0x81, 0x02}, kItemSeal)
        .sealFor({EncryptionKey{"Key", {1, 2, 3, 4, 5, 6, 7, 8}}});

    auto source = b.build();
    ByteVec image;
    auto written = writeAndOpen(*source, &image);
    ASSERT_TRUE(written);
    expectSameDatabase(*source, *written);
    EXPECT_EQ(nsf_test::readEverything(*written), 5u);  // the stub is not readable

    // The same database gives the same bytes every time.
    auto again = writeDatabaseBytes(*source);
    ASSERT_TRUE(again);
    EXPECT_TRUE(*again == image);
    // Writing what was read gives the same file again.
    auto copy = writeDatabaseBytes(*written);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(*copy == image);
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

TEST(Writer, StoresTheObjectsNotesNameWhenTheDatabaseListsNone) {
    MemoryDatabaseBuilder b;
    auto& n = b.document();
    n.attachFile("a.bin", pattern(3000, 9)).objectRef("Dangling", object_type::kFile, 0x4000);
    b.folder("F", {n.id()});
    auto source = b.build();
    UnlistedObjects unlisted(*source);
    auto written = writeAndOpen(unlisted);
    ASSERT_TRUE(written);
    expectSameDatabase(*source, *written);  // both attachment and folder table came along
}

TEST(Writer, RefusesWhatCannotReadBack) {
    {
        MemoryDatabaseBuilder b;
        auto& n = b.document();
        for (int i = 0; i < 4; ++i) n.text("Field" + std::to_string(i), std::string(10000, 'y'));
        auto db = b.build();
        auto bytes = writeDatabaseBytes(*db);
        ASSERT_FALSE(bytes);
        EXPECT_EQ(bytes.error().kind(), ErrorKind::Unsupported);
        EXPECT_NE(bytes.error().message().find("summary data"), std::string::npos);
    }
    {
        // One name, two types, neither value with a type word: the name table can hold only one.
        MemoryDatabaseBuilder b;
        b.document().item("X", kTypeText, encode::text("a"), kItemSummary | kItemTypeImplied);
        b.document().item("X", kTypeNumber, encode::number(1), kItemSummary | kItemTypeImplied);
        auto db = b.build();
        auto bytes = writeDatabaseBytes(*db);
        ASSERT_FALSE(bytes);
        EXPECT_EQ(bytes.error().kind(), ErrorKind::Unsupported);
    }
    {
        MemoryDatabaseBuilder b;
        b.noteWithId(0x900, kNoteClassDocument).text("A", "a");
        b.noteWithId(0x903, kNoteClassDocument).text("A", "b");
        auto db = b.build();
        EXPECT_FALSE(writeDatabaseBytes(*db));
    }
}

TEST(Writer, WritesAFileThroughATemporaryName) {
    MemoryDatabaseBuilder b;
    b.title("On disk");
    b.document().text("Subject", "x").attachFile("a.txt", pattern(10, 1));
    auto source = b.build();
    const auto dir = std::filesystem::temp_directory_path() / ("nsf-writer-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = dir / "out.nsf";
    auto ok = writeDatabaseFile(*source, path);
    ASSERT_TRUE(ok) << ok.error().message();
    EXPECT_FALSE(std::filesystem::exists(dir / "out.nsf.partial"));
    auto opened = openDatabaseFile(path);
    ASSERT_TRUE(opened) << opened.error().message();
    expectSameDatabase(*source, **opened);
    EXPECT_FALSE(writeDatabaseFile(*source, dir / "missing" / "out.nsf"));
    // The stream form writes the same bytes.
    std::ostringstream stream;
    ASSERT_TRUE(writeDatabase(*source, stream));
    auto bytes = writeDatabaseBytes(*source);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(stream.str(), std::string(bytes->begin(), bytes->end()));
    std::filesystem::remove_all(dir);
}

// The streaming writer and the mail generator built on it: every real sample written note by note
// reads back the same as through the whole-image writer, and a generated mail database is the same
// for the same seed and reads without a single error.
namespace fs = std::filesystem;

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("nsfrex-streaming-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / name;
}

std::vector<char> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(StreamingWriter, RealSamplesReadBackTheSame) {
    const fs::path dir = fs::path(NSFREX_SHARED_DIR) / "samples" / "nsf";
    ASSERT_TRUE(fs::is_directory(dir)) << "sample databases missing: " << dir;
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".nsf" && entry.path().extension() != ".ntf") continue;
        SCOPED_TRACE(entry.path().filename().string());
        auto source = openDatabaseFile(entry.path());
        ASSERT_TRUE(source) << source.error().message();
        const fs::path out = scratch("copy.nsf");
        auto writer = StreamingDatabaseWriter::create(out, (*source)->info(), TimeDate{0x12345678, 0x00C12345});
        ASSERT_TRUE(writer) << writer.error().message();
        auto appended = (*writer)->append(**source);
        ASSERT_TRUE(appended) << appended.error().message();
        auto finished = (*writer)->finish();
        ASSERT_TRUE(finished) << finished.error().message();
        auto written = openDatabaseFile(out);
        ASSERT_TRUE(written) << written.error().message();
        expectSameDatabase(**source, **written);
        ++count;
    }
    EXPECT_GE(count, 59u);
    fs::remove_all(scratch("").parent_path());
}

TEST(StreamingWriter, GeneratedMailIsReproducibleAndReadsCleanly) {
    samplegen::MailDatabaseSpec spec;
    spec.messages = 120;
    spec.seed = 5;
    spec.largestAttachment = 300'000;
    const fs::path a = scratch("a.nsf"), b = scratch("b.nsf");
    auto first = samplegen::writeMailDatabase(a, spec);
    ASSERT_TRUE(first) << first.error().message();
    ASSERT_TRUE(samplegen::writeMailDatabase(b, spec));
    EXPECT_EQ(fileBytes(a), fileBytes(b));
    EXPECT_FALSE(fs::exists(fs::path(a) += ".partial"));

    // The mix this size must hold: both kinds of mail, a split body, stubs, attachments of both storages.
    EXPECT_EQ(first->mails, 120u);
    EXPECT_GT(first->richText, 0u);
    EXPECT_GT(first->mime, 0u);
    EXPECT_GT(first->splitBodies, 0u);
    EXPECT_GT(first->stubs, 0u);

    auto db = openDatabaseFile(a);
    ASSERT_TRUE(db) << db.error().message();
    auto notes = (*db)->notes();
    ASSERT_TRUE(notes);
    EXPECT_EQ(notes->size(), first->mails + first->stubs + first->folders);
    EXPECT_EQ(nsf_test::readEverything(**db), first->mails + first->folders);
    // Every attachment decodes to its stated size (the Huffman-coded ones check their sum too).
    std::set<Compression> storages;
    for (const NoteEntry& e : *notes) {
        if (e.deleted) continue;
        auto note = (*db)->readNote(e.id);
        ASSERT_TRUE(note) << note.error().message();
        for (const Item& item : note->items) {
            if (item.type != kTypeObject) continue;
            auto object = decodeObject(item.value);
            if (!object || !object->file || !object->file->compression()) continue;
            const FileObject& file = *object->file;
            storages.insert(*file.compression());
            auto stream = (*db)->openObject(object->descriptor.rrv, *file.compression(), file.fileSize);
            ASSERT_TRUE(stream) << stream.error().message();
            std::vector<std::uint8_t> chunk(1 << 16);
            std::uint64_t total = 0;
            for (;;) {
                auto n = (*stream)->read(chunk);
                ASSERT_TRUE(n) << file.name << ": " << n.error().message();
                if (*n == 0) break;
                total += *n;
            }
            EXPECT_EQ(total, file.fileSize) << file.name;
        }
    }
    EXPECT_EQ(storages, (std::set<Compression>{Compression::None, Compression::Huffman}));
    fs::remove_all(a.parent_path());
}

}  // namespace
}  // namespace nsf
