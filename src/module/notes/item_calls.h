/*
 * Item lookups shared by the catalogue and the credential test: item presence, and item walks in which
 * "item not found" (546) is the normal end rather than a failure.
 */
#ifndef NSFREX_MODULE_NOTES_ITEM_CALLS_H
#define NSFREX_MODULE_NOTES_ITEM_CALLS_H

#include <stdint.h>
#include <string.h>

#include "log/log.h"
#include "notesapi/notes.h"

/* A Notes call whose "item not found" is traced as success; *pwNotesStatus receives the raw status
   (0 after an exception). Other failures are judged by nsfRetAPI. */
template <typename Call>
NSFSTATUS nsfCallNotesItem(NsfContext *pContext, const char *pszFunction, const char *pszAPI, Call &&call,
                           uint16_t *pwNotesStatus)
{
    uint16_t wStatus = 0;
    *pwNotesStatus = 0;
    nsfCallAPI(pContext, pszFunction, pszAPI);
    try {
        wStatus = static_cast<uint16_t>(call());
    } catch (...) {
        return nsfExcepAPI(pContext, pszFunction, pszAPI);
    }
    *pwNotesStatus = wStatus;
    return nsfRetAPI(pContext, pszFunction, wStatus == ERR_ITEM_NOT_FOUND ? 0 : wStatus);
}

/* NSFItemIsPresent: an item lookup without outputs; true when the note has an item of that name. */
inline bool nsfIsItemPresent(NsfContext *pContext, const char *pszFunction, uint32_t hNote, const char *pszName)
{
    uint16_t wStatus = 0;
    if (nsfCallNotesItem(pContext, pszFunction, "NSFItemIsPresent", [&] {
            return NSFItemInfo(hNote, pszName, static_cast<WORD>(strlen(pszName)), nullptr, nullptr, nullptr, nullptr);
        }, &wStatus) != NSF_OK)
        return false;
    return wStatus == NOERROR;
}

#endif /* NSFREX_MODULE_NOTES_ITEM_CALLS_H */
