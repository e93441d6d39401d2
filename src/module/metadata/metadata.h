/*
 * A note's fields as host metadata (slot 4), the synthetic "$$$TM_" fields, the item names of a note and
 * the folders that hold a note.
 */
#ifndef NSFREX_MODULE_METADATA_METADATA_H
#define NSFREX_MODULE_METADATA_METADATA_H

#include <stdint.h>

#include "nsfrex/host.h"
#include "entry/context.h"
#include "notesapi/global.h"
#include "notesapi/nsfsearch.h"

#define NSF_TM_PREFIX "$$$TM_"
#define NSF_TM_PREFIX_LENGTH 6
#define NSF_ITEM_NAMES_STEP 100
#define NSF_FOLDERS_FIRST 100
#define NSF_FOLDERS_STEP 10

/* Fills pMeta for the open note hNote: the requested names, the default mail fields (no names,
   cMetaNames >= 0) or every item (no names, cMetaNames < 0). */
NSFSTATUS nsfGetNoteMetadata(NsfContext *pContext, uint32_t dwNoteID, uint32_t hNote, int32_t cMetaNames,
                             MetaName **rgMetaNames, SubFileMetaData *pMeta, HostAllocatorRef *pAlloc);
/* Appends one element: named after pszFieldName (or pszItemName), valued with the item's text; without an
   item name the element stays empty. */
NSFSTATUS nsfGetItemMetadata(NsfContext *pContext, uint32_t dwNoteID, uint32_t hNote, const char *pszItemName,
                             const char *pszFieldName, SubFileMetaData *pMeta, HostAllocatorRef *pAlloc);
/* Appends one zeroed element to pMeta. */
NSFSTATUS nsfNewMetadataElem(NsfContext *pContext, SubFileMetaData *pMeta, HostAllocatorRef *pAlloc);
/* The value of a "$$$TM_" name into rgbBuffer / ucbBuffer (empty for an unknown one). */
NSFSTATUS nsfGetTMMetadata(NsfContext *pContext, uint32_t dwNoteID, uint32_t hNote, const char *pszName);

/* The item names of the open note, in scan order, into rgItemNames / cItemNames. */
NSFSTATUS nsfGetNoteItemNames(NsfContext *pContext, uint32_t hNote);
/* Prepares the empty name buffer rgItemNames[cItemNames]. */
NSFSTATUS nsfNewItemName(NsfContext *pContext);

/* The folders holding dwNoteID, joined by ", ", into rgbBuffer / ucbBuffer. Builds the folder table at the
   first request. */
NSFSTATUS nsfGetNoteFolders(NsfContext *pContext, uint32_t dwNoteID, uint32_t hNote);
/* The NSFSearch action routine over the view notes: one Folder per folder view. */
STATUS LNCALLBACK nsfFolderSearchCB(void *pParameter, SEARCH_MATCH *pMatch, ITEM_TABLE *pSummary);
/* Appends a zeroed Folder with room for cNoteIDs member IDs. */
NSFSTATUS nsfNewFolder(NsfContext *pContext, int32_t cNoteIDs);

#endif /* NSFREX_MODULE_METADATA_METADATA_H */
