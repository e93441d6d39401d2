/*
 * Reading an item of an open note as UTF-8 text into the main work buffer (rgbBuffer, ucbBuffer, with a
 * terminating zero byte). Values of several items of the same name are concatenated; an absent item gives
 * an empty text and status 0.
 */
#ifndef NSFREX_MODULE_NOTES_ITEM_TEXT_H
#define NSFREX_MODULE_NOTES_ITEM_TEXT_H

#include <stdint.h>

#include "entry/context.h"

NSFSTATUS nsfGetItemText(NsfContext *pContext, uint32_t hNote, const char *pszItemName);

#endif /* NSFREX_MODULE_NOTES_ITEM_TEXT_H */
