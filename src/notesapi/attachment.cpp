// Extracting attached files: to a path or streamed to a callback.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "api_guard.h"
#include "error_map.h"
#include "file_objects.h"
#include "note_access.h"
#include "notesapi/nsfnote.h"
#include "notesapi/status.h"
#include "nsf/lmbcs.h"
#include "objects.h"

namespace notesrt {
namespace {

std::uint32_t le32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24); }
WORD le16(const std::uint8_t* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

}  // namespace

STATUS fileObjectOf(const NoteObject& note, std::size_t index, FileObjectInfo& out) {
    const NoteItem& item = note.items()[index];
    if ((item.flags & ITEM_SEAL) != 0 && noteIsSealed(note))
        return ERR_NOEXTRACT_ENCRYPTED;  // this runtime holds no keys
    const std::vector<std::uint8_t>& block = *item.block;
    constexpr std::size_t kFileObjectSize = 36;
    if (item.type != TYPE_OBJECT || block.size() < 2 + kFileObjectSize)
        return ERR_INVALID_ITEMUNK;
    const std::uint8_t* f = block.data() + 2;
    if ((le16(f) & ~(OBJECT_NO_COPY | OBJECT_PRESERVE | OBJECT_PUBLIC)) != OBJECT_FILE)
        return ERR_INVALID_ITEMUNK;
    out.rrv = le32(f + 2);
    const std::size_t nameLength = std::min<std::size_t>(le16(f + 6), block.size() - 2 - kFileObjectSize);
    out.hostType = le16(f + 8);
    const WORD compression = le16(f + 10) & COMPRESS_MASK;
    if (compression > COMPRESS_RECOMPRESS_HUFF)
        return ERR_ENCODING;
    out.compression = static_cast<nsf::Compression>(compression);
    out.flags = le16(f + 14);
    out.fileSize = le32(f + 16);
    out.name.assign(reinterpret_cast<const char*>(f + kFileObjectSize), nameLength);
    return NOERROR;
}

STATUS fileObjectOf(const NoteObject& note, BLOCKID bhItem, FileObjectInfo& out) {
    const auto index = itemIndexOf(note, bhItem);
    return index ? fileObjectOf(note, *index, out) : ERR_RUNTIME_BAD_HANDLE;
}

STATUS streamObject(const NoteObject& note, const FileObjectInfo& info,
                    const ByteSink& sink) {
    return note.database()->withEngine([&](nsf::Database& e) -> STATUS {
        auto stream = e.openObject(info.rrv, info.compression, info.fileSize);
        if (!stream)
            return toStatus(stream.error(), Operation::ReadObject);
        std::vector<std::uint8_t> chunk(64 * 1024);
        for (;;) {
            auto n = (*stream)->read(chunk);
            if (!n)
                return toStatus(n.error(), Operation::ReadObject);
            if (*n == 0)
                return NOERROR;
            if (const STATUS s = sink(chunk.data(), static_cast<DWORD>(*n)); s != NOERROR)
                return s;
        }
    });
}

namespace {

// The open note and the checked FILEOBJECT of one of its $FILE items (header BLOCKID).
STATUS attachmentOf(NOTEHANDLE hNote, BLOCKID bhItem, std::shared_ptr<NoteObject>& note, FileObjectInfo& info) {
    note = findNote(hNote);
    return note ? fileObjectOf(*note, bhItem, info) : ERR_RUNTIME_BAD_HANDLE;
}

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

}  // namespace

STATUS writeFile(const char* fileName, bool overwrite, const std::function<STATUS(const ByteSink&)>& produce) {
    // The name is LMBCS; the file system takes UTF-8.
    const std::string path =
        nsf::lmbcsToUtf8(nsf::Bytes(reinterpret_cast<const std::uint8_t*>(fileName), std::strlen(fileName)));
    std::error_code ec;
    const bool existed = std::filesystem::exists(path, ec);
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(path.c_str(), overwrite ? "wb" : "wbx"));
    if (!out)
        return ERR_RUNTIME_IO;
    // No partial content. A file the caller made beforehand (a temporary file it will delete itself)
    // is emptied, not removed: removing it would make the caller's own clean-up fail.
    const auto discard = [&] {
        if (existed)
            std::filesystem::resize_file(path, 0, ec);
        else
            std::filesystem::remove(path, ec);
    };
    STATUS status = ERR_RUNTIME_IO;
    try {
        status = produce([&](const BYTE* bytes, DWORD length) -> STATUS {
            return std::fwrite(bytes, 1, length, out.get()) == length ? NOERROR : ERR_RUNTIME_IO;
        });
    } catch (...) {
        out.reset();
        discard();
        throw;  // the API guard turns it into a status
    }
    if (std::fclose(out.release()) != 0 && status == NOERROR)
        status = ERR_RUNTIME_IO;
    if (status != NOERROR)
        discard();
    return status;
}

}  // namespace notesrt

using namespace notesrt;

extern "C" {

STATUS NSFNoteExtractWithCallback(NOTEHANDLE hNote, BLOCKID bhItem, ENCRYPTION_KEY* /*DecryptionKey*/, WORD wFlags,
                                  NOTEEXTRACTCALLBACK pNoteExtractCallback, void* pParam) {
    return guardStatus("NSFNoteExtractWithCallback", [&]() -> STATUS {
        if (pNoteExtractCallback == nullptr)
            return ERR_MISC_INVALID_ARGS;
        if ((wFlags & (NTEXT_RESONLY | NTEXT_FTYPE_MASK | NTEXT_RAWMIME)) != 0)
            return ERR_RUNTIME_NOT_IMPLEMENTED;
        std::shared_ptr<NoteObject> note;
        FileObjectInfo info;
        if (const STATUS s = attachmentOf(hNote, bhItem, note, info); s != NOERROR)
            return s;
        return streamObject(*note, info, [&](const BYTE* bytes, DWORD length) {
            return pNoteExtractCallback(bytes, length, pParam);
        });
    });
}

STATUS NSFNoteExtractFile(NOTEHANDLE hNote, BLOCKID bhItem, const char* FileName, ENCRYPTION_KEY* /*DecryptionKey*/) {
    return guardStatus("NSFNoteExtractFile", [&]() -> STATUS {
        if (FileName == nullptr || *FileName == '\0')
            return ERR_MISC_INVALID_ARGS;
        // Checked before the file is created, so a refused extraction leaves nothing behind.
        std::shared_ptr<NoteObject> note;
        FileObjectInfo info;
        if (const STATUS s = attachmentOf(hNote, bhItem, note, info); s != NOERROR)
            return s;
        return writeFile(FileName, true, [&](const ByteSink& sink) { return streamObject(*note, info, sink); });
    });
}

}  // extern "C"
