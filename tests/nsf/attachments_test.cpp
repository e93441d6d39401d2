// Attachments of the sample databases decode through openObject() to their listed sizes; their bytes
// are checked against ../shared/samples/expected-attachments.tsv end to end (test_extract_tool.py).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "nsf/database.h"
#include "nsf/values.h"

namespace {

namespace fs = std::filesystem;
const fs::path kSamples = fs::path(NSFREX_SHARED_DIR) / "samples";

// Every $FILE of every sample decodes to its FILEOBJECT size (those whose compression is known).
TEST(Attachments, EveryFileObjectOfEverySampleDecodes) {
    std::size_t decoded = 0;
    for (const auto& entry : fs::directory_iterator(kSamples / "nsf")) {
        SCOPED_TRACE(entry.path().filename().string());
        auto db = nsf::openDatabaseFile(entry.path());
        ASSERT_TRUE(db.has_value()) << db.error().message();
        auto notes = (*db)->notes();
        ASSERT_TRUE(notes.has_value());
        for (const nsf::NoteEntry& n : *notes) {
            if (n.deleted) continue;
            auto note = (*db)->readNote(n.id);
            ASSERT_TRUE(note.has_value());
            for (const nsf::Item& item : note->items) {
                if (item.name != "$FILE" || item.type != nsf::kTypeObject) continue;
                auto obj = nsf::decodeObject(item.value);
                ASSERT_TRUE(obj.has_value()) << obj.error().message();
                ASSERT_TRUE(obj->file.has_value());
                auto compression = obj->file->compression();
                ASSERT_TRUE(compression.has_value());
                auto stream = (*db)->openObject(obj->descriptor.rrv, *compression, obj->file->fileSize);
                ASSERT_TRUE(stream.has_value()) << obj->file->name << ": " << stream.error().message();
                std::vector<std::uint8_t> chunk(65536);
                std::uint64_t total = 0;
                for (;;) {
                    auto got = (*stream)->read(chunk);
                    ASSERT_TRUE(got.has_value()) << obj->file->name << ": " << got.error().message();
                    if (*got == 0) break;
                    total += *got;
                }
                EXPECT_EQ(total, obj->file->fileSize) << obj->file->name;
                ++decoded;
            }
        }
    }
    EXPECT_GT(decoded, 6u);
}

}  // namespace
