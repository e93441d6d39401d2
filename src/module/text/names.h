/*
 * Notes C API names of the codes that the diagnostic log prints: object host types, value classes, value
 * types, composite record signatures and note classes. Every lookup returns constant text, never null;
 * a code that a table does not list gives that table's fallback name.
 */
#ifndef NSFREX_MODULE_TEXT_NAMES_H
#define NSFREX_MODULE_TEXT_NAMES_H

#include <stdint.h>

/* HOST_* for an object's host type masked with 0x0F00; "HOST_UNKNOWN" otherwise. */
const char *nsfHostTypeName(uint16_t wHostType);
/* CLASS_* of a value type's high byte (the low byte is ignored); "CLASS_UNKNOWN" otherwise. */
const char *nsfClassName(uint16_t wType);
/* TYPE_* of a value type word, by exact value; "TYPE_UNKNOWN" otherwise. */
const char *nsfTypeName(uint16_t wType);
/* SIG_* of a composite record type: the signature byte for byte and long headers, 0xFF00 plus the
   signature byte for word headers; "SIG_INVALID" otherwise. */
const char *nsfSigName(uint16_t wSignature);
/* NOTE_CLASS_* of a note class word, by exact value (a combination of bits is not a name);
   "NOTE_CLASS_UNKNOWN" otherwise. */
const char *nsfNoteClassName(uint16_t wNoteClass);

#endif /* NSFREX_MODULE_TEXT_NAMES_H */
