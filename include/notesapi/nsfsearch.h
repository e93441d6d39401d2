/* Enumerating the notes of a database. */
#ifndef NOTESAPI_NSFSEARCH_H
#define NOTESAPI_NSFSEARCH_H

#include "notesapi/global.h"
#include "notesapi/nsfdata.h"

#define SEARCH_ALL_VERSIONS 0x0001
#define SEARCH_SUMMARY 0x0002
#define SEARCH_FILETYPE 0x0004
#define SEARCH_NOTIFYDELETIONS 0x0010
#define SEARCH_ALLPRIVS 0x0040
#define SEARCH_SESSION_USERNAME 0x0400
#define SEARCH_NOABSTRACTS 0x1000
#define SEARCH_DATAONLY_FORMULA 0x4000

#define SE_FNOMATCH 0x00
#define SE_FMATCH 0x01
#define SE_FTRUNCATED 0x02
#define SE_FPURGED 0x04
#define SE_FNOPURGE 0x08
#define SE_FSOFTDELETED 0x10
#define SE_FNOACCESS 0x20
#define SE_FTRUNCATT 0x40
#define SE_FLARGESUMMARY 0x80

/* One search result, in host layout (56 bytes; 54 on disk). */
typedef struct {
    GLOBALINSTANCEID ID;
    ORIGINATORID OriginatorID;
    WORD NoteClass;
    BYTE SERetFlags;
    BYTE Privileges;
    WORD SummaryLength;
} SEARCH_MATCH;

NOTESAPI_STATIC_ASSERT(sizeof(SEARCH_MATCH) == 56, "SEARCH_MATCH host size");

NOTESAPI_BEGIN_DECLS

/* Called once per note found; a non-zero result stops the search and is returned by it. */
typedef STATUS(LNCALLBACKPTR NSFSEARCHPROC)(void* EnumRoutineParameter, SEARCH_MATCH* SearchMatch,
                                            ITEM_TABLE* SummaryBuffer);

/* hFormula NULLHANDLE selects every note of the classes in NoteClassMask. */
LNPUBLIC_API STATUS NSFSearch(DBHANDLE hDB, FORMULAHANDLE hFormula, char* ViewTitle, WORD SearchFlags,
                              WORD NoteClassMask, TIMEDATE* Since, NSFSEARCHPROC EnumRoutine,
                              void* EnumRoutineParameter, TIMEDATE* retUntil);

NOTESAPI_END_DECLS

#endif /* NOTESAPI_NSFSEARCH_H */
