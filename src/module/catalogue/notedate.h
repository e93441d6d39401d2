/*
 * The host file time of notes and attachments: from a Notes TIMEDATE (attachments) or from the text of a
 * note's posted or composed date (notes), both read as Greenwich time.
 */
#ifndef NSFREX_MODULE_CATALOGUE_NOTEDATE_H
#define NSFREX_MODULE_CATALOGUE_NOTEDATE_H

#include <stdint.h>

#include "entry/context.h"
#include "notesapi/global.h"

/* TIMEDATE to host file time; 1 on success, 0 on failure (the output is then untouched). */
int32_t nsfGetDateTime(NsfContext *pContext, const TIMEDATE *pTimeDate, uint8_t rgbFileTime[8]);
/* Julian day number to calendar date; 1 and the date when the year lies in 1801 to 2099, else 0. */
int32_t nsfJulianDay(int32_t lJulianDay, int32_t *pnYear, int32_t *pnMonth, int32_t *pnDay);
/* Calendar fields (Greenwich time) to host file time; 1 on success, 0 on failure. */
int32_t nsfGetFileTime(NsfContext *pContext, int32_t nYear, int32_t nMonth, int32_t nDay, int32_t nHour, int32_t nMin,
                       int32_t nSec, uint8_t rgbFileTime[8]);
/* The file time of an open note from "PostedDate" or else "ComposedDate"; stays zero when it has neither. */
NSFSTATUS nsfGetNoteFileTime(NsfContext *pContext, uint32_t hNote, uint8_t rgbFileTime[8]);

#endif /* NSFREX_MODULE_CATALOGUE_NOTEDATE_H */
