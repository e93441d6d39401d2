/* ID tables: sorted sets of note IDs. */
#ifndef NOTESAPI_IDTABLE_H
#define NOTESAPI_IDTABLE_H

#include "notesapi/global.h"

#define IDTABLE_MODIFIED 0x0001
#define IDTABLE_INVERTED 0x0002
#define RRV_DELETED 0x80000000
#define NOTEID_RESERVED 0x80000000

NOTESAPI_BEGIN_DECLS

typedef STATUS(LNCALLBACKPTR IDENUMERATEPROC)(void* Parameter, DWORD id);

LNPUBLIC_API STATUS IDCreateTable(DWORD Alignment, DHANDLE* rethTable);
LNPUBLIC_API STATUS IDDestroyTable(DHANDLE hTable);
/* Adds id when absent; *retfInserted (may be NULL) tells whether it was added. */
LNPUBLIC_API STATUS IDInsert(DHANDLE hTable, DWORD id, BOOL* retfInserted);
LNPUBLIC_API STATUS IDDelete(DHANDLE hTable, DWORD id, BOOL* retfDeleted);
LNPUBLIC_API STATUS IDDeleteAll(DHANDLE hTable);
LNPUBLIC_API DWORD IDEntries(DHANDLE hTable);
LNPUBLIC_API BOOL IDIsPresent(DHANDLE hTable, DWORD id);
/* fFirst TRUE gives the smallest ID; FALSE the one after *retID. FALSE when there is none. */
LNPUBLIC_API BOOL IDScan(DHANDLE hTable, BOOL fFirst, DWORD* retID);
LNPUBLIC_API STATUS IDEnumerate(DHANDLE hTable, IDENUMERATEPROC Routine, void* Parameter);

NOTESAPI_END_DECLS

#endif /* NOTESAPI_IDTABLE_H */
