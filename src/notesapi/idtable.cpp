// ID tables: sorted sets of 32-bit IDs.
#include <iterator>

#include "api_guard.h"
#include "handles.h"
#include "notesapi/idtable.h"
#include "notesapi/status.h"
#include "objects.h"

using namespace notesrt;

extern "C" {

STATUS IDCreateTable(DWORD /*Alignment*/, DHANDLE* rethTable) {
    return guardStatus("IDCreateTable", [&]() -> STATUS {
        if (rethTable == nullptr)
            return ERR_MISC_INVALID_ARGS;
        *rethTable = handles().add(std::make_shared<IdTableObject>());
        return *rethTable == NULLHANDLE ? ERR_RUNTIME_NO_MEMORY : NOERROR;
    });
}

STATUS IDDestroyTable(DHANDLE hTable) {
    return guardStatus("IDDestroyTable", [&]() -> STATUS {
        return handles().remove(hTable, HandleKind::IdTable) ? NOERROR : ERR_RUNTIME_BAD_HANDLE;
    });
}

STATUS IDInsert(DHANDLE hTable, DWORD id, BOOL* retfInserted) {
    return guardStatus("IDInsert", [&]() -> STATUS {
        if (retfInserted != nullptr)
            *retfInserted = FALSE;
        const auto table = handles().get<IdTableObject>(hTable);
        if (!table)
            return ERR_RUNTIME_BAD_HANDLE;
        std::lock_guard lock(table->mutex);
        const bool inserted = table->ids.insert(id).second;
        if (inserted)
            table->flags |= IDTABLE_MODIFIED;
        if (retfInserted != nullptr)
            *retfInserted = inserted ? TRUE : FALSE;
        return NOERROR;
    });
}

STATUS IDDelete(DHANDLE hTable, DWORD id, BOOL* retfDeleted) {
    return guardStatus("IDDelete", [&]() -> STATUS {
        if (retfDeleted != nullptr)
            *retfDeleted = FALSE;
        const auto table = handles().get<IdTableObject>(hTable);
        if (!table)
            return ERR_RUNTIME_BAD_HANDLE;
        std::lock_guard lock(table->mutex);
        const bool deleted = table->ids.erase(id) > 0;
        if (deleted)
            table->flags |= IDTABLE_MODIFIED;
        if (retfDeleted != nullptr)
            *retfDeleted = deleted ? TRUE : FALSE;
        return NOERROR;
    });
}

STATUS IDDeleteAll(DHANDLE hTable) {
    return guardStatus("IDDeleteAll", [&]() -> STATUS {
        const auto table = handles().get<IdTableObject>(hTable);
        if (!table)
            return ERR_RUNTIME_BAD_HANDLE;
        std::lock_guard lock(table->mutex);
        if (!table->ids.empty())
            table->flags |= IDTABLE_MODIFIED;
        table->ids.clear();
        return NOERROR;
    });
}

DWORD IDEntries(DHANDLE hTable) {
    return guardValue<DWORD>("IDEntries", 0, [&]() -> DWORD {
        const auto table = handles().get<IdTableObject>(hTable);
        if (!table)
            return 0;
        std::lock_guard lock(table->mutex);
        return static_cast<DWORD>(table->ids.size());
    });
}

BOOL IDIsPresent(DHANDLE hTable, DWORD id) {
    return guardValue<BOOL>("IDIsPresent", FALSE, [&]() -> BOOL {
        const auto table = handles().get<IdTableObject>(hTable);
        if (!table)
            return FALSE;
        std::lock_guard lock(table->mutex);
        return table->ids.contains(id) ? TRUE : FALSE;
    });
}

BOOL IDScan(DHANDLE hTable, BOOL fFirst, DWORD* retID) {
    return guardValue<BOOL>("IDScan", FALSE, [&]() -> BOOL {
        if (retID == nullptr)
            return FALSE;
        const auto table = handles().get<IdTableObject>(hTable);
        if (!table)
            return FALSE;
        std::lock_guard lock(table->mutex);
        // The next ID is found from the caller's previous one, so the table may change between
        // calls without invalidating anything.
        const auto it = fFirst ? table->ids.begin() : table->ids.upper_bound(*retID);
        if (it == table->ids.end())
            return FALSE;
        *retID = *it;
        return TRUE;
    });
}

STATUS IDEnumerate(DHANDLE hTable, IDENUMERATEPROC Routine, void* Parameter) {
    return guardStatus("IDEnumerate", [&]() -> STATUS {
        if (Routine == nullptr)
            return ERR_MISC_INVALID_ARGS;
        const auto table = handles().get<IdTableObject>(hTable);
        if (!table)
            return ERR_RUNTIME_BAD_HANDLE;
        std::vector<DWORD> snapshot;  // the callback may change the table
        {
            std::lock_guard lock(table->mutex);
            snapshot.assign(table->ids.begin(), table->ids.end());
        }
        for (const DWORD id : snapshot) {
            if (const STATUS s = Routine(Parameter, id); s != NOERROR)
                return s;
        }
        return NOERROR;
    });
}

}  // extern "C"
