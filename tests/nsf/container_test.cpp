// The container reader on a hand-built image (nsf_image.h): the valid image reads completely, and
// each broken field gives a clean error of the right kind (or a fallback to the other copy).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "../../src/nsf/cx_decompress.h"
#include "nsf/database.h"
#include "nsf/values.h"
#include "nsf_image.h"

namespace {

using nsf::ErrorKind;
using nsf::test::NsfImage;

std::vector<std::uint8_t> validImage() {
    NsfImage image;
    return image.build();
}

nsf::Expected<std::unique_ptr<nsf::Database>> open(const std::vector<std::uint8_t>& bytes) {
    return nsf::openDatabaseBytes(bytes, "test image");
}

std::string text(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

TEST(Container, ValidImageReadsCompletely) {
    auto db = open(validImage());
    ASSERT_TRUE(db.has_value()) << db.error().message();
    const nsf::DatabaseInfo& info = (*db)->info();
    EXPECT_EQ(info.ods, 43);
    EXPECT_EQ(info.title, "Test Image");
    EXPECT_FALSE(info.locallyEncrypted);
    EXPECT_EQ(info.specialNoteIds.at(6), 0x122u);

    auto notes = (*db)->notes();
    ASSERT_TRUE(notes.has_value()) << notes.error().message();
    ASSERT_EQ(notes->size(), 2u);
    EXPECT_EQ((*notes)[0].id, NsfImage::kNoteId);
    EXPECT_EQ((*notes)[0].noteClass, nsf::kNoteClassDocument);
    EXPECT_FALSE((*notes)[0].deleted);
    EXPECT_EQ((*notes)[1].id, NsfImage::kStubId);
    EXPECT_TRUE((*notes)[1].deleted);

    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_TRUE(note.has_value()) << note.error().message();
    ASSERT_EQ(note->items.size(), 4u);
    EXPECT_EQ(note->items[0].name, "Form");
    EXPECT_EQ(note->items[0].type, nsf::kTypeText);
    EXPECT_EQ(text(note->items[0].value), "Memo");
    EXPECT_EQ(note->items[1].name, "Subject");
    EXPECT_EQ(note->items[1].type, nsf::kTypeText);  // from the stored type word
    EXPECT_EQ(text(note->items[1].value), "Hi");
    EXPECT_EQ(note->items[2].name, "Body");
    EXPECT_EQ(note->items[2].type, nsf::kTypeComposite);
    EXPECT_EQ(text(note->items[2].value), NsfImage::kBody);  // from the non-summary record
    EXPECT_EQ(note->items[3].type, nsf::kTypeObject);

    auto stub = (*db)->readNote(NsfImage::kStubId);
    ASSERT_FALSE(stub.has_value());
    EXPECT_EQ(stub.error().kind(), ErrorKind::NotFound);

    auto objects = (*db)->objectIds();
    ASSERT_TRUE(objects.has_value());
    ASSERT_EQ(objects->size(), 1u);
    EXPECT_EQ(objects->front(), NsfImage::kObjectId);

    auto obj = nsf::decodeObject(note->items[3].value);
    ASSERT_TRUE(obj.has_value()) << obj.error().message();
    ASSERT_TRUE(obj->file.has_value());
    auto stream = (*db)->openObject(obj->descriptor.rrv, nsf::Compression::None, obj->file->fileSize);
    ASSERT_TRUE(stream.has_value()) << stream.error().message();
    std::vector<std::uint8_t> out(5);
    std::string got;
    for (;;) {
        auto n = (*stream)->read(out);
        ASSERT_TRUE(n.has_value());
        if (*n == 0) break;
        got.append(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(*n));
    }
    EXPECT_EQ(got, NsfImage::kPayload);

    auto notAnObject = (*db)->openObject(NsfImage::kNoteId);
    ASSERT_FALSE(notAnObject.has_value());
    EXPECT_EQ(notAnObject.error().kind(), ErrorKind::NotFound);
    auto huge = (*db)->openObject(NsfImage::kObjectId, nsf::Compression::None, 1000);
    ASSERT_FALSE(huge.has_value());
    EXPECT_EQ(huge.error().kind(), ErrorKind::Truncated);
}

// Rewrites the disk RRV bucket (used when there is no live copy) with entry `index` = (a, b).
void setRrvEntry(NsfImage& image, std::size_t index, std::uint32_t a, std::uint32_t b) {
    image.put32(NsfImage::kRrv + 32 + 8 * index, a);
    image.put32(NsfImage::kRrv + 36 + 8 * index, b);
    image.put32(NsfImage::kRrv + 18, NsfImage::xor32(image.bytes.data() + NsfImage::kRrv + 32, 4096 - 32));
}

// Where a damaged field shows: the open itself, the note walk, the note read or the object stream.
enum class Stage { Open, Notes, Note, Object };

// Each row breaks one field of the valid image; the first stage that fails must fail cleanly with
// the kind given (none: every stage reads, as when the other copy of a structure is used).
TEST(Container, EachBrokenFieldGivesACleanErrorOfItsKind) {
    struct Row {
        const char* rule;
        void (*setUp)(NsfImage&);     // before build()
        void (*damage)(NsfImage&);    // after build()
        std::optional<Stage> stage;
        ErrorKind kind;
    };
    auto none = [](NsfImage&) {};
    const Row rows[] = {
        {"stale disk RRV bucket loses to the live copy", [](NsfImage& i) { i.diskRrvCurrent = false; }, none,
         std::nullopt, ErrorKind::Corrupt},
        {"without a live copy the disk bucket is read", [](NsfImage& i) { i.liveRrv = false; }, none, std::nullopt,
         ErrorKind::Corrupt},
        {"bad file signature", none, [](NsfImage& i) { i.bytes[0] = 0x1B; }, Stage::Open, ErrorKind::BadSignature},
        {"Notes 3/4 header size", none, [](NsfImage& i) { i.bytes[2] = 0x00; i.bytes[3] = 0x03; }, Stage::Open,
         ErrorKind::Unsupported},
        {"unknown ODS", none, [](NsfImage& i) { i.bytes[6] = 16; }, Stage::Open, ErrorKind::Unsupported},
        {"file cut before the BDBs", none, [](NsfImage& i) { i.bytes.resize(NsfImage::kBdb1 + 100); }, Stage::Open,
         ErrorKind::Corrupt},
        {"first superblock damaged: the second is used", none, [](NsfImage& i) { i.bytes[NsfImage::kSb1 + 200] ^= 1; },
         std::nullopt, ErrorKind::Corrupt},
        {"both superblocks damaged", none,
         [](NsfImage& i) { i.bytes[NsfImage::kSb1 + 200] ^= 1; i.bytes[NsfImage::kSb2 + 200] ^= 1; }, Stage::Open,
         ErrorKind::BadChecksum},
        {"superblock signatures", none,
         [](NsfImage& i) { i.bytes[NsfImage::kSb1] = 0x0F; i.bytes[NsfImage::kSb2] = 0x0F; }, Stage::Open,
         ErrorKind::BadSignature},
        {"superblock size beyond its slot", none,
         [](NsfImage& i) { i.put32(NsfImage::kSb1 + 64, 0x7FFFFFFF); i.put32(NsfImage::kSb2 + 64, 0x7FFFFFFF); },
         Stage::Open, ErrorKind::Corrupt},
        {"more buckets than the superblock's pages hold", none,
         [](NsfImage& i) { i.put32(NsfImage::kSb1 + 14, 100000); i.put32(NsfImage::kSb2 + 14, 100000); }, Stage::Open,
         ErrorKind::Corrupt},
        {"first BDB damaged: the second is used", none, [](NsfImage& i) { i.bytes[NsfImage::kBdb1 + 30] ^= 0x40; },
         std::nullopt, ErrorKind::Corrupt},
        {"both BDBs damaged", none,
         [](NsfImage& i) { i.bytes[NsfImage::kBdb1 + 30] ^= 0x40; i.bytes[NsfImage::kBdb2 + 30] ^= 0x40; },
         Stage::Open, ErrorKind::BadChecksum},
        {"BDB positions outside the file", none,
         [](NsfImage& i) { i.put32(520 + 108, 0x00FFFFFF); i.put32(520 + 116, 0x00FFFFFF); }, Stage::Open,
         ErrorKind::Corrupt},
        {"RRV entry outside the file", [](NsfImage& i) { i.liveRrv = false; },
         [](NsfImage& i) { setRrvEntry(i, 0, 0x7FFFFF00, 0); }, Stage::Note, ErrorKind::Corrupt},
        {"RRV entry naming a missing bucket", [](NsfImage& i) { i.liveRrv = false; },
         [](NsfImage& i) { setRrvEntry(i, 0, 0x80000009, 1); }, Stage::Note, ErrorKind::Corrupt},
        {"RRV entry naming a missing slot", [](NsfImage& i) { i.liveRrv = false; },
         [](NsfImage& i) { setRrvEntry(i, 0, 0x80000001, 7); }, Stage::Note, ErrorKind::NotFound},
        {"slot outside its bucket", none,
         [](NsfImage& i) { i.put16(NsfImage::kSummaryBucket + NsfImage::kBucketSize - NsfImage::kFooter - 4, 0xFFF0); },
         Stage::Note, ErrorKind::Corrupt},
        {"note claiming more items than it holds", none,
         [](NsfImage& i) { i.put16(NsfImage::kSummaryBucket + NsfImage::kNoteSlotOffset + 50, 0xFFFF); }, Stage::Note,
         ErrorKind::Corrupt},
        {"bucket size beyond the file", none, [](NsfImage& i) { i.put32(NsfImage::kSummaryBucket + 6, 0x7FFFFFFF); },
         Stage::Note, ErrorKind::Corrupt},
        {"item length beyond the record", none,
         [](NsfImage& i) { i.put16(NsfImage::kSummaryBucket + NsfImage::kNoteSlotOffset + 104, 0xF000); },
         Stage::Note, ErrorKind::Corrupt},
        {"item name index out of range", none,
         [](NsfImage& i) { i.put16(NsfImage::kSummaryBucket + NsfImage::kNoteSlotOffset + 100, 999); }, Stage::Note,
         ErrorKind::Corrupt},
        {"non-summary record signature", none, [](NsfImage& i) { i.put16(NsfImage::kNonSummary, 0x0011); },
         Stage::Note, ErrorKind::BadSignature},
        {"non-summary record size beyond the file", none,
         [](NsfImage& i) { i.put32(NsfImage::kNonSummary + 2, 0x7FFFFFFF); }, Stage::Note, ErrorKind::Corrupt},
        {"object size beyond the file", none, [](NsfImage& i) { i.put32(NsfImage::kObject + 2, 0x7FFFFFFF); },
         Stage::Object, ErrorKind::Corrupt},
        {"local encryption state over plain notes is a leftover", none, [](NsfImage& i) { i.put32(644, 0x4345534C); },
         std::nullopt, ErrorKind::Corrupt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        NsfImage image;
        row.setUp(image);
        image.build();
        row.damage(image);
        auto failsAt = [&](Stage stage, const nsf::Error& error) {
            EXPECT_EQ(row.stage, stage);
            EXPECT_EQ(error.kind(), row.kind) << error.message();
        };
        auto db = open(image.bytes);
        if (!db) { failsAt(Stage::Open, db.error()); continue; }
        EXPECT_FALSE((*db)->info().locallyEncrypted);
        auto notes = (*db)->notes();
        if (!notes) { failsAt(Stage::Notes, notes.error()); continue; }
        EXPECT_EQ(notes->size(), 2u);  // a note that cannot be read is still listed
        auto note = (*db)->readNote(NsfImage::kNoteId);
        if (!note) { failsAt(Stage::Note, note.error()); continue; }
        EXPECT_EQ(note->items.size(), 4u);
        auto object = (*db)->openObject(NsfImage::kObjectId);
        if (!object) { failsAt(Stage::Object, object.error()); continue; }
        EXPECT_EQ(row.stage, std::nullopt);
    }
}

TEST(Container, EmptyAndTinyInputsAreTruncated) {
    for (std::size_t size : {0u, 1u, 5u, 6u, 100u, 1023u}) {
        auto image = validImage();
        image.resize(size);
        auto db = open(image);
        ASSERT_FALSE(db.has_value()) << size;
        EXPECT_EQ(db.error().kind(), ErrorKind::Truncated) << size;
    }
}

TEST(Container, LocalEncryptionOverUnreadableNotes) {
    NsfImage img;
    img.build();
    img.put32(644, 0x4345534C);  // "LSEC" state set
    for (std::size_t i = 0; i < 200; ++i) img.bytes[NsfImage::kSummaryBucket + NsfImage::kNoteSlotOffset + i] ^= 0x5A;
    auto db = open(img.bytes);
    ASSERT_TRUE(db.has_value()) << db.error().message();
    EXPECT_TRUE((*db)->info().locallyEncrypted);
    auto notes = (*db)->notes();
    ASSERT_FALSE(notes.has_value());
    EXPECT_EQ(notes.error().kind(), ErrorKind::Encrypted);
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::Encrypted);
}

TEST(Cx, LiteralsAndMatches) {
    const std::vector<std::uint8_t> data = {'a', 'b', 'c', 'd', 'e'};
    auto packed = NsfImage::cxLiterals(data);
    auto out = nsf::detail::cxDecompress(packed, data.size(), "test", 0);
    ASSERT_TRUE(out.has_value()) << out.error().message();
    EXPECT_EQ(*out, data);
    // Announced size differs from what the stream gives.
    auto shortOut = nsf::detail::cxDecompress(packed, data.size() - 1, "test", 0);
    ASSERT_FALSE(shortOut.has_value());
    EXPECT_EQ(shortOut.error().kind(), ErrorKind::Corrupt);
    auto longOut = nsf::detail::cxDecompress(packed, data.size() + 1, "test", 0);
    ASSERT_FALSE(longOut.has_value());
    EXPECT_EQ(longOut.error().kind(), ErrorKind::Corrupt);
}

// A bad bucket costs its IDs, not the database: the note table goes on without them, the damage list
// names the bucket and the note the bucket scan finds in its range, and salvage reads that note.
TEST(Container, DiskRrvBucketWithBadChecksum) {
    NsfImage image;
    image.liveRrv = false;
    image.build();
    image.bytes[NsfImage::kRrv + 100] ^= 0xFF;
    auto db = open(image.bytes);
    ASSERT_TRUE(db.has_value()) << db.error().message();
    auto notes = (*db)->notes();
    ASSERT_TRUE(notes.has_value()) << notes.error().message();
    EXPECT_TRUE(notes->empty());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::BadChecksum);
    const auto damage = (*db)->damage();
    ASSERT_EQ(damage.size(), 2u);
    EXPECT_EQ(damage[0].subject, nsf::Damage::Subject::Structure);
    EXPECT_EQ(damage[0].error.kind(), ErrorKind::BadChecksum);
    EXPECT_EQ(damage[1].subject, nsf::Damage::Subject::Note);
    EXPECT_EQ(damage[1].id, NsfImage::kNoteId);
    EXPECT_FALSE(damage[1].recovered);

    auto salvaged = nsf::openDatabaseBytes(image.bytes, "salvage", nsf::OpenOptions{.salvage = true});
    ASSERT_TRUE(salvaged.has_value());
    auto listed = (*salvaged)->notes();
    ASSERT_TRUE(listed.has_value());
    ASSERT_EQ(listed->size(), 1u);
    EXPECT_EQ(listed->front().id, NsfImage::kNoteId);
    EXPECT_TRUE((*salvaged)->readNote(NsfImage::kNoteId).has_value());
    EXPECT_TRUE((*salvaged)->damage().at(1).recovered);
}

}  // namespace
