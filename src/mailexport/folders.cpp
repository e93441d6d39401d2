#include "folders.h"

#include "note_reader.h"
#include "notesapi/idtable.h"
#include "notesapi/nsfdb.h"
#include "notesapi/nsfnote.h"
#include "notesapi/nsfsearch.h"
#include "notesapi/status.h"

namespace nsfmail {
namespace {

struct Search {
    DBHANDLE db;
    std::vector<Folder> folders;
};

STATUS LNCALLBACK folderOfView(void* parameter, SEARCH_MATCH* match, ITEM_TABLE*) {
    auto& search = *static_cast<Search*>(parameter);
    const NOTEID id = match->ID.NoteID;
    DHANDLE table = NULLHANDLE;
    const STATUS s = NSFFolderGetIDTable(search.db, search.db, id, 0, &table);
    if (s == ERR_NOTE_NOT_FOLDER)
        return NOERROR;  // a view
    if (s != NOERROR)
        return s;
    Folder folder;
    for (DWORD member = 0, first = TRUE; IDScan(table, static_cast<BOOL>(first), &member); first = FALSE)
        folder.notes.push_back(member);
    IDDestroyTable(table);
    try {
        const NoteReader view(search.db, id);
        folder.name = view.text("$TITLE");
    } catch (const NotesError&) {
        // an unreadable title leaves the folder unnamed
    }
    // "Name|Alias": the alias is for formulas, the name is what users see.
    folder.name = folder.name.substr(0, folder.name.find('|'));
    search.folders.push_back(std::move(folder));
    return NOERROR;
}

}  // namespace

std::vector<Folder> listFolders(DBHANDLE db) {
    Search search{db, {}};
    if (const STATUS s = NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_VIEW, nullptr, folderOfView, &search, nullptr);
        s != NOERROR)
        throw NotesError("NSFSearch", s);
    return std::move(search.folders);
}

}  // namespace nsfmail
