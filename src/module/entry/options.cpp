/*
 * Reading the module's configuration section "nsfrex" from the host, once per open.
 */
#include "entry/options.h"

#include <string.h>

#include "entry/tempdir.h"
#include "log/log.h"

namespace {

const char g_szFunc[] = "nsfInitOptions";

/* Asks the host for one key of the section into pszOut (cbOut bytes); true when a value was delivered.
   The delivered value is always terminated at the buffer's last byte. */
bool nsfGetOption(NsfContext *pContext, const char *pszKey, char *pszOut, uint32_t cbOut)
{
    ZAPI *pZAPI = pContext->pZAPI;
    memset(pszOut, 0, cbOut);
    if (pZAPI->fpGetOption == nullptr)
        return false;
    if (pZAPI->fpGetOption(pZAPI, NSF_OPTION_SECTION, pszKey, "", pszOut, cbOut, 0) == 0) {
        pszOut[0] = '\0';
        return false;
    }
    pszOut[cbOut - 1] = '\0';
    return true;
}

/* A flag is on only when the value delivered is exactly "1". */
uint8_t nsfGetFlagOption(NsfContext *pContext, const char *pszKey)
{
    char szValue[NSF_OPTION_FLAG_SIZE];
    return nsfGetOption(pContext, pszKey, szValue, sizeof szValue) && strcmp(szValue, "1") == 0;
}

} // namespace

NSFSTATUS nsfInitOptions(NsfContext *pContext)
{
    pContext->bExportDXL = nsfGetFlagOption(pContext, "ExportDXL");
    pContext->bExportDXL_PureXML = nsfGetFlagOption(pContext, "ExportDXL_PureXML");
    pContext->bExtractAllNotes = nsfGetFlagOption(pContext, "ExtractAllNotes");
    pContext->bExtractAllFields = nsfGetFlagOption(pContext, "ExtractAllFields");
    nsfLogf(pContext, LOG_INFO, g_szFunc, "bExportDXL %d, bExtractAllNotes %d, bExtractAllFields %d",
            pContext->bExportDXL, pContext->bExtractAllNotes, pContext->bExtractAllFields);

    /* A directory given by the host is used as it is, with a separator appended when it fits. */
    if (nsfGetOption(pContext, "TempDir", pContext->szTempDir, sizeof pContext->szTempDir)) {
        size_t cch = strlen(pContext->szTempDir);
        if (cch + 1 < sizeof pContext->szTempDir) {
            pContext->szTempDir[cch] = '/';
            pContext->szTempDir[cch + 1] = '\0';
        }
        nsfLogValue(pContext, LOG_INFO, g_szFunc, "szTempDir...", pContext->szTempDir);
    } else if (nsfCreateTempDir(pContext) != NSF_OK) {
        nsfLog(pContext, LOG_WARNING, g_szFunc, "nsfCreateTempDir() failed");
    }

    if (nsfGetOption(pContext, "MailLogoFieldName", pContext->szMailLogoFieldName,
                     sizeof pContext->szMailLogoFieldName))
        nsfLogf(pContext, LOG_INFO, g_szFunc, "MailLogoFieldName %s", pContext->szMailLogoFieldName);
    if (nsfGetOption(pContext, "MailLogoFieldDefaultValue", pContext->szMailLogoFieldDefaultValue,
                     sizeof pContext->szMailLogoFieldDefaultValue))
        nsfLogf(pContext, LOG_INFO, g_szFunc, "MailLogoFieldDefaultValue %s", pContext->szMailLogoFieldDefaultValue);
    if (nsfGetOption(pContext, "AltSentField", pContext->szAltSentField, sizeof pContext->szAltSentField))
        nsfLogf(pContext, LOG_INFO, g_szFunc, "AltSentField %s", pContext->szAltSentField);
    return NSF_OK;
}
