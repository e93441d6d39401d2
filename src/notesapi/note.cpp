// Opening, closing and describing notes.
#include <algorithm>
#include <cstring>

#include "api_guard.h"
#include "current_id.h"
#include "error_map.h"
#include "handles.h"
#include "note_access.h"
#include "notesapi/nsfnote.h"
#include "notesapi/status.h"
#include "nsf/lmbcs.h"
#include "nsf/test_seal.h"
#include "objects.h"

namespace notesrt {
namespace {

constexpr WORD kPublishedItemFlags = ITEM_SIGN | ITEM_SEAL | ITEM_SUMMARY | ITEM_READWRITERS | ITEM_NAMES |
                                     ITEM_PLACEHOLDER | ITEM_PROTECTED | ITEM_READERS | ITEM_UNCHANGED;
// Item header BLOCKIDs number items from 1 in a 16-bit block field.
constexpr std::size_t kMaxItems = 0xFFFE;

void putWord(std::vector<std::uint8_t>& out, WORD w) {
    out.push_back(static_cast<std::uint8_t>(w & 0xFF));
    out.push_back(static_cast<std::uint8_t>(w >> 8));
}

// Type word, then the value. With OPEN_EXPAND a single text, number or time becomes a one-entry
// list of its kind.
ValueBlock makeValueBlock(const nsf::Item& item, DWORD openFlags, WORD& type) {
    auto block = std::make_shared<std::vector<std::uint8_t>>();
    block->reserve(item.value.size() + 8);
    type = item.type;
    const bool expand = (openFlags & OPEN_EXPAND) != 0;
    if (expand && type == TYPE_TEXT && item.value.size() <= MAXWORD) {
        type = TYPE_TEXT_LIST;
        putWord(*block, type);
        putWord(*block, 1);
        putWord(*block, static_cast<WORD>(item.value.size()));
    } else if (expand && (type == TYPE_NUMBER || type == TYPE_TIME)) {
        type = type == TYPE_NUMBER ? TYPE_NUMBER_RANGE : TYPE_TIME_RANGE;
        putWord(*block, type);
        putWord(*block, 1);
        putWord(*block, 0);
    } else {
        putWord(*block, type);
    }
    // Values of every type are little-endian on disk, like the host: the computable types need
    // no conversion and the others stay canonical, as callers expect.
    block->insert(block->end(), item.value.begin(), item.value.end());
    return block;
}

bool addNoteItem(NoteObject& note, const nsf::Item& item) {
    NoteItem out;
    out.nameUtf8 = item.name;
    out.nameLmbcs = nsf::utf8ToLmbcs(item.name);
    out.flags = item.flags & kPublishedItemFlags;
    out.block = makeValueBlock(item, note.openFlags(), out.type);
    return note.addItem(std::move(out));
}

// The note's seal in the test format, as the engine item it was read from.
std::optional<nsf::Item> testSealOf(const NoteObject& note) {
    for (const NoteItem& item : note.items()) {
        if (item.type != TYPE_SEAL || item.block->size() < 2)
            continue;
        nsf::Item seal{item.nameUtf8, item.type, item.flags, 0, {item.block->begin() + 2, item.block->end()}};
        if (nsf::test_seal::isTestSeal(seal))
            return seal;
    }
    return std::nullopt;
}

// Opens a test-sealed note with the current ID's keys: its held items join the item list, after the
// others, so that BLOCKIDs handed out before stay valid.
STATUS decryptTestSealed(NoteObject& note, const nsf::Item& seal) {
    const auto id = currentId();
    if (!id)
        return ERR_NOT_SEALED_FOR_YOU;
    const auto opened = nsf::test_seal::open(seal, id->keys);
    if (!opened)
        return ERR_NOT_SEALED_FOR_YOU;
    if (note.items().size() + note.heldItems().size() > kMaxItems)
        return ERR_RUNTIME_TOO_LARGE;
    std::vector<nsf::Item> held = std::move(note.heldItems());
    note.heldItems().clear();
    nsf::test_seal::decipher(held, *opened);
    for (const nsf::Item& item : held)
        if (!addNoteItem(note, item))
            return ERR_RUNTIME_NO_MEMORY;
    note.finishItems();
    note.setDecrypted();
    return NOERROR;
}

}  // namespace

std::shared_ptr<NoteObject> findNote(NOTEHANDLE h) { return handles().get<NoteObject>(h); }

bool noteIsSealed(const NoteObject& note) {
    return !note.decrypted() && note.carriesSeal();
}

}  // namespace notesrt

using namespace notesrt;

extern "C" {

STATUS NSFNoteOpenExt(DBHANDLE hDB, NOTEID NoteID, DWORD flags, NOTEHANDLE* rethNote) {
    return guardStatus("NSFNoteOpenExt", [&]() -> STATUS {
        if (rethNote == nullptr)
            return ERR_MISC_INVALID_ARGS;
        *rethNote = NULLHANDLE;
        auto db = handles().get<DatabaseObject>(hDB);
        if (!db)
            return ERR_RUNTIME_BAD_HANDLE;
        auto read = db->withEngine([&](nsf::Database& e) { return e.readNote(NoteID); });
        if (!read)
            return toStatus(read.error(), Operation::ReadNote);
        if (read->items.size() > kMaxItems)
            return ERR_RUNTIME_TOO_LARGE;

        auto note = std::make_shared<NoteObject>(db, hDB, read->header, flags);
        const bool testSealed = nsf::test_seal::findSeal(read->items).has_value();
        for (nsf::Item& item : read->items) {
            if ((flags & OPEN_SUMMARY) != 0 && (item.flags & nsf::kItemSummary) == 0)
                continue;
            if (testSealed && item.sealed() && !nsf::test_seal::isTestSeal(item)) {
                note->heldItems().push_back(std::move(item));
                continue;
            }
            if (!addNoteItem(*note, item))
                return ERR_RUNTIME_NO_MEMORY;  // the note's destructor releases what was added
        }
        note->finishItems();
        const NOTEHANDLE h = handles().add(note);
        if (h == NULLHANDLE)
            return ERR_RUNTIME_NO_MEMORY;
        note->setHandle(h);
        *rethNote = h;
        return NOERROR;
    });
}

STATUS NSFNoteClose(NOTEHANDLE hNote) {
    return guardStatus("NSFNoteClose", [&]() -> STATUS {
        return handles().remove(hNote, HandleKind::Note) ? NOERROR : ERR_RUNTIME_BAD_HANDLE;
    });
}

void NSFNoteGetInfo(NOTEHANDLE hNote, WORD Type, void* Value) {
    guardVoid("NSFNoteGetInfo", [&] {
        const auto note = findNote(hNote);
        if (!note || Value == nullptr)
            return;
        const nsf::NoteHeader& h = note->header();
        auto put = [Value](const auto& v) { std::memcpy(Value, &v, sizeof v); };
        auto timeDate = toTimeDate;
        switch (Type) {
        case _NOTE_DB:
        case _NOTE_OBJSTORE_DB: put(DBHANDLE{note->dbHandle()}); break;
        case _NOTE_ID: put(NOTEID{h.id}); break;
        case _NOTE_OID: put(toOriginatorId(h.oid)); break;
        case _NOTE_CLASS: put(WORD{h.noteClass}); break;
        case _NOTE_MODIFIED: put(timeDate(h.modified)); break;
        case _NOTE_ACCESSED: put(timeDate(h.accessed)); break;
        case _NOTE_ADDED_TO_FILE: put(timeDate(h.added)); break;
        case _NOTE_PRIVILEGES: put(WORD{0}); break;
        case _NOTE_FLAGS: put(WORD{NOTE_FLAG_READONLY}); break;  // nothing is ever written back
        case _NOTE_PARENT_NOTEID: put(NOTEID{h.parent}); break;
        case _NOTE_RESPONSE_COUNT: put(DWORD{h.responseCount}); break;
        case _NOTE_RESPONSES: put(DHANDLE{NULLHANDLE}); break;
        default: break;  // unknown selector: Value is left as it was
        }
    });
}

STATUS NSFNoteDecrypt(NOTEHANDLE hNote, WORD /*DecryptFlags*/, ENCRYPTION_KEY* retKeyForAttachments) {
    return guardStatus("NSFNoteDecrypt", [&]() -> STATUS {
        if (retKeyForAttachments != nullptr)
            *retKeyForAttachments = ENCRYPTION_KEY{};
        const auto note = findNote(hNote);
        if (!note)
            return ERR_RUNTIME_BAD_HANDLE;
        if (note->decrypted())
            return NOERROR;
        // ITEM_SEAL only marks an item as one to encrypt when the note is; an encrypted note
        // carries its seal items.
        if (!noteIsSealed(*note))
            return ERR_NOTE_NOT_SEALED;
        // Notes sealed by Notes itself cannot be opened here: their keys are not known.
        const auto seal = testSealOf(*note);
        return seal ? decryptTestSealed(*note, *seal) : ERR_NOT_SEALED_FOR_YOU;
    });
}

}  // extern "C"

namespace {

BOOL hasItemOfType(NOTEHANDLE hNote, const char* function, std::initializer_list<WORD> types) {
    return guardValue<BOOL>(function, FALSE, [&]() -> BOOL {
        const auto note = findNote(hNote);
        if (!note)
            return FALSE;
        return std::ranges::any_of(note->items(), [&](const NoteItem& item) {
            return std::ranges::find(types, item.type) != types.end();
        }) ? TRUE : FALSE;
    });
}

}  // namespace

extern "C" {

BOOL NSFNoteHasComposite(NOTEHANDLE hNote) {
    return hasItemOfType(hNote, "NSFNoteHasComposite", {TYPE_COMPOSITE});
}
BOOL NSFNoteHasMIME(NOTEHANDLE hNote) {
    return hasItemOfType(hNote, "NSFNoteHasMIME", {TYPE_MIME_PART, TYPE_RFC822_TEXT});
}
BOOL NSFNoteHasMIMEPart(NOTEHANDLE hNote) {
    return hasItemOfType(hNote, "NSFNoteHasMIMEPart", {TYPE_MIME_PART});
}
BOOL NSFNoteHasRFC822Text(NOTEHANDLE hNote) {
    return hasItemOfType(hNote, "NSFNoteHasRFC822Text", {TYPE_RFC822_TEXT});
}

}  // extern "C"
