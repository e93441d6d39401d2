// $FILE items of an open note: their FILEOBJECT and their decoded payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "notesapi/global.h"
#include "nsf/database.h"
#include "objects.h"

namespace notesrt {

using ByteSink = std::function<STATUS(const BYTE*, DWORD)>;

struct FileObjectInfo {
    std::uint32_t rrv = 0;
    WORD hostType = 0;
    nsf::Compression compression = nsf::Compression::None;
    std::uint32_t fileSize = 0;
    WORD flags = 0;    // FILEFLAG_*, with the ENCODE_* transfer encoding of a MIME part body
    std::string name;  // LMBCS, as stored
};

// The checked FILEOBJECT of item `index` (or of the item a header BLOCKID names): ERR_INVALID_ITEMUNK
// for an item that is not a file object, ERR_NOEXTRACT_ENCRYPTED for one of an encrypted note.
STATUS fileObjectOf(const NoteObject& note, std::size_t index, FileObjectInfo& out);
STATUS fileObjectOf(const NoteObject& note, BLOCKID bhItem, FileObjectInfo& out);

// Streams the decoded payload to `sink` in chunks; a non-zero status from the sink stops and is returned.
STATUS streamObject(const NoteObject& note, const FileObjectInfo& info, const ByteSink& sink);

// Creates the file named by the LMBCS path (failing with ERR_RUNTIME_IO when it exists and `overwrite`
// is false, or cannot be written) and hands `produce` a sink that appends to it. On any failure the
// file is removed: no partial files.
STATUS writeFile(const char* fileName, bool overwrite, const std::function<STATUS(const ByteSink&)>& produce);

}  // namespace notesrt
