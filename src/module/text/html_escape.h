/*
 * UTF-8 text made safe for the HTML page of an MHT document, whose part is sent quoted-printable.
 */
#ifndef NSFREX_MODULE_TEXT_HTML_ESCAPE_H
#define NSFREX_MODULE_TEXT_HTML_ESCAPE_H

#include "entry/context.h"

/* The host character set number handed to ZAPI.fpIsLeadByte. */
#define NSF_LEADBYTE_CHARSET 53

/* Rewrites the ucbBuffer bytes of UTF-8 text in the main buffer, through temp buffer 2: LF becomes
   "<BR>" CR LF, CR is dropped, '<' and '>' become "&lt;" and "&gt;", '=' becomes "=3D"; a byte that the
   host's lead-byte test claims is copied with the byte after it. Returns 0 (the main buffer holds the
   result, a zero byte behind it), 2 when a buffer cannot grow, or 6 when the escaped text reaches the size
   of temp buffer 2 (the main buffer is then left unchanged). */
NSFSTATUS nsfConvertUTF8toHTML(NsfContext *pContext);

#endif /* NSFREX_MODULE_TEXT_HTML_ESCAPE_H */
