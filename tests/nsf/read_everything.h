// Reads everything the engine offers from a database, the way a consumer would: every note, every
// item rendered, every object drained (file objects decoded as their FILEOBJECT says), every folder,
// and the list of what could not be read.
// Shared by the damage tests, the replay of kept fuzz inputs and the fuzz target itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "nsf/database.h"
#include "nsf/ole_storage.h"
#include "nsf/values.h"

namespace nsf_test {

// Reads the stream to its end; the first `keep` bytes are returned.
inline std::vector<std::uint8_t> drainObject(nsf::ObjectStream& stream, std::size_t keep = 0) {
    std::vector<std::uint8_t> chunk(16384), kept;
    // The engine's streams end or fail; the guard only keeps a wrong stream from spinning forever.
    for (int guard = 0; guard < 1 << 16; ++guard) {
        auto got = stream.read(chunk);
        if (!got || *got == 0) break;
        const std::size_t take = std::min(*got, keep - std::min(keep, kept.size()));
        kept.insert(kept.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(take));
    }
    return kept;
}

// Returns how many notes read without error.
inline std::size_t readEverything(nsf::Database& db) {
    (void)db.info();
    std::size_t good = 0;
    auto notes = db.notes();
    if (notes)
        for (const nsf::NoteEntry& n : *notes) {
            (void)db.itemNames(n.id);
            auto note = db.readNote(n.id);
            if (!note) continue;
            ++good;
            for (const nsf::Item& item : note->items) {
                (void)nsf::renderValue(item, 80);
                if (item.type != nsf::kTypeObject) continue;
                auto obj = nsf::decodeObject(item.value);
                if (!obj) continue;
                nsf::Compression compression = nsf::Compression::None;
                std::uint64_t expected = 0;
                if (obj->file) {
                    auto known = obj->file->compression();
                    if (!known) continue;
                    compression = *known;
                    expected = obj->file->fileSize;
                }
                auto stream = db.openObject(obj->descriptor.rrv, compression, expected);
                if (!stream) continue;
                // The index of an embedded OLE object's pages.
                const bool oleIndex = obj->file && (obj->file->hostType & nsf::kHostMask) == nsf::kHostByteArrayExt;
                const auto kept = drainObject(**stream, oleIndex ? 1 << 20 : 0);
                if (oleIndex) (void)nsf::decodeByteArrayIndex(kept);
            }
            if ((n.noteClass & 0x7FFF) == 0x0008) (void)db.folderNoteIds(n.id);
        }
    auto objects = db.objectIds();
    if (objects)
        for (std::uint32_t id : *objects) {
            auto stream = db.openObject(id);
            if (stream) drainObject(**stream);
        }
    for (const nsf::Damage& d : db.damage()) (void)d.message();
    return good;
}

}  // namespace nsf_test
