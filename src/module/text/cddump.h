/*
 * A composite (rich text) value in the main buffer, logged record by record for diagnosis.
 */
#ifndef NSFREX_MODULE_TEXT_CDDUMP_H
#define NSFREX_MODULE_TEXT_CDDUMP_H

#include "entry/context.h"

/* Walks the value in rgbBuffer/ucbBuffer (its 2-byte data type word first) and logs each record's header
   and bytes. Does nothing below log level DIAG. Returns 0, or 6 for a record that runs past the end of the
   value; never reads beyond the ucbBuffer bytes. */
NSFSTATUS nsfDumpCDBuffer(NsfContext *pContext);

#endif /* NSFREX_MODULE_TEXT_CDDUMP_H */
