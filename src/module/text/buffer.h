/*
 * The context's three work buffers: the main buffer (rgbBuffer), which carries each operation's current
 * result, and the temp buffers 2 and 3 that conversions use as scratch space. Only these functions grow or
 * shrink them after open; every block is allocated NSF_BUFFER_SLACK bytes beyond its recorded size.
 */
#ifndef NSFREX_MODULE_TEXT_BUFFER_H
#define NSFREX_MODULE_TEXT_BUFFER_H

#include <stdint.h>

#include "entry/context.h"

#define NSF_BUFFER_SLACK 16u            /* bytes allocated beyond the recorded size */
#define NSF_BUFFER_RESERVE 1024u        /* main buffer: kept free beyond each request */
#define NSF_TEMP_BUFFER_RESERVE 256u    /* temp buffers: added to each request */
#define NSF_BUFFER_FALLBACK 8192u       /* main buffer size after a failed growth (TM_IO_MAX_PATH) */
#define NSF_BUFFER_SHRINK 0x10000u      /* an empty main buffer this large is given back */
#define NSF_TEMP_BUFFER_SHRINK 0xFFFFu  /* a temp buffer larger than this is given back */
#define NSF_SIZE_OVERFLOW 0x80000000u   /* result of a size sum beyond 0x7FFFFFFF: never allocatable */

/* a + b, or NSF_SIZE_OVERFLOW when the sum exceeds 0x7FFFFFFF. */
uint32_t nsfAddSize(uint32_t a, uint32_t b);

/* Makes room for cbNeeded more bytes behind the ucbBuffer bytes in use, keeping them. Returns 0, or 2 when
   the buffer could not grow; the main buffer is then empty and 8192 bytes large (or absent if even that
   failed). */
NSFSTATUS nsfCheckBuffer(NsfContext *pContext, uint32_t cbNeeded);
/* Empties temp buffer 2 and makes room for cbNeeded bytes. Returns 0, or 2 with the buffer absent. */
NSFSTATUS nsfCheckBuffer2(NsfContext *pContext, uint32_t cbNeeded);
/* The same for temp buffer 3. */
NSFSTATUS nsfCheckBuffer3(NsfContext *pContext, uint32_t cbNeeded);

#endif /* NSFREX_MODULE_TEXT_BUFFER_H */
