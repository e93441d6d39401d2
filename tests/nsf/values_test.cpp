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
        if (!part) continue;  // one part in this file carries a damaged byte count
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

// Every value of every sample goes through the decoders and the dump rendering (under the sanitizers in
// CI). The samples contain a few damaged values, so a small share may fail, but only cleanly.
TEST(ValuesSamples, EveryStoredValueDecodesOrFailsCleanly) {
    ASSERT_TRUE(std::filesystem::is_directory(kSampleDir)) << "missing " << kSampleDir;
    std::map<std::uint16_t, std::pair<int, int>> counts;  // type -> decoded, failed
    for (const auto& entry : std::filesystem::directory_iterator(kSampleDir)) {
        auto db = openDatabaseFile(entry.path());
        if (!db) continue;
        auto notes = (*db)->notes();
        if (!notes) continue;
        for (const NoteEntry& e : *notes) {
            if (e.deleted) continue;
            auto note = (*db)->readNote(e.id);
            if (!note) continue;
            for (const Item& item : note->items) {
                auto v = decodeValue(item.type, item.value);
                (v || item.value.empty() ? counts[item.type].first : counts[item.type].second)++;
                EXPECT_LE(renderValue(item, 80).size(), 80u);
                // A fixed layout cut short is refused, never read past its end.
                if (v && counts[item.type].first == 1 &&
                    (item.type == kTypeNumber || item.type == kTypeTime || item.type == kTypeTimeRange))
                    expectEveryPrefixFails(item.value, [&](Bytes b) { return decodeValue(item.type, b); });
            }
        }
    }
    for (std::uint16_t type : {kTypeText, kTypeTextList, kTypeNumber, kTypeTime, kTypeTimeRange, kTypeObject,
                               kTypeNoteRefList, kTypeMimePart, kTypeUserId}) {
        const auto [good, bad] = counts[type];
        EXPECT_GT(good, 0) << typeName(type);
        EXPECT_LE(bad * 20, good) << typeName(type) << ": " << bad << " of " << good + bad << " failed";
    }
}

}  // namespace
}  // namespace nsf
