// NSFSearch without formulas: every note of the requested classes, in ascending note ID order.
#include "api_guard.h"
#include "error_map.h"
#include "handles.h"
#include "note_access.h"
#include "notesapi/nsfnote.h"
#include "notesapi/nsfsearch.h"
#include "notesapi/status.h"
#include "objects.h"

using namespace notesrt;

extern "C" STATUS NSFSearch(DBHANDLE hDB, FORMULAHANDLE hFormula, char* /*ViewTitle*/, WORD SearchFlags,
                            WORD NoteClassMask, TIMEDATE* Since, NSFSEARCHPROC EnumRoutine,
                            void* EnumRoutineParameter, TIMEDATE* retUntil) {
    return guardStatus("NSFSearch", [&]() -> STATUS {
        if (EnumRoutine == nullptr)
            return ERR_MISC_INVALID_ARGS;
        const auto db = handles().get<DatabaseObject>(hDB);
        if (!db)
            return ERR_RUNTIME_BAD_HANDLE;
        // Formulas, summaries, incremental searches and directory listings are not provided.
        if (hFormula != NULLHANDLE || Since != nullptr ||
            (SearchFlags & (SEARCH_SUMMARY | SEARCH_FILETYPE)) != 0)
            return ERR_RUNTIME_NOT_IMPLEMENTED;
        if (retUntil != nullptr)
            *retUntil = TIMEDATE{};

        DBID dbid{};
        auto entries = db->withEngine([&dbid](nsf::Database& e) {
            const auto& id = e.info().databaseId;
            dbid.Innards[0] = nsf::loadLE<std::uint32_t>(id.data());
            dbid.Innards[1] = nsf::loadLE<std::uint32_t>(id.data() + 4);
            return e.notes();
        });
        if (!entries)
            return toStatus(entries.error(), Operation::Other);

        const WORD mask = NoteClassMask & NOTE_CLASS_ALL;
        for (const nsf::NoteEntry& entry : *entries) {
            // Deletion stubs are never delivered: they are not notes a caller can open.
            if (entry.deleted || (entry.noteClass & mask) == 0)
                continue;
            // Everything comes from the note table and the fixed note headers it reaches; no item
            // is read.
            SEARCH_MATCH match{};
            match.ID.File = dbid;
            match.ID.Note = toTimeDate(entry.modified);
            match.ID.NoteID = entry.id;
            match.OriginatorID = toOriginatorId(entry.oid);
            match.NoteClass = entry.noteClass & static_cast<WORD>(~NOTE_CLASS_DEFAULT);
            match.SERetFlags = SE_FMATCH;
            if (const STATUS s = EnumRoutine(EnumRoutineParameter, &match, nullptr); s != NOERROR)
                return s;
        }
        return NOERROR;
    });
}
