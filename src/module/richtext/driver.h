/*
 * The composite-to-MHT driver: turns the rich-text value in the main work buffer into the body part of an
 * MHT document in the same buffer, and hands the converter the images that rich text names.
 *
 * nsfRTConverter is the boundary between the reader context (work buffers, status codes) and the
 * converter classes, which work on standard strings and report failures as exceptions: no exception
 * crosses it.
 */
#ifndef NSFREX_MODULE_RICHTEXT_DRIVER_H
#define NSFREX_MODULE_RICHTEXT_DRIVER_H

#include <stdint.h>

#include "entry/context.h"

#define NSF_TYPE_ERROR 0x0100        /* value type assumed before the value is read */
#define NSF_TYPE_COMPOSITE 0x0001    /* rich text: CD records */
#define NSF_TYPE_TEXT 0x0500         /* text that may carry CD records behind it */
#define NSF_NOTE_ID_TEXT_SIZE 16     /* szNoteID: upper-case hexadecimal note ID */

/* Replaces the item value in the main buffer (type word first; TYPE_COMPOSITE, or TYPE_TEXT whose text in
   front of the first paragraph definition is merged into the HTML) with the MHT body text: HTML body,
   "</BODY></HTML>", image parts and the closing boundary. hNote is the open note, whose ID names the
   images. Returns 0, 6 (refused value or failed conversion), 2, or the status of a buffer or text
   function. */
NSFSTATUS nsfConvertCDtoMHT(NsfContext *pContext, uint32_t hNote);

/* Converts cbData bytes at pData (type word first) and copies the result over them when it fits in
   cbCapacity bytes. *pcbOut receives the result's length whether or not it fitted. Returns 0, 34 (null
   argument, cbData > cbCapacity) or 6 (result too large, or the converter failed). */
NSFSTATUS nsfRTConverter(NsfContext *pContext, ZAPI *pZAPI, const char *szNoteID, uint32_t dwFlags,
                         uint8_t *pData, uint32_t cbData, uint32_t cbCapacity, uint32_t *pcbOut);

/* The converter's image callback: the bytes of the image named pszLinkName, as a copy from the host's
   MemoryService, with *pnType 1 GIF, 2 JPEG, 3 BMP or 0. Returns 0 or the look-up's status. */
int32_t nsfRTImageCB(const char *pszLinkName, NsfContext *pContext, uint8_t **ppData, uint32_t *pcbData,
                     int32_t *pnType);

/* Copies the image named pszLinkName out of the context's image table. Returns 0, 34 (null argument),
   6 (not found, no data) or 2 (no memory). The caller frees *ppData with fpFree. */
NSFSTATUS nsfGetMHTImageCB(NsfContext *pContext, const char *pszLinkName, uint8_t **ppData,
                           uint32_t *pnImageSize, int32_t *pnStreamType);

#endif /* NSFREX_MODULE_RICHTEXT_DRIVER_H */
