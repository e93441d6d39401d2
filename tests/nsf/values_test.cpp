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
