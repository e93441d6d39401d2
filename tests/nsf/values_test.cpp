#include "nsf/values.h"

#include "nsf/timedate.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace nsf {
namespace {

using ByteVec = std::vector<std::uint8_t>;

void put16(ByteVec& v, std::uint16_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void put32(ByteVec& v, std::uint32_t x) {
    put16(v, static_cast<std::uint16_t>(x));
    put16(v, static_cast<std::uint16_t>(x >> 16));
}
void putDouble(ByteVec& v, double d) {
    auto bits = std::bit_cast<std::uint64_t>(d);
    put32(v, static_cast<std::uint32_t>(bits));
    put32(v, static_cast<std::uint32_t>(bits >> 32));
}
void putBytes(ByteVec& v, std::string_view s) { v.insert(v.end(), s.begin(), s.end()); }

// Every proper non-empty prefix of a well-formed value must fail cleanly (never read past the end).
template <typename Decode>
void expectEveryPrefixFails(const ByteVec& value, Decode decode) {
    for (std::size_t n = 1; n < value.size(); ++n) {
        ByteVec prefix(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(n));
        auto r = decode(Bytes(prefix));
        ASSERT_FALSE(r.has_value()) << "prefix of " << n << " bytes decoded";
        EXPECT_EQ(r.error().kind(), ErrorKind::Truncated) << r.error().message();
    }
}

TEST(Values, TextAndTextLists) {
    EXPECT_EQ(decodeText(ByteVec{'H', 0x82, 0, 'x'}).value(), "H\u00E9\nx");

    ByteVec list;
    put16(list, 3);
    put16(list, 2);
    put16(list, 0);
    put16(list, 3);
    putBytes(list, "ab");
    list.insert(list.end(), {'c', 0x00, 0x82});
    EXPECT_EQ(decodeTextList(list).value(), (std::vector<std::string>{"ab", "", "c\n\u00E9"}));
    expectEveryPrefixFails(list, [](Bytes b) { return decodeTextList(b); });

    // A length table that claims more than the value holds.
    ByteVec lying;
    put16(lying, 0xFFFF);
    put16(lying, 1);
    EXPECT_EQ(decodeTextList(lying).error().kind(), ErrorKind::Truncated);
    ByteVec empty;
    put16(empty, 0);
    EXPECT_TRUE(decodeTextList(empty).value().empty());
    // Emptied fields are stored with no bytes at all: an empty list, but no number or time.
    EXPECT_TRUE(decodeTextList(ByteVec{}).value().empty());
    EXPECT_TRUE(decodeTimeRange(ByteVec{}).value().values.empty());
    EXPECT_TRUE(decodeNoteRefList(ByteVec{}).value().empty());
    EXPECT_EQ(decodeNumber(ByteVec{}).error().kind(), ErrorKind::Truncated);
    EXPECT_EQ(decodeTime(ByteVec{}).error().kind(), ErrorKind::Truncated);
}

TEST(Values, NumbersTimesAndRanges) {
    ByteVec number;
    putDouble(number, -12.5);
    EXPECT_EQ(decodeNumber(number).value(), -12.5);

    ByteVec range;
    put16(range, 2);
    put16(range, 1);
    putDouble(range, 1.0);
    putDouble(range, 2.5);
    putDouble(range, 10.0);
    putDouble(range, 20.0);
    auto numbers = decodeNumberRange(range).value();
    EXPECT_EQ(numbers.values, (std::vector<double>{1.0, 2.5}));
    ASSERT_EQ(numbers.pairs.size(), 1u);
    EXPECT_EQ(numbers.pairs[0], (Bounds<double>{10.0, 20.0}));
    expectEveryPrefixFails(range, [](Bytes b) { return decodeNumberRange(b); });

    ByteVec times;
    put16(times, 1);
    put16(times, 0);
    put32(times, 0x006CDCC0);
    put32(times, 0x852563FC);
    auto t = decodeTimeRange(times).value();
    ASSERT_EQ(t.values.size(), 1u);
    EXPECT_EQ(t.values[0], (TimeDate{0x006CDCC0, 0x852563FC}));
    EXPECT_EQ(decodeTime(Bytes(times).subspan(4)).value(), (TimeDate{0x006CDCC0, 0x852563FC}));

    // Counts whose byte total overflows 16 bits must still be compared with the real size.
    ByteVec huge;
    put16(huge, 0xFFFF);
    put16(huge, 0xFFFF);
    EXPECT_EQ(decodeTimeRange(huge).error().kind(), ErrorKind::Truncated);
    EXPECT_FALSE(decodeNumber(ByteVec{1, 2, 3}).has_value());
}

TEST(Values, UserIdsAndNoteReferences) {
    ByteVec user;
    putBytes(user, "CN=J\x82r\x93me/O=Acme");
    user.insert(user.end(), {1, 2, 3, 4, 5, 6, 7, 8});
    auto u = decodeUserId(user).value();
    EXPECT_EQ(u.name, "CN=J\u00E9r\u00F4me/O=Acme");
    EXPECT_EQ(u.license, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(decodeUserId(ByteVec{1, 2, 3}).error().kind(), ErrorKind::Truncated);

    ByteVec refs;
    put16(refs, 2);
    for (std::uint8_t n : {0x10, 0x20}) {
        for (int i = 0; i < 8; ++i) refs.push_back(static_cast<std::uint8_t>(n + i));
        put32(refs, 0x11223344);
        put32(refs, 0x00256859u + n);
    }
    auto unids = decodeNoteRefList(refs).value();
    ASSERT_EQ(unids.size(), 2u);
    EXPECT_EQ(unids[1].file[0], 0x20);
    EXPECT_EQ(unids[1].note, (TimeDate{0x11223344, 0x00256879}));
    expectEveryPrefixFails(refs, [](Bytes b) { return decodeNoteRefList(b); });
}

ByteVec fileObject(std::string_view name, std::uint16_t compression, std::uint16_t flags) {
    ByteVec v;
    put16(v, 0x0000 | 0x2000);  // OBJECT_FILE with the public flag
    put32(v, 0x1234);
    put16(v, static_cast<std::uint16_t>(name.size()));
    put16(v, kHostMsdos);
    put16(v, compression);
    put16(v, kFileAttribReadOnly);
    put16(v, flags);
    put32(v, 296406);
    put32(v, 0);
    put32(v, 0);
    put32(v, 0x006CDCC0);
    put32(v, 0x852563FC);
    putBytes(v, name);
    return v;
}

TEST(Values, FileObjects) {
    ByteVec value = fileObject("sample\x82.bmp", 1, kFileFlagSign);
    value.insert(value.end(), 16, 0xAB);  // signed attachments carry 16 more bytes
    auto object = decodeObject(value).value();
    EXPECT_EQ(object.descriptor.kind(), kObjectFile);
    EXPECT_EQ(object.descriptor.rrv, 0x1234u);
    ASSERT_TRUE(object.file.has_value());
    const FileObject& f = *object.file;
    EXPECT_EQ(f.name, "sample\u00E9.bmp");
    EXPECT_EQ(f.rawName.size(), 11u);
    EXPECT_EQ(f.compression(), Compression::Huffman);
    EXPECT_EQ(f.fileSize, 296406u);
    EXPECT_EQ(f.attributes, kFileAttribReadOnly);
    EXPECT_EQ(f.modified, (TimeDate{0x006CDCC0, 0x852563FC}));
    EXPECT_EQ(f.trailing.size(), 16u);

    ByteVec plain = fileObject("a.txt", 0, 0);
    expectEveryPrefixFails(plain, [](Bytes b) { return decodeObject(b); });

    ByteVec unknownCompression = fileObject("a", 9, 0);
    EXPECT_FALSE(decodeObject(unknownCompression).value().file->compression().has_value());

    // Other object kinds stop after the descriptor.
    ByteVec collection;
    put16(collection, 1);
    put32(collection, 0x99);
    auto other = decodeObject(collection).value();
    EXPECT_FALSE(other.file.has_value());
    EXPECT_EQ(other.descriptor.rrv, 0x99u);
}

TEST(Values, MimeParts) {
    ByteVec v;
    put16(v, 2);
    put32(v, kMimePartHasBoundary | kMimePartHasHeaders);
    v.push_back(kMimePartBody);
    v.push_back(0);
    const std::string boundary = "--b1\r\n", headers = "Content-Type: text/plain\r\n\r\n", body = "hello";
    put16(v, static_cast<std::uint16_t>(boundary.size() + headers.size() + body.size()));
    put16(v, static_cast<std::uint16_t>(boundary.size()));
    put16(v, static_cast<std::uint16_t>(headers.size()));
    put16(v, 0);
    put32(v, 0);
    putBytes(v, boundary + headers + body);
    auto part = decodeMimePart(v).value();
    EXPECT_EQ(part.version, 2);
    EXPECT_EQ(part.partType, kMimePartBody);
    EXPECT_EQ(std::string(part.boundary.begin(), part.boundary.end()), boundary);
    EXPECT_EQ(std::string(part.headers.begin(), part.headers.end()), headers);
    EXPECT_EQ(std::string(part.body.begin(), part.body.end()), body);
    EXPECT_FALSE(part.bodyInObject());
    expectEveryPrefixFails(v, [](Bytes b) { return decodeMimePart(b); });

    ByteVec bad = v;
    bad[10] = 0xFF;  // boundary longer than the whole part data
    EXPECT_EQ(decodeMimePart(bad).error().kind(), ErrorKind::Corrupt);
}

TEST(Values, TypeNamesAndRendering) {
    EXPECT_EQ(typeName(kTypeText), "TYPE_TEXT");
    EXPECT_EQ(typeName(kTypeNoteRefList), "TYPE_NOTEREF_LIST");
    EXPECT_EQ(typeName(kTypeMimePart), "TYPE_MIME_PART");
    EXPECT_EQ(typeName(0x0017), "TYPE_0x0017");

    auto render = [](std::uint16_t type, ByteVec value, std::size_t max = 200) {
        Item item;
        item.type = type;
        item.value = std::move(value);
        return renderValue(item, max);
    };
    EXPECT_EQ(render(kTypeText, {'a', 0, '"'}), R"("a\n\"")");
    ByteVec number;
    putDouble(number, 3.25);
    EXPECT_EQ(render(kTypeNumber, number), "3.25");
    ByteVec time;
    put32(time, 0x006CDCC0);
    put32(time, 0x852563FC);
    EXPECT_EQ(render(kTypeTime, time), "1996-12-10T19:49:04.00Z (zone -05:00 DST)");
    EXPECT_EQ(render(kTypeComposite, ByteVec(40, 0)), "<rich text, 40 bytes>");
    EXPECT_EQ(render(kTypeNumber, {}), "<empty>");
    EXPECT_EQ(render(kTypeTime, ByteVec(8, 0)), "<none>");
    EXPECT_EQ(render(0x0017, {0xDE, 0xAD}), "<2 bytes> DE AD");
    EXPECT_EQ(render(kTypeNumber, {1}).rfind("<bad value: truncated", 0), 0u);
    auto file = render(kTypeObject, fileObject("x.bin", 1, 0));
    EXPECT_NE(file.find("\"x.bin\" 296406 bytes huffman"), std::string::npos) << file;

    // Cutting never splits a UTF-8 character.
    const std::string cut = render(kTypeText, ByteVec(50, 0x82), 10);
    EXPECT_LE(cut.size(), 10u);
    EXPECT_EQ(cut, "\"\u00E9\u00E9\u00E9...");
}

TEST(Values, DecodeValueDispatches) {
    ByteVec list;
    put16(list, 1);
    put16(list, 1);
    list.push_back('z');
    auto v = decodeValue(kTypeTextList, list).value();
    ASSERT_TRUE(std::holds_alternative<std::vector<std::string>>(v));
    EXPECT_EQ(std::get<std::vector<std::string>>(v).at(0), "z");
    auto raw = decodeValue(kTypeSignature, list).value();
    ASSERT_TRUE(std::holds_alternative<RawValue>(raw));
    EXPECT_EQ(std::get<RawValue>(raw).type, kTypeSignature);
    EXPECT_FALSE(decodeValue(kTypeTextList, ByteVec{5}).has_value());
}

const std::filesystem::path kSampleDir = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf";

std::vector<Item> itemsNamed(const std::string& file, const std::string& name) {
    std::vector<Item> found;
    auto db = openDatabaseFile(kSampleDir / file);
    EXPECT_TRUE(db.has_value()) << file << ": " << (db ? "" : db.error().message());
    if (!db) return found;
    auto notes = (*db)->notes();
    if (!notes) return found;
    for (const NoteEntry& e : *notes) {
        if (e.deleted) continue;
        auto note = (*db)->readNote(e.id);
        if (!note) continue;
        for (Item& item : note->items)
            if (item.name == name) found.push_back(std::move(item));
    }
    return found;
}

TEST(ValuesSamples, FileObjectAndMimePartsOfRealNotes) {
    auto files = itemsNamed("notedata_attachment.nsf", "$FILE");
    ASSERT_FALSE(files.empty());
    auto object = decodeObject(files.front().value);
    ASSERT_TRUE(object.has_value()) << object.error().message();
    ASSERT_TRUE(object->file.has_value());
    EXPECT_EQ(object->file->name, "tms.log");
    EXPECT_EQ(object->file->fileSize, 10948u);
    EXPECT_EQ(object->file->compression(), Compression::Huffman);
    EXPECT_EQ(formatTimeDate(object->file->modified), "2006-05-31T01:56:40.00Z (zone +08:00)");

    int prologs = 0, bodies = 0;
    for (const Item& body : itemsNamed("notedata_MIMEMsg.nsf", "Body")) {
        if (body.type != kTypeMimePart) continue;
        auto part = decodeMimePart(body.value);
        ASSERT_TRUE(part.has_value()) << part.error().message();
        EXPECT_EQ(part->version, 2);
        const std::string headers(part->headers.begin(), part->headers.end());
        if (part->partType == kMimePartProlog) {
            ++prologs;
            EXPECT_EQ(headers.rfind("Content-Type: multipart/", 0), 0u) << headers;
        }
        if (part->partType == kMimePartBody) {
            ++bodies;
            EXPECT_NE(headers.find("Content-Type: "), std::string::npos) << headers;
        }
    }
    EXPECT_GE(prologs, 3);
    EXPECT_GE(bodies, 5);
}

}  // namespace
}  // namespace nsf
