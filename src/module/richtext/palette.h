/*
 * The fixed Notes colour palette: a one-byte colour index names one of 240 colours. Rich-text records
 * carry the index; HTML wants "#RRGGBB".
 */
#ifndef NSFREX_MODULE_RICHTEXT_PALETTE_H
#define NSFREX_MODULE_RICHTEXT_PALETTE_H

#include <stdint.h>

/* Number of palette entries; indexes at or above it name no colour and each caller decides. */
#define LOTUS_PALETTE_SIZE 240

/* Length of every palette entry: "#" and six hexadecimal digits. */
#define LOTUS_PALETTE_COLOUR_LENGTH 7

/* "#RRGGBB" (upper-case hexadecimal) of a palette index below LOTUS_PALETTE_SIZE. The caller checks the
   bound; an index out of range returns the entry of index 0 rather than reading past the table. */
const char *nsfGetPaletteColour(uint32_t nIndex);

#endif
