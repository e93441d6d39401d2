/*
 * Note and attachment times. Every road ends in nsfGetFileTime, which reads calendar fields as Greenwich
 * time and lets the host turn the resulting time_t into its file time. The conversion uses timegm, so the
 * process's TZ is never touched.
 */
#include "catalogue/notedate.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

#include "log/log.h"
#include "log/trace.h"
#include "notes/item_calls.h"
#include "text/itemtext.h"
#include "notesapi/notes.h"


int32_t nsfJulianDay(int32_t lJulianDay, int32_t *pnYear, int32_t *pnMonth, int32_t *pnDay)
{
    /* Fliegel and Van Flandern, in 32-bit integer arithmetic truncating toward zero. Unsigned products keep
       out-of-range day numbers from overflowing; the casts back give the two's complement results. */
    int32_t l = (int32_t)((uint32_t)lJulianDay + 68569u);
    int32_t n = (int32_t)(4u * (uint32_t)l) / 146097;
    l = l - (int32_t)(146097u * (uint32_t)n + 3u) / 4;
    int32_t i = (int32_t)(4000u * ((uint32_t)l + 1u)) / 1461001;
    l = l - (int32_t)(1461u * (uint32_t)i) / 4 + 31;
    int32_t j = (int32_t)(80u * (uint32_t)l) / 2447;
    int32_t nDay = l - (int32_t)(2447u * (uint32_t)j) / 80;
    l = j / 11;
    int32_t nMonth = j + 2 - 12 * l;
    int16_t nYear = (int16_t)(100u * (uint32_t)(n - 49) + (uint32_t)i + (uint32_t)l);
    if (nYear < 1801 || nYear > 2099)
        return 0;
    *pnYear = nYear;
    *pnMonth = nMonth;
    *pnDay = nDay;
    return 1;
}

int32_t nsfGetFileTime(NsfContext *pContext, int32_t nYear, int32_t nMonth, int32_t nDay, int32_t nHour, int32_t nMin,
                       int32_t nSec, uint8_t rgbFileTime[8])
{
    static const char szFunc[] = "nsfGetFileTime";
    if (nSec < 0 || nSec > 59 || nMin < 0 || nMin > 59 || nHour < 0 || nHour > 23 || nDay < 1 || nDay > 31 ||
        nMonth < 1 || nMonth > 12 || nYear < 1900) {
        nsfLogf(pContext, LOG_ERROR, szFunc, "Invalid date/time: %.2d/%.2d/%.4d %.2d:%.2d:%.2d", nMonth, nDay, nYear,
                nHour, nMin, nSec);
        return 0;
    }
    nsfLogf(pContext, LOG_DIAG, szFunc, "%.2d/%.2d/%.4d %.2d:%.2d:%.2d", nMonth, nDay, nYear, nHour, nMin, nSec);

    struct tm tmFields;
    memset(&tmFields, 0, sizeof tmFields);
    tmFields.tm_year = nYear - 1900;
    tmFields.tm_mon = nMonth - 1;
    tmFields.tm_mday = nDay;
    tmFields.tm_hour = nHour;
    tmFields.tm_min = nMin;
    tmFields.tm_sec = nSec;
    tmFields.tm_isdst = 0;
    time_t tSeconds = timegm(&tmFields);
    if (tSeconds == (time_t)-1) {
        nsfLog(pContext, LOG_WARNING, szFunc, "mktime() failed");
        return 0;
    }

    uint8_t rgbTime[8] = {};
    ZAPI *pZAPI = pContext->pZAPI;
    if (pZAPI->fpTimeToFileTime == nullptr) {
        nsfLog(pContext, LOG_WARNING, szFunc, "ZAPI.fpTimeToFileTime() missing");
        return 0;
    }
    pZAPI->fpTimeToFileTime(pZAPI, (int64_t)tSeconds, rgbTime);
    memcpy(rgbFileTime, rgbTime, sizeof rgbTime);
    return 1;
}

int32_t nsfGetDateTime(NsfContext *pContext, const TIMEDATE *pTimeDate, uint8_t rgbFileTime[8])
{
    static const char szFunc[] = "nsfGetDateTime";
    DWORD dwTime = pTimeDate->Innards[0];
    DWORD dwDate = pTimeDate->Innards[1];
    nsfLogf(pContext, LOG_DIAG, szFunc, "TimeDate.Innards[0] 0x%lx, Innards[1] 0x%lx", (unsigned long)dwTime,
            (unsigned long)dwDate);

    int32_t lJulianDay = (int32_t)(dwDate & 0xFFFFFF);
    int32_t lSeconds = (int32_t)dwTime / 100;
    int32_t nHour = lSeconds / 3600;
    int32_t nMin = (lSeconds - nHour * 3600) / 60;
    int32_t nSec = lSeconds - nHour * 3600 - nMin * 60;
    nsfLogf(pContext, LOG_DIAG, szFunc, "lJulianDay 0x%lx %ld, lSeconds 0x%lx %ld", (unsigned long)lJulianDay,
            (long)lJulianDay, (unsigned long)dwTime, (long)(int32_t)dwTime);

    int32_t nYear = 0, nMonth = 0, nDay = 0;
    if (!nsfJulianDay(lJulianDay, &nYear, &nMonth, &nDay)) {
        nsfLog(pContext, LOG_ERROR, szFunc, "nsfJulianDay() failed");
        return 0;
    }
    nsfLogf(pContext, LOG_DIAG, szFunc, "nYear %d, nMonth %d, nDay %d, nHour %d, nMin %d, nSec %d", nYear, nMonth, nDay,
            nHour, nMin, nSec);
    nsfLogf(pContext, LOG_DIAG, szFunc, "bDST %d, bEastGMT %d, nZoneHours %d, nZone15min %d", (int)((dwDate >> 31) & 1),
            (int)((dwDate >> 30) & 1), (int)((dwDate >> 24) & 0xF), (int)((dwDate >> 28) & 0x3));

    if (!nsfGetFileTime(pContext, nYear, nMonth, nDay, nHour, nMin, nSec, rgbFileTime)) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetFileTime() failed");
        return 0;
    }
    return 1;
}

NSFSTATUS nsfGetNoteFileTime(NsfContext *pContext, uint32_t hNote, uint8_t rgbFileTime[8])
{
    static const char szFunc[] = "nsfGetNoteFileTime";
    const char *pszItem = nullptr;
    if (nsfIsItemPresent(pContext, szFunc, hNote, "PostedDate"))
        pszItem = "PostedDate";
    else if (nsfIsItemPresent(pContext, szFunc, hNote, "ComposedDate"))
        pszItem = "ComposedDate";
    if (pszItem == nullptr) {
        nsfLog(pContext, LOG_DIAG, szFunc, "Note has no posted or composed time");
        return NSF_OK;
    }

    NSFSTATUS nStatus = nsfGetItemText(pContext, hNote, pszItem);
    if (nStatus != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetItemText() failed");
        return nStatus;
    }
    if (pContext->ucbBuffer == 0 || pContext->rgbBuffer[0] == 0) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetItemText() returned no text");
        return NSF_ERR_FAILED;
    }
    const char *pszText = reinterpret_cast<const char *>(pContext->rgbBuffer);
    nsfLogf(pContext, LOG_DIAG, szFunc, "Note sent time %s", pszText);

    int nMonth = 0, nDay = 0, nYear = 0, nHour = 0, nMin = 0, nSec = 0;
    if (sscanf(pszText, "%d/%d/%d %d:%d:%d", &nMonth, &nDay, &nYear, &nHour, &nMin, &nSec) < 6) {
        nsfLog(pContext, LOG_ERROR, szFunc, "sscanf() failed");
        return NSF_ERR_FAILED;
    }
    if (strstr(pszText, "PM") != nullptr && nHour < 12)
        nHour += 12;

    if (!nsfGetFileTime(pContext, nYear, nMonth, nDay, nHour, nMin, nSec, rgbFileTime)) {
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetFileTime() failed");
        return NSF_ERR_FAILED;
    }
    return NSF_OK;
}
