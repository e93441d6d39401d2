// The notes a folder holds, as an ID table.
#include "api_guard.h"
#include "error_map.h"
#include "handles.h"
#include "notesapi/nsfdb.h"
#include "notesapi/status.h"
#include "objects.h"

using namespace notesrt;

extern "C" STATUS NSFFolderGetIDTable(DHANDLE hViewDB, DHANDLE hDataDB, NOTEID ViewNoteID, DWORD /*Flags*/,
                                      DHANDLE* hTable) {
    return guardStatus("NSFFolderGetIDTable", [&]() -> STATUS {
        if (hTable == nullptr)
            return ERR_MISC_INVALID_ARGS;
        *hTable = NULLHANDLE;
        const auto db = handles().get<DatabaseObject>(hViewDB);
        if (!db || !handles().get<DatabaseObject>(hDataDB))
            return ERR_RUNTIME_BAD_HANDLE;
        // Folders list notes of their own database only.
        if (hDataDB != hViewDB)
            return ERR_MISC_INVALID_ARGS;
        auto ids = db->withEngine([&](nsf::Database& e) -> nsf::Expected<std::vector<nsf::NoteId>> {
            // A missing note and a note that is not a folder are told apart first.
            if (auto note = e.readNote(ViewNoteID); !note)
                return std::unexpected(note.error());
            return e.folderNoteIds(ViewNoteID);
        });
        if (!ids) {
            const bool missing = ids.error().structure() != "folder";
            return toStatus(ids.error(), missing ? Operation::ReadNote : Operation::ReadFolder);
        }
        auto table = std::make_shared<IdTableObject>();
        table->ids.insert(ids->begin(), ids->end());
        *hTable = handles().add(std::move(table));
        return *hTable == NULLHANDLE ? ERR_RUNTIME_NO_MEMORY : NOERROR;
    });
}
