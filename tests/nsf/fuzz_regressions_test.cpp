// Replays the inputs kept under fuzz/regressions/fuzz_open/ (inputs the fuzzer once crashed on) the
// way fuzz/fuzz_open.cpp reads them: they must now open or fail cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "nsf/database.h"
#include "nsf/values.h"

namespace {

namespace fs = std::filesystem;

void readEverything(nsf::Database& db) {
    std::vector<std::uint8_t> chunk(16384);
    auto drain = [&](nsf::ObjectStream& s) {
        for (int guard = 0; guard < 1 << 16; ++guard) {
            auto got = s.read(chunk);
            if (!got || *got == 0) return;
        }
    };
    auto notes = db.notes();
    if (notes)
        for (const nsf::NoteEntry& n : *notes) {
            auto note = db.readNote(n.id);
            if (!note) continue;
            for (const nsf::Item& item : note->items) {
                (void)nsf::renderValue(item, 80);
                if (item.type != nsf::kTypeObject) continue;
                auto obj = nsf::decodeObject(item.value);
                if (!obj) continue;
                nsf::Compression c = nsf::Compression::None;
                std::uint64_t size = 0;
                if (obj->file) {
                    auto known = obj->file->compression();
                    if (!known) continue;
                    c = *known;
                    size = obj->file->fileSize;
                }
                auto s = db.openObject(obj->descriptor.rrv, c, size);
                if (s) drain(**s);
            }
            if ((n.noteClass & 0x7FFF) == 0x0008) (void)db.folderNoteIds(n.id);
        }
    auto objects = db.objectIds();
    if (objects)
        for (std::uint32_t id : *objects) {
            auto s = db.openObject(id);
            if (s) drain(**s);
        }
}

TEST(FuzzRegressions, OpenInputsReplay) {
    const fs::path dir = fs::path(__FILE__).parent_path() / ".." / ".." / "fuzz" / "regressions" / "fuzz_open";
    std::size_t replayed = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        SCOPED_TRACE(entry.path().filename().string());
        auto db = nsf::openDatabaseBytes(bytes, entry.path().filename().string());
        if (db) readEverything(**db);
        ++replayed;
    }
    RecordProperty("replayed", static_cast<int>(replayed));
}

}  // namespace
