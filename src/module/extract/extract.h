/*
 * Extraction of subfiles to host streams.
 *
 * The dispatcher (slots 5 and 7, declared in entry/entry.h) opens and decrypts the note that holds the
 * subfile and hands it to the attachment extractor (attachment and OLE subfiles, copied through a
 * temporary file) or to the note exporter (notes: DXL, a dump of every field, or the mail rendering).
 */
#ifndef NSFREX_MODULE_EXTRACT_EXTRACT_H
#define NSFREX_MODULE_EXTRACT_EXTRACT_H

#include <stdint.h>

#include "nsfrex/host.h"
#include "entry/context.h"
#include "notesapi/global.h"
#include "notesapi/nsfnote.h"

#define NSF_OPEN_NOTE_FLAGS 0x03000000u    /* MIME items stay raw MIME parts; read as text later */
#define NSF_TEMP_PATH_SIZE 260u
#define NSF_LABEL_PART_MAX 271u            /* label part of one field entry, in bytes */

/* The MHT boundary and its delimiter line (two more hyphens in front). */
#define NSF_MHT_BOUNDARY "----=_NextPart_000_0004_01CB58DD.164505B0"
#define NSF_MHT_DELIMITER "------=_NextPart_000_0004_01CB58DD.164505B0"

/* ---- Attachments ---- */

/* Writes an attachment (type 1) or OLE (type 2) subfile of the open note to pIO: the Notes API writes it
   to a temporary file, which is copied through the main buffer and deleted on every path. */
NSFSTATUS nsfExtractFile(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, ENCRYPTION_KEY *pKey,
                         IOobj64 *pIO);

/* ---- Notes ---- */

/* Opens pIO, writes the note as DXL, as a field dump or as mail text, and closes pIO. */
NSFSTATUS nsfExtractNote(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, IOobj64 *pIO,
                         SubFileExtractInfo *pExtract);
/* The whole note through the Notes DXL exporter. */
NSFSTATUS nsfExtractNoteDXL(NsfContext *pContext, uint32_t hNote, IOobj64 *pIO);
/* The exporter's write routine: the bytes go to the IOobj64 given as action parameter. */
void LNCALLBACK nsfDXLExportCB(const BYTE *pbBuffer, DWORD dwLength, void *pAction);
/* Every item of the note as "name: text" lines. */
NSFSTATUS nsfExtractAllFields(NsfContext *pContext, uint32_t hNote, IOobj64 *pIO);
/* Writes the label part (plain "label: " or HTML "<B>label: </B>") and then the main buffer as value,
   escaped and followed by "<BR>" in HTML, ended by CR LF. An empty plain value writes nothing more. */
NSFSTATUS nsfExtractField(NsfContext *pContext, uint32_t hNote, const char *pszLabel, IOobj64 *pIO, uint8_t bHTML);

/* ---- Mail ---- */

/* A mail note (or the body of any note): header rows unless excluded, then the body. */
NSFSTATUS nsfExtractMailFields(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, IOobj64 *pIO,
                               uint8_t bFormatted, uint8_t bExcludeHeader);
/* The header rows of the mail header table that have a value. */
NSFSTATUS nsfExtractMailHeader(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, IOobj64 *pIO,
                               uint8_t bFormatted);
/* Plain: the "Body" text, after a blank line. Formatted: the converted body (an empty page without a
   "Body" item) and, for a mail with a logo, the logo part and the closing delimiter. */
NSFSTATUS nsfExtractMailBody(NsfContext *pContext, SubFile *pSubFile, uint32_t hNote, IOobj64 *pIO,
                             uint8_t bFormatted);
/* The note's body as a composite value (type word first) in the main buffer, written by the Notes API
   to a temporary file that is removed on every path; a MIME body is converted to composite data first. */
NSFSTATUS nsfGetBodyComposite(NsfContext *pContext, uint32_t hNote);

/* Writes cb bytes to the host stream; true on success. */
bool nsfWriteIO(IOobj64 *pIO, const void *pv, uint32_t cb);

#endif /* NSFREX_MODULE_EXTRACT_EXTRACT_H */
