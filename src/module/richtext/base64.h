/*
 * Base64 (RFC 4648 alphabet) for the image parts of an MHT document, in lines of 72 characters.
 */
#ifndef NSFREX_MODULE_RICHTEXT_BASE64_H
#define NSFREX_MODULE_RICHTEXT_BASE64_H

#include <stdint.h>

/* Encodes cbIn bytes into pszOut and returns the number of characters written (no terminator).
   *pnBase64LineLen carries the length of the current output line from one call to the next: after each
   complete group of 4 characters it grows by 4, and at 72 a CR LF is written and it restarts at 0. A
   final group of two bytes ends the line (the count restarts at 0); no line end follows the last line.
   pszOut must hold nsfGetBase64Capacity(cbIn) characters. */
int32_t encode_base64(const uint8_t *pbIn, int32_t cbIn, char *pszOut, int32_t *pnBase64LineLen);

/* Characters enough for encode_base64 of cb bytes (any starting line length) and a terminating NUL;
   -1 when cb is negative or the result would not fit in 32 bits. */
int64_t nsfGetBase64Capacity(int32_t cb);

#endif
