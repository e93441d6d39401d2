/*
 * The host's descriptions of the container (slot 2) and of each subfile (slot 3): sizes, names, parents
 * and children derived from the order of the subfile table.
 */
#ifndef NSFREX_MODULE_CATALOGUE_INFO_H
#define NSFREX_MODULE_CATALOGUE_INFO_H

#include <stdint.h>

#include "nsfrex/host.h"
#include "entry/context.h"

/* The name after "TMSubFileType_" of a host subfile type; "Unknown" for other values. */
const char *nsfSubFileTypeName(int32_t nSubFileType);

/* A note: no extraction flag, parent (root or none), its attachments as children, "<name8>_tm<n>.<ext>". */
NSFSTATUS nsfGetMainFileInfo(NsfContext *pContext, SubFile *pSubFile, SubFileInfo *pInfo, HostAllocatorRef *pAlloc);
/* An attachment or embedded object: the note before it as parent, its file name. */
NSFSTATUS nsfGetAttachInfo(NsfContext *pContext, SubFile *pSubFile, SubFileInfo *pInfo, HostAllocatorRef *pAlloc);
/* The root folder: no parent, the notes up to the next folder record as children. */
NSFSTATUS nsfGetFolderInfo(NsfContext *pContext, SubFile *pSubFile, SubFileInfo *pInfo, HostAllocatorRef *pAlloc);

#endif /* NSFREX_MODULE_CATALOGUE_INFO_H */
