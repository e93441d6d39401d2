// The container reader on a hand-built image (nsf_image.h): the valid image reads completely, and
// each broken field gives a clean error of the right kind (or a fallback to the other copy).
#include <gtest/gtest.h>

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

TEST(Container, LiveRrvCopyWinsOverStaleDiskBucket) {
    NsfImage image;
    image.diskRrvCurrent = false;
    auto db = open(image.build());
    ASSERT_TRUE(db.has_value()) << db.error().message();
    auto notes = (*db)->notes();
    ASSERT_TRUE(notes.has_value());
    EXPECT_EQ(notes->size(), 2u);
}

TEST(Container, WithoutLiveCopyTheDiskBucketIsUsed) {
    NsfImage image;
    image.liveRrv = false;
    auto db = open(image.build());
    ASSERT_TRUE(db.has_value()) << db.error().message();
    auto notes = (*db)->notes();
    ASSERT_TRUE(notes.has_value());
    EXPECT_EQ(notes->size(), 2u);
}

TEST(Container, EmptyAndTinyInputs) {
    for (std::size_t size : {0u, 1u, 5u, 6u, 100u, 1023u}) {
        auto image = validImage();
        image.resize(size);
        auto db = open(image);
        ASSERT_FALSE(db.has_value()) << size;
        EXPECT_EQ(db.error().kind(), size < 6 ? ErrorKind::Truncated : ErrorKind::Truncated) << size;
    }
}

TEST(Container, BadFileSignature) {
    auto image = validImage();
    image[0] = 0x1B;
    auto db = open(image);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), ErrorKind::BadSignature);
}

TEST(Container, UnknownHeaderSizeOrOdsIsUnsupported) {
    auto image = validImage();
    image[2] = 0x00; image[3] = 0x03;  // 0x300: Notes 3/4
    auto db = open(image);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), ErrorKind::Unsupported);

    image = validImage();
    image[6] = 16;  // ODS 16
    db = open(image);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), ErrorKind::Unsupported);
}

TEST(Container, TruncatedFileLosesItsStructures) {
    auto image = validImage();
    image.resize(NsfImage::kBdb1 + 100);  // the BDBs and everything after are gone
    auto db = open(image);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), ErrorKind::Corrupt);  // "the database header names no BDB" inside the file
}

TEST(Container, BadSuperblockChecksumFallsBackToTheOtherCopy) {
    auto image = validImage();
    image[NsfImage::kSb1 + 200] ^= 0x01;
    auto db = open(image);
    ASSERT_TRUE(db.has_value()) << db.error().message();
    EXPECT_TRUE((*db)->notes().has_value());

    image[NsfImage::kSb2 + 200] ^= 0x01;
    db = open(image);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), ErrorKind::BadChecksum);
}

TEST(Container, BadSuperblockSignature) {
    auto image = validImage();
    image[NsfImage::kSb1] = 0x0F;
    image[NsfImage::kSb2] = 0x0F;
    auto db = open(image);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), ErrorKind::BadSignature);
}

TEST(Container, SuperblockStoredSizeBeyondItsSlot) {
    NsfImage image;
    image.build();
    image.put32(NsfImage::kSb1 + 64, 0x7FFFFFFF);
    image.put32(NsfImage::kSb2 + 64, 0x7FFFFFFF);
    auto db = open(image.bytes);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), ErrorKind::Corrupt);
}

TEST(Container, SuperblockClaimsMoreBucketsThanItsPagesHold) {
    NsfImage image;
    image.build();
    for (std::size_t at : {NsfImage::kSb1, NsfImage::kSb2}) image.put32(at + 14, 100000);
    auto db = open(image.bytes);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), ErrorKind::Corrupt);
}

TEST(Container, BadBdbHeaderChecksum) {
    auto image = validImage();
    image[NsfImage::kBdb1 + 30] ^= 0x40;
    auto db = open(image);
    ASSERT_TRUE(db.has_value()) << db.error().message();  // copy 2 is used
    image[NsfImage::kBdb2 + 30] ^= 0x40;
    db = open(image);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), ErrorKind::BadChecksum);
}

TEST(Container, BdbPositionOutsideTheFile) {
    NsfImage image;
    image.build();
    image.put32(520 + 108, 0x00FFFFFF);
    image.put32(520 + 116, 0x00FFFFFF);
    auto db = open(image.bytes);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), ErrorKind::Corrupt);
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

// Rewrites the disk RRV bucket (used when there is no live copy) with entry `index` = (a, b).
std::vector<std::uint8_t> withRrvEntry(std::size_t index, std::uint32_t a, std::uint32_t b) {
    NsfImage image;
    image.liveRrv = false;
    image.build();
    image.put32(NsfImage::kRrv + 32 + 8 * index, a);
    image.put32(NsfImage::kRrv + 36 + 8 * index, b);
    image.put32(NsfImage::kRrv + 18, NsfImage::xor32(image.bytes.data() + NsfImage::kRrv + 32, 4096 - 32));
    return image.bytes;
}

TEST(Container, RrvEntryPointingOutsideTheFile) {
    auto db = open(withRrvEntry(0, 0x7FFFFF00, 0));
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::Corrupt);
    // The walk still lists the ID (class 0) so that the other notes stay readable.
    auto notes = (*db)->notes();
    ASSERT_TRUE(notes.has_value());
    ASSERT_EQ(notes->size(), 2u);
    EXPECT_EQ((*notes)[0].noteClass, 0);
}

TEST(Container, RrvEntryNamingAMissingBucketOrSlot) {
    auto db = open(withRrvEntry(0, 0x80000009, 1));
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::Corrupt);

    db = open(withRrvEntry(0, 0x80000001, 7));
    ASSERT_TRUE(db.has_value());
    note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::NotFound);
}

TEST(Container, RrvEntryPointingAtItsOwnBucketIsNotANote) {
    // A file-position entry that points back at the RRV bucket: read as a record of another kind.
    auto db = open(withRrvEntry(0, static_cast<std::uint32_t>(NsfImage::kRrv / 256), 0));
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
}

TEST(Container, SlotOutsideItsBucket) {
    auto image = validImage();
    NsfImage img;
    img.bytes = image;
    img.put16(NsfImage::kSummaryBucket + NsfImage::kBucketSize - NsfImage::kFooter - 4, 0xFFF0);  // slot 1 offset
    auto db = open(img.bytes);
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::Corrupt);
}

TEST(Container, BucketSizeBeyondTheFile) {
    NsfImage img;
    img.build();
    img.put32(NsfImage::kSummaryBucket + 6, 0x7FFFFFFF);
    auto db = open(img.bytes);
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::Corrupt);
}

TEST(Container, NoteClaimingMoreItemsThanItHolds) {
    NsfImage img;
    img.build();
    img.put16(NsfImage::kSummaryBucket + NsfImage::kNoteSlotOffset + 50, 0xFFFF);
    auto db = open(img.bytes);
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::Corrupt);
}

TEST(Container, ItemLengthBeyondTheRecord) {
    NsfImage img;
    img.build();
    img.put16(NsfImage::kSummaryBucket + NsfImage::kNoteSlotOffset + 100 + 4, 0xF000);  // Form's length
    auto db = open(img.bytes);
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::Corrupt);
}

TEST(Container, ItemNameIndexOutOfRange) {
    NsfImage img;
    img.build();
    img.put16(NsfImage::kSummaryBucket + NsfImage::kNoteSlotOffset + 100, 999);
    auto db = open(img.bytes);
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::Corrupt);
}

TEST(Container, NonSummaryRecordMissing) {
    NsfImage img;
    img.build();
    img.put16(NsfImage::kNonSummary, 0x0011);  // signature gone
    auto db = open(img.bytes);
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::BadSignature);
}

TEST(Container, NonSummaryRecordSizeBeyondTheFile) {
    NsfImage img;
    img.build();
    img.put32(NsfImage::kNonSummary + 2, 0x7FFFFFFF);
    auto db = open(img.bytes);
    ASSERT_TRUE(db.has_value());
    auto note = (*db)->readNote(NsfImage::kNoteId);
    ASSERT_FALSE(note.has_value());
    EXPECT_EQ(note.error().kind(), ErrorKind::Corrupt);
}

TEST(Container, ObjectAllocatedSizeBeyondTheFile) {
    NsfImage img;
    img.build();
    img.put32(NsfImage::kObject + 2, 0x7FFFFFFF);
    auto db = open(img.bytes);
    ASSERT_TRUE(db.has_value());
    auto stream = (*db)->openObject(NsfImage::kObjectId);
    ASSERT_FALSE(stream.has_value());
    EXPECT_EQ(stream.error().kind(), ErrorKind::Corrupt);
}

TEST(Container, LocalEncryptionFieldsOverUnreadableNotes) {
    NsfImage img;
    img.build();
    img.put32(644, 0x4345534C);  // "LSEC" state set
    // The note records are not readable: the database is treated as locally encrypted.
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

TEST(Container, LocalEncryptionFieldsOverReadableNotes) {
    NsfImage img;
    img.build();
    img.put32(644, 0x4345534C);
    auto db = open(img.bytes);
    ASSERT_TRUE(db.has_value());
    EXPECT_FALSE((*db)->info().locallyEncrypted);  // leftovers: the notes themselves are plain
    EXPECT_TRUE((*db)->notes().has_value());
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

TEST(Cx, MatchBeforeTheStartAndTruncation) {
    // header 4, then a length-2 match (1, 1) with distance 5 before any output.
    std::vector<std::uint8_t> bits;
    std::size_t bit = 0;
    auto push = [&](unsigned b) {
        if (bit % 8 == 0) bits.push_back(0);
        if (b) bits.back() |= static_cast<std::uint8_t>(1u << (bit % 8));
        ++bit;
    };
    push(0); push(0); push(1);
    push(1); push(1);
    for (int i = 0; i < 8; ++i) push((5 >> i) & 1);
    auto out = nsf::detail::cxDecompress(bits, 10, "test", 0);
    ASSERT_FALSE(out.has_value());
    EXPECT_EQ(out.error().kind(), ErrorKind::Corrupt);

    auto packed = NsfImage::cxLiterals({'x', 'y'});
    packed.resize(packed.size() - 2);  // the end marker is cut off
    auto cut = nsf::detail::cxDecompress(packed, 2, "test", 0);
    ASSERT_FALSE(cut.has_value());
    EXPECT_EQ(cut.error().kind(), ErrorKind::Truncated);

    std::vector<std::uint8_t> badHeader = {0x03, 0x00};
    auto bad = nsf::detail::cxDecompress(badHeader, 1, "test", 0);
    ASSERT_FALSE(bad.has_value());
    EXPECT_EQ(bad.error().kind(), ErrorKind::Corrupt);
}

TEST(Cx, OverlappingMatchRepeats) {
    // "ab" as literals, then a match of length 6 at distance 2 -> "abababab".
    std::vector<std::uint8_t> bits;
    std::size_t bit = 0;
    auto push = [&](unsigned b) {
        if (bit % 8 == 0) bits.push_back(0);
        if (b) bits.back() |= static_cast<std::uint8_t>(1u << (bit % 8));
        ++bit;
    };
    auto gamma = [&](unsigned g) {  // g = 2^(z+1) - 1 + v, v < 2^(z+1)
        unsigned z = 0;
        while (g >= (2u << (z + 1)) - 1) ++z;
        const unsigned v = g - ((2u << z) - 1);
        for (unsigned i = 0; i < z; ++i) push(0);
        push(1);
        for (unsigned i = 0; i <= z; ++i) push((v >> i) & 1);
    };
    push(0); push(0); push(1);
    for (char c : {'a', 'b'}) {
        push(0);
        for (int i = 0; i < 8; ++i) push((static_cast<unsigned>(c) >> i) & 1);
    }
    push(1); push(0); gamma(4);  // length 2 + 4
    push(1);                    // no high offset part
    for (int i = 0; i < 8; ++i) push((2 >> i) & 1);
    push(1); push(0); gamma(256);  // end
    auto out = nsf::detail::cxDecompress(bits, 8, "test", 0);
    ASSERT_TRUE(out.has_value()) << out.error().message();
    EXPECT_EQ(std::string(out->begin(), out->end()), "abababab");
}

}  // namespace
