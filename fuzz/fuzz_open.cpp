// libFuzzer target: open a database image from memory, enumerate its notes, read every note and
// every object, decoding $FILE objects as their FILEOBJECT says (Huffman, LZ1 or none).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "nsf/database.h"
#include "nsf/values.h"

namespace {

void drain(nsf::ObjectStream& stream) {
    std::vector<std::uint8_t> chunk(16384);
    // The engine's streams end or fail; the guard only keeps a wrong stream from spinning forever.
    for (int guard = 0; guard < 1 << 16; ++guard) {
        auto got = stream.read(chunk);
        if (!got || *got == 0) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto db = nsf::openDatabaseBytes(nsf::Bytes(data, size), "fuzz");
    if (!db) return 0;
    nsf::Database& d = **db;
    (void)d.info();
    auto notes = d.notes();
    if (notes) {
        for (const nsf::NoteEntry& n : *notes) {
            auto note = d.readNote(n.id);
            if (!note) continue;
            for (const nsf::Item& item : note->items) {
                (void)nsf::renderValue(item, 80);
                if (item.type != nsf::kTypeObject) continue;
                auto obj = nsf::decodeObject(item.value);
                if (!obj) continue;
                nsf::Compression compression = nsf::Compression::None;
                std::uint64_t expected = 0;
                if (obj->file) {
                    auto c = obj->file->compression();
                    if (!c) continue;
                    compression = *c;
                    expected = obj->file->fileSize;
                }
                auto stream = d.openObject(obj->descriptor.rrv, compression, expected);
                if (stream) drain(**stream);
            }
            if ((n.noteClass & 0x7FFF) == 0x0008) (void)d.folderNoteIds(n.id);
        }
    }
    auto objects = d.objectIds();
    if (objects)
        for (std::uint32_t id : *objects) {
            auto stream = d.openObject(id);
            if (stream) drain(**stream);
        }
    return 0;
}
