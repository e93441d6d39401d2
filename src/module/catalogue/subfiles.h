/*
 * The subfile table: the notes and attachments of the database as the host's subfiles, in ascending note
 * ID order, each note's attachments right behind it, optionally behind a root folder record.
 */
#ifndef NSFREX_MODULE_CATALOGUE_SUBFILES_H
#define NSFREX_MODULE_CATALOGUE_SUBFILES_H

#include <stdint.h>

#include "entry/context.h"

/* Host subfile types. */
#define TMSubFileType_Main 0
#define TMSubFileType_Attachment 1
#define TMSubFileType_OLE 2
#define TMSubFileType_Folder 3
#define TMSubFileType_Picture 4

/* One mail header field: the item and the label of its header line. */
typedef struct MailHeader {
    const char *pszItemName;
    const char *pszLabel;
} MailHeader;

/* The mail header fields in header order; the last entry holds two nulls. Rows 3 and 4 have an empty item
   name (row 3 stands for the AltSentField option). */
extern const MailHeader MailHeaderTable[];

/* Builds rgSubFiles (and, first, the image catalogue) from the open database. */
NSFSTATUS nsfInitSubfiles(NsfContext *pContext);
/* Opens one note, appends its record (when it is a subfile) and its attachment records, closes it. */
NSFSTATUS nsfGetNoteSubfiles(NsfContext *pContext, uint32_t dwNoteID);
/* Classifies an open note and appends its record; *pbIsSubfile is 1 when a record was appended. */
NSFSTATUS nsfGetNoteSubfile(NsfContext *pContext, uint32_t hNote, uint32_t dwNoteID, uint8_t *pbIsSubfile);
/* Appends a zero-filled record with nSubFile set at index cSubFiles. */
NSFSTATUS nsfNewSubFile(NsfContext *pContext);

#endif /* NSFREX_MODULE_CATALOGUE_SUBFILES_H */
