/*
 * Item values as UTF-8 text.
 *
 * nsfGetItemText reads every item of a name in an open note, turns each value into LMBCS text (the runtime
 * for plain values, the composite record walk for rich text, MIME parts converted to rich text first) and
 * leaves the UTF-8 result, concatenated and zero-terminated, in the main work buffer. Line ends come out
 * as CR LF. An absent item gives an empty text and status 0.
 */
#ifndef NSFREX_MODULE_TEXT_ITEMTEXT_H
#define NSFREX_MODULE_TEXT_ITEMTEXT_H

#include <stdint.h>

#include "entry/context.h"
#include "notesapi/global.h"

#define NSF_MAXWORD 0xFFFFu                 /* one translation handles at most this many bytes */
#define NSF_HOTSPOT_TYPE_HIDDEN_TEXT 22     /* hotspot whose data is text shown only on request */

/* Reads the item(s) pszItemName of the open note hNote into rgbBuffer / ucbBuffer. */
NSFSTATUS nsfGetItemText(NsfContext *pContext, uint32_t hNote, const char *pszItemName);

/* Translates the cbText LMBCS bytes placed at rgbBuffer + ucbBuffer (not yet counted) to UTF-8 in place,
   normalising line ends (0 and LF become CR LF, CR is dropped), and adds the UTF-8 length to ucbBuffer.
   Returns 0, 2 (buffer), 6 (more than 65,535 staged bytes) or the status of a failed translation. */
NSFSTATUS nsfGetTextUTF8(NsfContext *pContext, uint32_t cbText);

/* EnumCompositeBuffer action routine: text of text, text effect, section bar and (with
   CNVO_SHOWHIDDENTEXT) hidden-text hotspot records, CR LF per paragraph, and image header and segment
   records into pContext->pImageWork when set. Always returns 0. */
STATUS LNCALLBACK nsfEnumCompositeBufferCB(char *pbRecordPtr, WORD wRecordType, DWORD dwRecordLength,
                                           void *pvContext);

#endif /* NSFREX_MODULE_TEXT_ITEMTEXT_H */
