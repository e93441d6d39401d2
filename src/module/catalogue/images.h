/*
 * The image catalogue: every image resource note of the database, read once at open, found again by its
 * link name (mail logos, images that rich text refers to).
 */
#ifndef NSFREX_MODULE_CATALOGUE_IMAGES_H
#define NSFREX_MODULE_CATALOGUE_IMAGES_H

#include <stdint.h>

#include "entry/context.h"

/* Builds rgImages, using and then emptying the context's hIDTable. */
NSFSTATUS nsfInitImages(NsfContext *pContext);
/* Reads one note; an image resource note becomes an Image record. */
NSFSTATUS nsfGetNoteImage(NsfContext *pContext, uint32_t dwNoteID);
/* Appends a zero-filled record with nImage set at index cImages. */
NSFSTATUS nsfNewImage(NsfContext *pContext);
/* The first image whose link name equals pszLinkName without regard to letter case, or null. */
Image *nsfFindImage(NsfContext *pContext, const char *pszLinkName);

#endif /* NSFREX_MODULE_CATALOGUE_IMAGES_H */
