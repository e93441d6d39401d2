// A note's MIME body as rich text, shared by MIMEConvertMIMEPartCC and MailGetMessageBodyComposite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "notesapi/global.h"
#include "objects.h"

namespace notesrt {

struct MimeComposite {
    std::vector<std::size_t> indices;               // the TYPE_MIME_PART items read, ascending
    std::vector<std::vector<std::uint8_t>> pieces;  // CD records per item, without the type word
};

// The text of the MIME items named `name` as composite pieces. ERR_ITEM_NOT_FOUND without an item of
// that name, ERR_MISC_INVALID_ARGS when none of them is MIME, ERR_NOEXTRACT_ENCRYPTED for the sealed
// items of an encrypted note, ERR_RUNTIME_CORRUPT when not one part can be read.
STATUS mimeToComposite(const NoteObject& note, const char* name, WORD nameLength, MimeComposite& out);

}  // namespace notesrt
