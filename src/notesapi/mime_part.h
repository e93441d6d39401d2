// The TYPE_MIME_PART items of a note: one stored part per item (delimiter line, headers, body), and
// the $FILE objects that hold the bodies too large to keep in an item.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "file_objects.h"
#include "note_access.h"
#include "notesapi/nsfdata.h"
#include "notesapi/status.h"
#include "objects.h"

namespace notesrt {

inline constexpr std::uint8_t kPartBody = 2;
inline constexpr std::uint32_t kBodyInObject = 0x4;  // the body is the name of a $FILE object

struct StoredPart {
    std::uint8_t type = 0;
    std::uint32_t flags = 0;
    std::string_view boundary;  // into the item's value block
    std::string_view headers;
    std::string_view body;
};

// The MIME_PART of a value block (type word first). The stored byte count is not trusted beyond
// the item: what the item holds after boundary and headers is the body.
std::optional<StoredPart> parsePart(const std::vector<std::uint8_t>& block);

// Calls visit(index, part) for each TYPE_MIME_PART item named `name`, in note order; `part` is empty
// for an item that does not parse. A status other than NOERROR from visit stops the walk and is
// returned. ERR_ITEM_NOT_FOUND without an item of that name, ERR_MISC_INVALID_ARGS when none is MIME,
// ERR_NOEXTRACT_ENCRYPTED for the sealed items of an encrypted note (their bytes are ciphertext).
template <typename Visit>
STATUS forEachStoredPart(const NoteObject& note, const char* name, WORD nameLength, Visit&& visit);

// The $FILE objects of a note by name, listed on first use. Bodies read through one instance total
// at most `budget` bytes, however often parts name the same object.
class PartObjects {
public:
    PartObjects(const NoteObject& note, std::size_t budget) : note_(note), budget_(budget) {}

    // The payload of the object named `name`, at most `limit` bytes; with `decode`, the object's own
    // transfer encoding (FILEFLAG ENCODE_*) undone. Empty when there is no such object; a damaged
    // object gives what could be read, and its status in *status when asked for.
    std::string body(std::string_view name, std::size_t limit, bool decode, STATUS* status = nullptr);
    // The ENCODE_* flags of the object named `name` (ENCODE_NONE when absent).
    WORD encoding(std::string_view name);

private:
    const FileObjectInfo* find(std::string_view name);

    const NoteObject& note_;
    std::size_t budget_;
    std::vector<FileObjectInfo> files_;
    bool listed_ = false;
};

template <typename Visit>
STATUS forEachStoredPart(const NoteObject& note, const char* name, WORD nameLength, Visit&& visit) {
    bool anyItem = false;
    bool anyMime = false;
    for (auto index = findItem(note, name, nameLength, 0); index; index = findItem(note, name, nameLength, *index + 1)) {
        anyItem = true;
        const NoteItem& item = note.items()[*index];
        if (item.type != TYPE_MIME_PART)
            continue;
        if ((item.flags & ITEM_SEAL) != 0 && noteIsSealed(note))
            return ERR_NOEXTRACT_ENCRYPTED;
        anyMime = true;
        if (const STATUS s = visit(*index, parsePart(*item.block)); s != NOERROR)
            return s;
    }
    return anyMime ? NOERROR : anyItem ? ERR_MISC_INVALID_ARGS : ERR_ITEM_NOT_FOUND;
}

// The Content-Transfer-Encoding of stored part headers, lower case without spaces ("" when absent).
std::string transferEncoding(std::string_view headers);

// ASCII lower case, for header names, media types and parameter names.
inline std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// `s` without the white space (and form feeds) around it.
inline std::string_view trim(std::string_view s) {
    constexpr std::string_view kSpace = " \t\r\n\f";
    const auto b = s.find_first_not_of(kSpace);
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(kSpace) - b + 1);
}

}  // namespace notesrt
