// The in-memory database: what the builder is given comes back through the Database interface, with
// item values in the exact canonical bytes the file reader produces.
#include "nsf/memory_database.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "nsf/id_table.h"

namespace nsf {
namespace {

using ByteVec = std::vector<std::uint8_t>;

const Item* findItem(const Note& note, std::string_view name) {
    for (const Item& item : note.items)
        if (item.name == name) return &item;
    return nullptr;
}

ByteVec readAll(ObjectStream& stream, std::size_t chunk) {
    ByteVec out;
    ByteVec buf(chunk);
    for (int guard = 0; guard < 1'000'000; ++guard) {
        auto n = stream.read(buf);
        EXPECT_TRUE(n) << n.error().message();
        if (!n || *n == 0) break;
        EXPECT_LE(*n, chunk);
        out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(*n));
    }
    return out;
}

TEST(MemoryDatabase, DatabaseInfo) {
    MemoryDatabaseBuilder b;
    b.ods(43).title("Team Mail").replicaId({1, 2, 3, 4, 5, 6, 7, 8}).locallyEncrypted().specialNoteId(3, 0x116);
    auto db = b.build();
    EXPECT_EQ(db->info().ods, 43);
    EXPECT_EQ(db->info().title, "Team Mail");
    EXPECT_EQ(db->info().infoBuffer, ByteVec(std::string_view("Team Mail").begin(), std::string_view("Team Mail").end()));
    EXPECT_EQ(db->info().replicaId, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(db->info().locallyEncrypted);
    ASSERT_EQ(db->info().specialNoteIds.size(), 32u);
    EXPECT_EQ(db->info().specialNoteIds[3], 0x116u);
    EXPECT_THROW(b.specialNoteId(32, 1), std::invalid_argument);
}

TEST(MemoryDatabase, NoteIdsStubsAndHeaders) {
    MemoryDatabaseBuilder b;
    const NoteId first = b.document().id();
    const NoteId explicitId = b.noteWithId(0x8FA, 0x0004).id();  // the next automatic ID, taken by hand
    const NoteId stub = b.deletionStub();
    const NoteId design = b.note(0x0008 | kNoteClassDefault).id();
    const NoteId lowStub = b.deletionStub(0x10A);
    EXPECT_EQ(first, kFirstBuilderNoteId);
    EXPECT_EQ(stub, 0x8FEu);  // 0x8FA was skipped because it was taken
    EXPECT_EQ(design, 0x902u);
    EXPECT_THROW(b.noteWithId(first, 1), std::invalid_argument);
    EXPECT_THROW(b.deletionStub(stub), std::invalid_argument);
    EXPECT_THROW(b.noteWithId(0, 1), std::invalid_argument);

    OriginatorId oid;
    oid.file = {0x11111111, 0x22222222};
    oid.note = {0x33333333, 0x44444444};
    b.find(first)
        ->oid(oid)
        .sequence(7, TimeDate{5, 6})
        .modified({1, 2})
        .accessed({3, 4})
        .added({7, 8})
        .parent(0x1234)
        .responseCount(2)
        .statusFlags(0x0200);
    EXPECT_EQ(b.find(0x4242), nullptr);

    auto db = b.build();
    auto list = db->notes();
    ASSERT_TRUE(list);
    std::vector<NoteEntry> expected{{lowStub, 0, true}, {first, 1, false}, {explicitId, 4, false},
                                    {stub, 0, true}, {design, 0x8008, false}};
    ASSERT_EQ(list->size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ((*list)[i].id, expected[i].id) << i;
        EXPECT_EQ((*list)[i].noteClass, expected[i].noteClass) << i;
        EXPECT_EQ((*list)[i].deleted, expected[i].deleted) << i;
    }

    auto note = db->readNote(first);
    ASSERT_TRUE(note) << note.error().message();
    const NoteHeader& h = note->header;
    EXPECT_EQ(h.id, first);
    EXPECT_EQ(h.noteClass, kNoteClassDocument);
    EXPECT_EQ(h.oid.file, oid.file);
    EXPECT_EQ(h.oid.note, oid.note);
    EXPECT_EQ(h.oid.sequence, 7u);
    EXPECT_EQ(h.oid.sequenceTime, (TimeDate{5, 6}));
    EXPECT_EQ(h.modified, (TimeDate{1, 2}));
    EXPECT_EQ(h.accessed, (TimeDate{3, 4}));
    EXPECT_EQ(h.added, (TimeDate{7, 8}));
    EXPECT_EQ(h.parent, 0x1234u);
    EXPECT_EQ(h.responseCount, 2u);
    EXPECT_EQ(h.statusFlags, 0x0200);

    for (NoteId gone : {stub, lowStub, NoteId{0x4242}}) {
        auto r = db->readNote(gone);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().kind(), ErrorKind::NotFound);
    }

    // The database is a snapshot: later changes to the builder do not reach it.
    b.document();
    EXPECT_EQ(db->notes()->size(), expected.size());
}

TEST(MemoryDatabase, ItemValuesInCanonicalForm) {
    MemoryDatabaseBuilder b;
    OriginatorId ref;
    ref.file = {0x04030201, 0x08070605};
    ref.note = {0x0C0B0A09, 0x100F0E0D};
    const std::vector<double> numbers{1.0, -2.5};
    const std::vector<std::pair<double, double>> numberPairs{{0.0, 1.0}};
    const std::vector<TimeDate> times{{0x11, 0x22}};
    const std::vector<std::pair<TimeDate, TimeDate>> timePairs{{{1, 2}, {3, 4}}};
    MimePartSpec part;
    part.flags = 0x3;
    part.boundary = "--b";
    part.headers = "H: v\r\n";
    part.body = "body";

    auto& n = b.document()
                  .text("Subject", "Hi")
                  .textList("Tags", {"a", "", "bc"})
                  .number("Size", 1.0)
                  .numberRange("Nums", numbers, numberPairs)
                  .time("When", TimeDate{0x01020304, 0x05060708})
                  .timeRange("Times", times, timePairs)
                  .userId("From", "Al")
                  .noteRefs("$REF", std::span(&ref, 1))
                  .composite("Body", ByteVec{0x01, 0x02, 0x03})
                  .mimePart("Part", part)
                  .objectRef("$Obj", 9, 0x1234)
                  .sealedItem("Secret", item_type::kText, ByteVec{0xDE, 0xAD})
                  .item("Raw", 0x000E, ByteVec{2, 'x', 'y', 7}, kItemSummary | kItemNames, 5);
    auto db = b.build();
    auto note = db->readNote(n.id());
    ASSERT_TRUE(note) << note.error().message();

    struct Expect {
        const char* name;
        std::uint16_t type;
        std::uint16_t flags;
        ByteVec value;
    };
    const std::vector<Expect> expected{
        {"Subject", 0x0500, kItemSummary, {'H', 'i'}},
        {"Tags", 0x0501, kItemSummary, {3, 0, 1, 0, 0, 0, 2, 0, 'a', 'b', 'c'}},
        {"Size", 0x0300, kItemSummary, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
        {"Nums", 0x0301, kItemSummary,
         {2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0, 0, 0, 0, 0, 0, 0x04, 0xC0,
          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
        {"When", 0x0400, kItemSummary, {4, 3, 2, 1, 8, 7, 6, 5}},
        {"Times", 0x0401, kItemSummary,
         {1, 0, 1, 0, 0x11, 0, 0, 0, 0x22, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0}},
        {"From", 0x0700, kItemSummary, {'A', 'l', 0, 0, 0, 0, 0, 0, 0, 0}},
        {"$REF", 0x0004, kItemSummary, {1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {"Body", 0x0001, 0, {1, 2, 3}},
        {"Part", 0x0019, 0,
         {2, 0, 3, 0, 0, 0, 2, 0, 13, 0, 3, 0, 6, 0, 0, 0, 0, 0, 0, 0,
          '-', '-', 'b', 'H', ':', ' ', 'v', '\r', '\n', 'b', 'o', 'd', 'y'}},
        {"$Obj", 0x0003, kItemSummary, {9, 0, 0x34, 0x12, 0, 0}},
        {"Secret", 0x0500, kItemSeal, {0xDE, 0xAD}},
        {"Raw", 0x000E, kItemSummary | kItemNames, {2, 'x', 'y', 7}},
    };
    ASSERT_EQ(note->items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Item& item = note->items[i];  // stored order is kept
        EXPECT_EQ(item.name, expected[i].name);
        EXPECT_EQ(item.type, expected[i].type) << item.name;
        EXPECT_EQ(item.flags, expected[i].flags) << item.name;
        EXPECT_EQ(item.value, expected[i].value) << item.name;
    }
    EXPECT_TRUE(findItem(*note, "Secret")->sealed());
    EXPECT_FALSE(findItem(*note, "Subject")->sealed());
    EXPECT_EQ(findItem(*note, "Raw")->revision, 5);

    // Values that cannot be stored are the test's mistake, reported at once.
    EXPECT_THROW(n.text("Big", std::string(70000, 'x')), std::invalid_argument);
    EXPECT_THROW(n.composite("Big", ByteVec(0x10000)), std::invalid_argument);
    std::vector<std::string> tooMany(0x10000);
    EXPECT_THROW(n.textList("Many", tooMany), std::invalid_argument);
}

// The encoders against the independent decoders of nsf/values.h, with text that is not plain ASCII.
TEST(MemoryDatabase, ValuesDecodeBackToWhatWasGiven) {
    MemoryDatabaseBuilder b;
    Unid unid;
    unid.file = {1, 2, 3, 4, 5, 6, 7, 8};
    unid.note = {0xAABBCCDD, 0x11223344};
    const std::vector<std::string> tags{"Grüße", "line one\nline two", ""};
    const std::vector<double> nums{3.25};
    const std::vector<TimeDate> times{{1, 2}, {3, 4}};
    const std::vector<std::pair<TimeDate, TimeDate>> spans{{{5, 6}, {7, 8}}};
    FileObjectSpec fileSpec;
    fileSpec.fileName = "Résumé.doc";
    fileSpec.fileSize = 3;
    MimePartSpec part;
    part.partType = kMimePartProlog;
    part.headers = "Content-Type: text/plain\r\n";
    part.body = "hello";
    auto& n = b.document()
                  .text("Subject", "Ça va?\nOui.")
                  .textList("Tags", tags)
                  .numberRange("Nums", nums)
                  .timeRange("Times", times, spans)
                  .userId("Author", "CN=Zoë Ü/O=Acme")
                  .noteRefs("$REF", std::span(&unid, 1))
                  .mimePart("Body", part)
                  .attachStored(fileSpec, ByteVec{1, 2, 3});
    auto db = b.build();
    auto note = db->readNote(n.id());
    ASSERT_TRUE(note);
    auto decoded = [&](std::string_view name) {
        const Item* item = findItem(*note, name);
        EXPECT_NE(item, nullptr) << name;
        auto v = decodeValue(item->type, item->value);
        EXPECT_TRUE(v) << name << ": " << v.error().message();
        return *v;
    };

    EXPECT_EQ(std::get<std::string>(decoded("Subject")), "Ça va?\nOui.");
    EXPECT_EQ(findItem(*note, "Subject")->value[6], 0x00);  // the line break as stored
    EXPECT_EQ(std::get<std::vector<std::string>>(decoded("Tags")), tags);
    const auto range = std::get<NumberRange>(decoded("Nums"));
    EXPECT_EQ(range.values, nums);
    EXPECT_TRUE(range.pairs.empty());
    const auto timeRange = std::get<TimeRange>(decoded("Times"));
    EXPECT_EQ(timeRange.values, times);
    ASSERT_EQ(timeRange.pairs.size(), 1u);
    EXPECT_EQ(timeRange.pairs[0], (Bounds<TimeDate>{{5, 6}, {7, 8}}));
    EXPECT_EQ(std::get<UserId>(decoded("Author")).name, "CN=Zoë Ü/O=Acme");
    EXPECT_EQ(std::get<std::vector<Unid>>(decoded("$REF")), std::vector<Unid>{unid});
    const auto mime = std::get<MimePart>(decoded("Body"));
    EXPECT_EQ(mime.partType, kMimePartProlog);
    EXPECT_EQ(std::string(mime.headers.begin(), mime.headers.end()), part.headers);
    EXPECT_EQ(std::string(mime.body.begin(), mime.body.end()), "hello");
    EXPECT_TRUE(mime.boundary.empty());
    const auto object = std::get<ObjectValue>(decoded("$FILE"));
    ASSERT_TRUE(object.file);
    EXPECT_EQ(object.file->name, "Résumé.doc");
    EXPECT_EQ(object.file->fileSize, 3u);
    EXPECT_TRUE(object.file->trailing.empty());
}

TEST(MemoryDatabase, AttachmentsAndObjects) {
    MemoryDatabaseBuilder b;
    ByteVec payload(1000);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
    auto& doc = b.document().attachFile("report.txt", payload);
    FileObjectSpec packed;
    packed.fileName = "p.bin";
    packed.compression = Compression::Huffman;
    packed.fileSize = 4096;
    packed.fileFlags = 0x0080;
    packed.modified = {9, 10};
    doc.attachStored(packed, ByteVec{0xAA, 0xBB, 0xCC});
    const std::uint32_t raw = b.addObject(ByteVec{});
    auto db = b.build();

    auto note = db->readNote(doc.id());
    ASSERT_TRUE(note);
    ASSERT_EQ(note->items.size(), 2u);
    const Item& file = note->items[0];
    EXPECT_EQ(file.name, "$FILE");
    EXPECT_EQ(file.type, item_type::kObject);
    ASSERT_EQ(file.value.size(), 36u + 10u);
    const std::uint32_t rrv = loadLE<std::uint32_t>(file.value.data() + 2);
    EXPECT_EQ(loadLE<std::uint16_t>(file.value.data()), object_type::kFile);
    EXPECT_EQ(loadLE<std::uint16_t>(file.value.data() + 6), 10);     // name length
    EXPECT_EQ(loadLE<std::uint16_t>(file.value.data() + 10), 0);     // compression none
    EXPECT_EQ(loadLE<std::uint32_t>(file.value.data() + 16), 1000u);  // file size
    EXPECT_EQ(std::string(file.value.begin() + 36, file.value.end()), "report.txt");

    const Item& stored = note->items[1];
    EXPECT_EQ(loadLE<std::uint16_t>(stored.value.data() + 10), 1);  // Huffman
    EXPECT_EQ(loadLE<std::uint16_t>(stored.value.data() + 14), 0x0080);
    EXPECT_EQ(loadLE<std::uint32_t>(stored.value.data() + 16), 4096u);
    EXPECT_EQ(loadLE<std::uint32_t>(stored.value.data() + 28), 9u);
    const std::uint32_t packedRrv = loadLE<std::uint32_t>(stored.value.data() + 2);

    // Objects take IDs from the note ID space: none may collide with a note.
    EXPECT_NE(rrv, doc.id());
    EXPECT_NE(packedRrv, rrv);

    for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{999}, std::size_t{4096}}) {
        auto stream = db->openObject(rrv);
        ASSERT_TRUE(stream) << stream.error().message();
        EXPECT_EQ((*stream)->size(), 1000u);
        EXPECT_EQ(readAll(**stream, chunk), payload) << chunk;
        ByteVec more(8);
        EXPECT_EQ(*(*stream)->read(more), 0u);  // stays at the end
    }
    auto empty = db->openObject(raw);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(readAll(**empty, 16).empty());

    auto asStored = db->openObject(packedRrv);
    ASSERT_TRUE(asStored);
    EXPECT_EQ(readAll(**asStored, 2), (ByteVec{0xAA, 0xBB, 0xCC}));

    auto objects = db->objectIds();
    ASSERT_TRUE(objects);
    EXPECT_EQ(*objects, (std::vector<std::uint32_t>{rrv, packedRrv, raw}));  // allocated ascending

    auto missing = db->openObject(0x7777);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind(), ErrorKind::NotFound);
}

TEST(MemoryDatabase, CompressedObjectsDecodeLikeThoseOfAFile) {
    MemoryDatabaseBuilder b;
    std::string text;
    for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + " of a log file\n";
    const ByteVec plain(text.begin(), text.end());
    auto& doc = b.document().attachFile("log.txt", plain, Compression::Huffman);
    const ByteVec packed = [&] {
        const Item& file = doc.items().back();
        return ByteVec(file.value.begin(), file.value.end());
    }();
    const std::uint32_t rrv = loadLE<std::uint32_t>(packed.data() + 2);
    EXPECT_EQ(loadLE<std::uint16_t>(packed.data() + 10), 1);  // written as Huffman
    EXPECT_EQ(loadLE<std::uint32_t>(packed.data() + 16), plain.size());
    const std::uint32_t raw = b.addObject(ByteVec{1, 2, 3, 4, 5, 6});
    EXPECT_THROW(doc.attachFile("x", plain, Compression::Lz1), std::invalid_argument);
    auto db = b.build();

    auto stored = db->openObject(rrv);
    ASSERT_TRUE(stored);
    EXPECT_LT((*stored)->size(), plain.size());  // really compressed

    std::unique_ptr<ObjectStream> stream;
    {
        auto opened = db->openObject(rrv, Compression::Huffman, plain.size());
        ASSERT_TRUE(opened) << opened.error().message();
        stream = std::move(*opened);
    }
    db.reset();  // a stream does not depend on its database staying open
    EXPECT_EQ(readAll(*stream, 7), plain);

    db = b.build();
    auto wrongSize = db->openObject(rrv, Compression::Huffman, plain.size() + 1);
    if (wrongSize) {
        ByteVec sink(64);
        Expected<std::size_t> n = std::size_t{1};
        while (n && *n != 0) n = (*wrongSize)->read(sink);
        EXPECT_FALSE(n) << "a size that does not match must fail";
    }
    EXPECT_EQ(db->openObject(rrv, Compression::Lz1, plain.size()).error().kind(), ErrorKind::Unsupported);

    // Uncompressed: the payload is cut to the expected size, and may not be shorter than it.
    auto cut = db->openObject(raw, Compression::None, 4);
    ASSERT_TRUE(cut);
    EXPECT_EQ((*cut)->size(), 4u);
    EXPECT_EQ(readAll(**cut, 3), (ByteVec{1, 2, 3, 4}));
    EXPECT_EQ(db->openObject(raw, Compression::None, 7).error().kind(), ErrorKind::Corrupt);
    // Plain bytes read as Huffman fail cleanly.
    auto garbage = db->openObject(raw, Compression::Huffman, 10);
    if (garbage) {
        ByteVec sink(64);
        EXPECT_FALSE((*garbage)->read(sink));
    }
}

TEST(MemoryDatabase, FolderMembership) {
    MemoryDatabaseBuilder b;
    const NoteId a = b.document().id();
    const NoteId c = b.document().id();
    const NoteId inbox = b.folder("Inbox", {c, a, c}).id();
    const NoteId empty = b.folder("Empty", {}).id();
    const NoteId view = b.note(note_class::kView).text("$Title", "By date").text("$Flags", "").id();
    // A folder whose ID table object holds something the reader must refuse.
    ByteVec inverted = encodeFolderIdTable(std::vector<NoteId>{a});
    inverted[8] |= 0x02;
    const NoteId bad = b.note(note_class::kView)
                           .text("$Flags", "3PFY")
                           .objectRef("$FolderIDTable", object_type::kFolderIdTable, b.addObject(inverted))
                           .id();
    const NoteId dangling = b.note(note_class::kView)
                                .text("$Flags", "F")
                                .objectRef("$FolderIDTable", object_type::kFolderIdTable, 0x9999)
                                .id();
    const NoteId noTable = b.note(note_class::kView).text("$Flags", "F").id();
    // $Flags as a text list: the letter counts in any entry, but a length word of 0x46 ('F') does not.
    const std::uint32_t table = b.addObject(encodeFolderIdTable(std::vector<NoteId>{c}));
    const NoteId listFlags = b.note(note_class::kView | kNoteClassDefault)
                                 .textList("$Flags", {"3P", "FY"})
                                 .objectRef("$FolderIDTable", object_type::kFolderIdTable, table)
                                 .id();
    const NoteId lengthIsF = b.note(note_class::kView)
                                 .textList("$Flags", {std::string(0x46, 'x')})
                                 .objectRef("$FolderIDTable", object_type::kFolderIdTable, table)
                                 .id();
    auto db = b.build();

    auto members = db->folderNoteIds(inbox);
    ASSERT_TRUE(members) << members.error().message();
    EXPECT_EQ(*members, (std::vector<NoteId>{a, c}));

    auto note = db->readNote(inbox);
    ASSERT_TRUE(note);
    ASSERT_NE(findItem(*note, "$Title"), nullptr);
    EXPECT_EQ(findItem(*note, "$Title")->value, (ByteVec{'I', 'n', 'b', 'o', 'x'}));
    EXPECT_EQ(note->header.noteClass, note_class::kView);

    auto none = db->folderNoteIds(empty);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    auto alsoNone = db->folderNoteIds(noTable);
    ASSERT_TRUE(alsoNone);
    EXPECT_TRUE(alsoNone->empty());

    auto fromList = db->folderNoteIds(listFlags);
    ASSERT_TRUE(fromList) << fromList.error().message();
    EXPECT_EQ(*fromList, std::vector<NoteId>{c});

    auto kindOf = [&](NoteId id) { return db->folderNoteIds(id).error().kind(); };
    EXPECT_EQ(kindOf(lengthIsF), ErrorKind::NotFound);
    EXPECT_EQ(kindOf(view), ErrorKind::NotFound);  // a view, not a folder
    EXPECT_EQ(kindOf(a), ErrorKind::NotFound);     // a document
    EXPECT_EQ(kindOf(0x4242), ErrorKind::NotFound);
    EXPECT_EQ(kindOf(bad), ErrorKind::Unsupported);
    EXPECT_EQ(kindOf(dangling), ErrorKind::NotFound);
}

}  // namespace
}  // namespace nsf
