// Embedded OLE objects to a file (NSFNoteExtractOLE2Object). The object's master $FILE (host type
// BYTEARRAY_EXT) lists its pages, $FILE objects of host type BYTEARRAY_PAGE of the same note; the
// pages' payloads, concatenated in that order, are the object's OLE2 compound file.
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "api_guard.h"
#include "error_map.h"
#include "file_objects.h"
#include "note_access.h"
#include "notesapi/nsfnote.h"
#include "notesapi/status.h"
#include "nsf/ole_storage.h"

namespace notesrt {
namespace {

// The master index is a few dozen bytes per page; anything larger is not an index.
constexpr std::uint32_t kMaxIndexSize = 1u << 20;

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string folded(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The note's $FILE objects of one host type by name, ASCII case ignored, gathered in one pass: a
// lookup per name would cost names times items. The first object of a name counts; a $FILE item
// that cannot be used answers, with its status, for every name not found before it.
class FileObjects {
public:
    FileObjects(const NoteObject& note, WORD host) {
        for (std::size_t i = 0; i < note.items().size(); ++i) {
            const NoteItem& item = note.items()[i];
            if (item.type != TYPE_OBJECT || !sameName(item.nameUtf8, "$FILE"))
                continue;
            FileObjectInfo info;
            const STATUS s = fileObjectOf(note, i, info);
            if (s == ERR_INVALID_ITEMUNK)
                continue;  // another kind of object under $FILE
            if (s != NOERROR) {
                missing_ = s;
                return;
            }
            if ((info.hostType & nsf::kHostMask) == host)
                objects_.try_emplace(folded(info.name), std::move(info));
        }
    }
    STATUS find(std::string_view name, FileObjectInfo& out) const {
        const auto found = objects_.find(folded(name));
        if (found == objects_.end())
            return missing_;
        out = found->second;
        return NOERROR;
    }

private:
    std::map<std::string, FileObjectInfo, std::less<>> objects_;
    STATUS missing_ = ERR_ITEM_NOT_FOUND;
};

STATUS readIndex(const NoteObject& note, const FileObjectInfo& master, nsf::ByteArrayIndex& out) {
    if (master.fileSize > kMaxIndexSize)
        return ERR_RUNTIME_CORRUPT;
    std::vector<std::uint8_t> bytes;
    const STATUS s = streamObject(note, master, [&](const BYTE* data, DWORD length) -> STATUS {
        if (bytes.size() + length > kMaxIndexSize)
            return ERR_RUNTIME_CORRUPT;
        bytes.insert(bytes.end(), data, data + length);
        return NOERROR;
    });
    if (s != NOERROR)
        return s;
    auto index = nsf::decodeByteArrayIndex(bytes);
    if (!index)
        return toStatus(index.error(), Operation::ReadObject);
    out = std::move(*index);
    return NOERROR;
}

}  // namespace
}  // namespace notesrt

using namespace notesrt;

extern "C" STATUS NSFNoteExtractOLE2Object(NOTEHANDLE hNote, const char* pszObjectName, const char* pszFileName,
                                           ENCRYPTION_KEY* /*pEncryptionKey*/, BOOL fOverwrite, DWORD dwFlags) {
    return guardStatus("NSFNoteExtractOLE2Object", [&]() -> STATUS {
        const auto note = findNote(hNote);
        if (!note)
            return ERR_RUNTIME_BAD_HANDLE;
        if (pszObjectName == nullptr || *pszObjectName == '\0' || pszFileName == nullptr || *pszFileName == '\0' ||
            dwFlags != 0)
            return ERR_MISC_INVALID_ARGS;

        // Everything is found and checked before the file is created, so a refused extraction
        // leaves nothing behind.
        FileObjectInfo master;
        if (const STATUS s = FileObjects(*note, nsf::kHostByteArrayExt).find(pszObjectName, master); s != NOERROR)
            return s;
        nsf::ByteArrayIndex index;
        if (const STATUS s = readIndex(*note, master, index); s != NOERROR)
            return s;
        // Each page once: an index naming one page over and over would write it without end.
        std::vector<FileObjectInfo> pages(index.pageNames.size());
        const FileObjects pageObjects(*note, nsf::kHostByteArrayPage);
        std::set<std::uint32_t> pageRrvs;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (const STATUS s = pageObjects.find(index.pageNames[i], pages[i]); s != NOERROR)
                return s;
            if (!pageRrvs.insert(pages[i].rrv).second)
                return ERR_RUNTIME_CORRUPT;
        }

        return writeFile(pszFileName, fOverwrite != FALSE, [&](const ByteSink& sink) -> STATUS {
            for (const FileObjectInfo& page : pages)
                if (const STATUS s = streamObject(*note, page, sink); s != NOERROR)
                    return s;
            return NOERROR;
        });
    });
}
