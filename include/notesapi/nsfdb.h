/* Databases: open, close, version, folder contents. */
#ifndef NOTESAPI_NSFDB_H
#define NOTESAPI_NSFDB_H

#include "notesapi/global.h"

/* Code level of the software serving a database. */
typedef struct {
    DWORD MajorVersion;
    DWORD MinorVersion;
    DWORD QMRNumber;
    DWORD QMUNumber;
    DWORD HotfixNumber;
    DWORD Flags;
    DWORD FixpackNumber;
    DWORD Spare[2];
} BUILDVERSION;

#define BLDVERFLAGS_NONPRODUCTION 0x00000001

#define DB_GETIDTABLE_VALIDATE 0x00000001

NOTESAPI_STATIC_ASSERT(sizeof(BUILDVERSION) == 36, "BUILDVERSION host size");

NOTESAPI_BEGIN_DECLS

LNPUBLIC_API STATUS NSFDbOpen(const char* PathName, DBHANDLE* rethDB);
LNPUBLIC_API STATUS NSFDbClose(DBHANDLE hDB);
LNPUBLIC_API STATUS NSFDbGetMajMinVersion(DBHANDLE hDb, BUILDVERSION* retVersion);

/* An ID table of the notes a folder holds; the caller destroys it with IDDestroyTable. */
LNPUBLIC_API STATUS NSFFolderGetIDTable(DHANDLE hViewDB, DHANDLE hDataDB, NOTEID ViewNoteID, DWORD Flags,
                                        DHANDLE* hTable);

NOTESAPI_END_DECLS

#endif /* NOTESAPI_NSFDB_H */
