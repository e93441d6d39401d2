/*
 * Attachments as subfiles: a $FILE object item of a note becomes an Attachment (or OLE) record right
 * behind the note's own record.
 */
#ifndef NSFREX_MODULE_CATALOGUE_ATTACHMENTS_H
#define NSFREX_MODULE_CATALOGUE_ATTACHMENTS_H

#include <stdint.h>

#include "entry/context.h"
#include "notesapi/global.h"

/* Examines one $FILE item (nAttachment: its 1-based position among the note's $FILE items) and appends its
   record when the object is a file the host should see. Returns 0 also when the item yields no record. */
NSFSTATUS nsfGetAttachSubfile(NsfContext *pContext, uint32_t hNote, uint32_t dwNoteID, int32_t nAttachment,
                              BLOCKID bhItem, BLOCKID bhValue);

#endif /* NSFREX_MODULE_CATALOGUE_ATTACHMENTS_H */
