// Attachments of the sample databases come out of openObject() with the size and SHA-256 that
// ../shared/samples/expected-attachments.tsv lists (decoded by an independent prototype).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "nsf/database.h"
#include "nsf/values.h"
#include "sha256.h"

namespace {

namespace fs = std::filesystem;
const fs::path kSamples = fs::path(NSFREX_SHARED_DIR) / "samples";

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(nsf::test::sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::string abc = "abc";
    EXPECT_EQ(nsf::test::sha256Hex({reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()}),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(nsf::test::sha256Hex({reinterpret_cast<const std::uint8_t*>(two.data()), two.size()}),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

struct Attachment {
    std::string name;
    std::uint64_t size = 0;
    std::string sha256;
    std::string database;
    std::string storedAs;
};

std::vector<Attachment> readExpected() {
    std::vector<Attachment> rows;
    std::ifstream in(kSamples / "expected-attachments.tsv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t')) f.push_back(cell);
        if (f.size() != 5) continue;
        rows.push_back({f[0], std::stoull(f[1]), f[2], f[3], f[4]});
    }
    return rows;
}

struct Found {
    std::size_t count = 0;
    std::string sha256;
    std::uint64_t size = 0;
    nsf::Compression compression = nsf::Compression::None;
    std::string error;
};

// Every $FILE object of `db` named `name`, decoded through openObject in 4 KiB chunks.
Found extract(nsf::Database& db, const Attachment& want) {
    Found found;
    auto notes = db.notes();
    if (!notes) {
        found.error = notes.error().message();
        return found;
    }
    for (const nsf::NoteEntry& n : *notes) {
        if (n.deleted) continue;
        auto note = db.readNote(n.id);
        if (!note) continue;
        for (const nsf::Item& item : note->items) {
            if (item.name != "$FILE" || item.type != nsf::kTypeObject) continue;
            auto obj = nsf::decodeObject(item.value);
            if (!obj || !obj->file || obj->file->name != want.name) continue;
            auto compression = obj->file->compression();
            if (!compression) continue;
            auto stream = db.openObject(obj->descriptor.rrv, *compression, obj->file->fileSize);
            if (!stream) {
                found.error = stream.error().message();
                continue;
            }
            nsf::test::Sha256 sha;
            std::vector<std::uint8_t> chunk(4096);
            std::uint64_t total = 0;
            for (;;) {
                auto got = (*stream)->read(chunk);
                if (!got) {
                    found.error = got.error().message();
                    break;
                }
                if (*got == 0) break;
                sha.update(std::span(chunk).first(*got));
                total += *got;
            }
            ++found.count;
            found.sha256 = sha.hexDigest();
            found.size = total;
            found.compression = *compression;
        }
    }
    return found;
}

TEST(Attachments, MatchTheListedSizeAndDigest) {
    auto rows = readExpected();
    ASSERT_FALSE(rows.empty()) << "missing or empty " << (kSamples / "expected-attachments.tsv");
    // Its FILEOBJECT size sits where a bucket stamp falls: read without the restore, it said 749.
    rows.push_back({"mswin32.mak", 738, "d3bb189555556125dc8e0928f334d186993b645a9cdb6300a288845ea729dab2",
                    "notedata_MIMEMsg.nsf", "none"});
    for (const Attachment& a : rows) {
        SCOPED_TRACE(a.database + " / " + a.name);
        auto db = nsf::openDatabaseFile(kSamples / "nsf" / a.database);
        ASSERT_TRUE(db.has_value()) << db.error().message();
        Found f = extract(**db, a);
        EXPECT_TRUE(f.error.empty()) << f.error;
        ASSERT_GE(f.count, 1u);
        EXPECT_EQ(f.size, a.size);
        EXPECT_EQ(f.sha256, a.sha256);
        EXPECT_EQ(f.compression, a.storedAs == "huffman" ? nsf::Compression::Huffman : nsf::Compression::None);
    }
}

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
