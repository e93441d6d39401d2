// Shared helpers for the note and item entry points.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "notesapi/global.h"
#include "notesapi/nsfdata.h"
#include "objects.h"

namespace notesrt {

// The engine's stored forms in the API's structures.
inline TIMEDATE toTimeDate(const nsf::TimeDate& t) noexcept { return TIMEDATE{{t.innards0, t.innards1}}; }
inline ORIGINATORID toOriginatorId(const nsf::OriginatorId& o) noexcept {
    ORIGINATORID oid{};
    oid.File.Innards[0] = o.file[0];
    oid.File.Innards[1] = o.file[1];
    oid.Note = toTimeDate(o.note);
    oid.Sequence = o.sequence;
    oid.SequenceTime = toTimeDate(o.sequenceTime);
    return oid;
}

// The open note behind a handle, or nullptr.
std::shared_ptr<NoteObject> findNote(NOTEHANDLE h);

// True when the note is encrypted (it carries seal items).
bool noteIsSealed(const NoteObject& note);

// Index of the first item at or after `from` whose name matches (any name when name is null).
std::optional<std::size_t> findItem(const NoteObject& note, const char* name, WORD nameLength, std::size_t from);

// Item header and value BLOCKIDs of item `index`.
BLOCKID itemHeaderBlock(const NoteObject& note, std::size_t index) noexcept;
BLOCKID itemValueBlock(const NoteObject& note, std::size_t index) noexcept;
// The item index a header BLOCKID of this note designates.
std::optional<std::size_t> itemIndexOf(const NoteObject& note, BLOCKID header) noexcept;

}  // namespace notesrt
