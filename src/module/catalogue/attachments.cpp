/*
 * Attachments as subfiles. The value of a $FILE item is the type word, an object descriptor and, for a
 * file object, the rest of the FILEOBJECT record followed by the file name in LMBCS. The host type decides
 * whether the object is an attachment, an embedded OLE object, or nothing the host should see.
 */
#include "catalogue/attachments.h"

#include <string.h>

#include "catalogue/notedate.h"
#include "catalogue/subfiles.h"
#include "entry/entry.h"
#include "log/log.h"
#include "log/trace.h"
#include "notesapi/notes.h"
#include "text/names.h"

namespace {

const char *nsfObjectTypeName(WORD wObjectType)
{
    switch (wObjectType) {
    case OBJECT_FILE:
        return "FILE";
    case OBJECT_FILTER_LEFTTODO:
        return "FILTER_LEFTTODO";
    case OBJECT_ASSIST_RUNDATA:
        return "ASSIST_RUNDATA";
    default:
        return "UNKNOWN";
    }
}

/* The subfile type for a masked host type; -1 = no subfile. */
int32_t nsfAttachTypeForHost(uint16_t wHostType)
{
    switch (wHostType) {
    case 0x0000:    /* HOST_MSDOS */
    case 0x0200:    /* HOST_MAC */
    case 0x0300:    /* HOST_UNKNOWN */
    case 0x0400:    /* HOST_HPFS */
        return TMSubFileType_Attachment;
    case 0x0600:    /* HOST_BYTEARRAY_EXT */
        return TMSubFileType_OLE;
    default:
        return -1;
    }
}

bool nsfIsKnownHost(uint16_t wHostType)
{
    switch (wHostType) {
    case 0x0100:    /* HOST_OLE */
    case 0x0500:    /* HOST_OLELIB */
    case 0x0700:    /* HOST_BYTEARRAY_PAGE */
    case 0x0800:    /* HOST_CDSTORAGE */
    case 0x0900:    /* HOST_STREAM */
    case 0x0A00:    /* HOST_LINK */
        return true;
    default:
        return nsfAttachTypeForHost(wHostType) >= 0;
    }
}

/* The names and time of a new attachment record from its file object; pbName points at the LMBCS name. */
NSFSTATUS nsfFillAttachRecord(NsfContext *pContext, SubFile *pSubFile, const FILEOBJECT *pFileObj, const char *pbName)
{
    static const char szFunc[] = "nsfGetAttachSubfile";
    WORD cbName = pFileObj->FileNameLength;
    if (cbName > 0) {
        uint8_t *rgbOrig = static_cast<uint8_t *>(nsfMalloc(pContext, (size_t)cbName + 1));
        if (rgbOrig == nullptr) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating subfile file name, cbFileName %d", (int)cbName);
            return NSF_ERR_MEMORY;
        }
        memcpy(rgbOrig, pbName, cbName);
        rgbOrig[cbName] = 0;
        nsfLogf(pContext, LOG_DIAG, szFunc, "cbFileName %d, pbFileName (LBMCS)...", (int)cbName);
        nsfLogDump(pContext, LOG_DIAG, rgbOrig, cbName);
        pSubFile->rgbOrigFileName = rgbOrig;
        pSubFile->cbOrigFileName = cbName;

        WORD cbOut = static_cast<WORD>(pContext->ucbBufferSize > 0xFFFF ? 0xFFFF : pContext->ucbBufferSize);
        WORD cbUtf8 = 0;
        NSFSTATUS nStatus = nsfCallNotesUnjudged(pContext, szFunc, "OSTranslate", &cbUtf8, [&] {
            return OSTranslate(OS_TRANSLATE_LMBCS_TO_UTF8, reinterpret_cast<const char *>(rgbOrig), cbName,
                               reinterpret_cast<char *>(pContext->rgbBuffer), cbOut);
        });
        if (nStatus != NSF_OK)
            return nStatus;
        if (cbUtf8 == 0) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "OSTranslate() failed, cbFileName %d", pSubFile->cbFileName);
            return NSF_ERR_MEMORY;
        }
        uint8_t *pbUtf8 = static_cast<uint8_t *>(nsfMalloc(pContext, (size_t)cbUtf8 + 1));
        if (pbUtf8 == nullptr) {
            nsfLogf(pContext, LOG_ERROR, szFunc, "Error allocating subfile file name, cbFileName %d", (int)cbUtf8);
            return NSF_ERR_MEMORY;
        }
        memcpy(pbUtf8, pContext->rgbBuffer, cbUtf8);
        pbUtf8[cbUtf8] = 0;
        pSubFile->pbFileName = pbUtf8;
        pSubFile->cbFileName = cbUtf8;
        nsfLogf(pContext, LOG_INFO, szFunc, "cbFileName %d, pbFileName...", (int)cbUtf8);
        nsfLogDump(pContext, LOG_INFO, pbUtf8, cbUtf8);
    }

    TIMEDATE timeDate = pFileObj->FileModified;
    if (timeDate.Innards[0] == 0 && timeDate.Innards[1] == 0)
        timeDate = pFileObj->FileCreated;
    if (!nsfGetDateTime(pContext, &timeDate, pSubFile->fileTime))
        nsfLog(pContext, LOG_WARNING, szFunc, "nsfGetDateTime() failed");
    return NSF_OK;
}

} // namespace

NSFSTATUS nsfGetAttachSubfile(NsfContext *pContext, uint32_t, uint32_t dwNoteID, int32_t nAttachment, BLOCKID,
                              BLOCKID bhValue)
{
    static const char szFunc[] = "nsfGetAttachSubfile";
    char *pbValue = nullptr;
    nsfCallNotesUnjudged(pContext, szFunc, "OSLockBlock", &pbValue, [&] { return OSLockBlock(char, bhValue); });
    if (pbValue == nullptr) {
        nsfLog(pContext, LOG_ERROR, szFunc, "OSLockBlock() failed");
        return NSF_ERR_FAILED;
    }

    NSFSTATUS nStatus = NSF_OK;
    char *pbRead = pbValue;
    WORD wTypeWord = 0;
    memcpy(&wTypeWord, pbRead, sizeof wTypeWord);
    pbRead += sizeof wTypeWord;
    nsfLogf(pContext, LOG_DIAG, szFunc, "Block wHostType 0x%x (%s)", (unsigned)wTypeWord,
            nsfHostTypeName(static_cast<uint16_t>(wTypeWord & 0x0F00)));

    OBJECT_DESCRIPTOR objDesc;
    memset(&objDesc, 0, sizeof objDesc);
    nStatus = nsfCallNotesUnjudged(pContext, szFunc, "ODSReadMemory",
                                   [&] { ODSReadMemory(&pbRead, _OBJECT_DESCRIPTOR, &objDesc, 1); });
    if (nStatus == NSF_OK) {
        nsfLogf(pContext, LOG_DIAG, szFunc, "ObjDesc.ObjectType 0x%x (OBJECT_%s)", (unsigned)objDesc.ObjectType,
                nsfObjectTypeName(objDesc.ObjectType));
        if (objDesc.ObjectType == OBJECT_FILE) {
            pbRead -= ODSLength(_OBJECT_DESCRIPTOR);
            FILEOBJECT fileObj;
            memset(&fileObj, 0, sizeof fileObj);
            nStatus = nsfCallNotesUnjudged(pContext, szFunc, "ODSReadMemory",
                                           [&] { ODSReadMemory(&pbRead, _FILEOBJECT, &fileObj, 1); });
            if (nStatus == NSF_OK) {
                uint16_t wHostType = static_cast<uint16_t>(fileObj.HostType & 0x0F00);
                nsfLogf(pContext, LOG_DIAG, szFunc, "FileObj wHostType 0x%x (%s)", (unsigned)wHostType,
                        nsfHostTypeName(wHostType));
                int32_t nType = nsfAttachTypeForHost(wHostType);
                if (!nsfIsKnownHost(wHostType))
                    nsfLogf(pContext, LOG_DIAG, szFunc, "Unknown wHostType 0x%x (%s)", (unsigned)wHostType,
                            nsfHostTypeName(wHostType));
                if (nType >= 0) {
                    nStatus = nsfNewSubFile(pContext);
                    SubFile *pSubFile = nullptr;
                    if (nStatus != NSF_OK) {
                        nsfLog(pContext, LOG_WARNING, szFunc, "nsfNewSubFile() failed");
                    } else if ((pSubFile = pContext->rgSubFiles[pContext->cSubFiles - 1]) == nullptr) {
                        nsfLog(pContext, LOG_ERROR, szFunc, "No subfile");
                        nStatus = NSF_ERR_FAILED;
                    } else {
                        pSubFile->nSubFileType = nType;
                        pSubFile->dwNoteID = dwNoteID;
                        pSubFile->nAttachment = nAttachment;
                        nStatus = nsfFillAttachRecord(pContext, pSubFile, &fileObj, pbRead);
                        if (nStatus == NSF_OK)
                            nsfLogf(pContext, LOG_INFO, szFunc, "Added attachment as subfile, dwNoteID %d, cSubFiles %d",
                                    (int)dwNoteID, pContext->cSubFiles);
                    }
                }
            }
        } else if (objDesc.ObjectType != OBJECT_FILTER_LEFTTODO && objDesc.ObjectType != OBJECT_ASSIST_RUNDATA) {
            nsfLogf(pContext, LOG_WARNING, szFunc, "Unknown ObjDesc.ObjectType 0x%x", (unsigned)objDesc.ObjectType);
        }
    }

    nsfCallNotesUnjudged(pContext, szFunc, "OSUnlockBlock", [&] { OSUnlockBlock(bhValue); });
    return nStatus;
}
