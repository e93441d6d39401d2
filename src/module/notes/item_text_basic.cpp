/*
 * A basic reader of item text for the catalogue (credentials, note dates, subjects, logo names, image
 * titles): values other than rich text, converted by the runtime and translated from LMBCS to UTF-8.
 * It is a weak definition: the module's full item text reader (rich text, MIME, images), when linked,
 * takes its place.
 */
#include "notes/item_text.h"

#include <string.h>

#include "log/log.h"
#include "log/trace.h"
#include "notesapi/notes.h"

namespace {

const uint32_t cbMaxWord = 0xFFFF;

} // namespace

__attribute__((weak)) NSFSTATUS nsfGetItemText(NsfContext *pContext, uint32_t hNote, const char *pszItemName)
{
    static const char szFunc[] = "nsfGetItemText";
    pContext->ucbBuffer = 0;
    if (pContext->rgbBuffer == nullptr || pContext->ucbBufferSize == 0)
        return NSF_ERR_MEMORY;
    pContext->rgbBuffer[0] = 0;
    WORD cbName = static_cast<WORD>(strlen(pszItemName));
    BLOCKID bhItem{}, bhPrev{}, bhValue{};
    for (int32_t cItems = 0; cItems < 0x7FFFFFFF; cItems++) {
        WORD wType = 0;
        DWORD dwLength = 0;
        uint16_t wNotes = 0;
        NSFSTATUS nStatus;
        if (cItems == 0)
            nStatus = nsfCallNotesUnjudged(pContext, szFunc, "NSFItemInfo", &wNotes, [&] {
                return NSFItemInfo(hNote, pszItemName, cbName, &bhItem, &wType, &bhValue, &dwLength);
            });
        else
            nStatus = nsfCallNotesUnjudged(pContext, szFunc, "NSFItemInfoNext", &wNotes, [&] {
                return NSFItemInfoNext(hNote, bhPrev, pszItemName, cbName, &bhItem, &wType, &bhValue, &dwLength);
            });
        if (nStatus != NSF_OK)
            return nStatus;
        if (wNotes == ERR_ITEM_NOT_FOUND)
            break;
        if (wNotes != NOERROR) {
            nsfCallAPI(pContext, szFunc, cItems == 0 ? "NSFItemInfo" : "NSFItemInfoNext");
            return nsfRetAPI(pContext, szFunc, wNotes);
        }
        bhPrev = bhItem;
        if (wType == TYPE_COMPOSITE || wType == TYPE_MIME_PART)
            continue;

        /* The runtime's LMBCS text goes into the second work buffer, its UTF-8 form behind the text so far. */
        uint8_t rgbLmbcs[cbMaxWord + 1];
        WORD cbText = 0;
        nStatus = nsfCallNotesUnjudged(pContext, szFunc, "NSFItemConvertValueToText", &cbText, [&] {
            return NSFItemConvertValueToText(wType, bhValue, dwLength, reinterpret_cast<char *>(rgbLmbcs),
                                             static_cast<WORD>(cbMaxWord), 0);
        });
        if (nStatus != NSF_OK)
            return nStatus;
        if (cbText == 0)
            continue;
        uint32_t cbFree = pContext->ucbBufferSize - pContext->ucbBuffer;
        if (cbFree > cbMaxWord)
            cbFree = cbMaxWord;
        WORD cbUtf8 = 0;
        nStatus = nsfCallNotesUnjudged(pContext, szFunc, "OSTranslate", &cbUtf8, [&] {
            return OSTranslate(OS_TRANSLATE_LMBCS_TO_UTF8, reinterpret_cast<const char *>(rgbLmbcs), cbText,
                               reinterpret_cast<char *>(pContext->rgbBuffer + pContext->ucbBuffer),
                               static_cast<WORD>(cbFree));
        });
        if (nStatus != NSF_OK)
            return nStatus;
        pContext->ucbBuffer += cbUtf8;
        pContext->rgbBuffer[pContext->ucbBuffer] = 0;
    }
    return NSF_OK;
}
