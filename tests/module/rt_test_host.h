/*
 * The host as the rich-text converter sees it (the module tests' host with a text conversion that copies
 * bytes). Tests build CD record sequences by hand with CdBuilder (support/cd_records.h).
 */
#ifndef NSFREX_TESTS_MODULE_RT_TEST_HOST_H
#define NSFREX_TESTS_MODULE_RT_TEST_HOST_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "module/support/test_host.h"
#include "support/cd_records.h"
#include "richtext/converter.h"

namespace rt_test {

/* The module tests' host with the text conversion the converter asks for: the bytes copied as they are,
   under the character sets the converter must have set for the call. */
struct TestHost : nsfrex_test::TestHost {
    int nTextConversions = 0;

    TestHost()
    {
        zapi()->fpTextConvert = &TextConvert;
        zapi()->nCharsetIn = 7;
        zapi()->nCharsetOut = 9;
    }
    static int32_t TextConvert(ZAPI *pZ, int32_t, TextPair *pIn, TextPair *pOut, int32_t)
    {
        ++static_cast<TestHost *>(FromZAPI(pZ))->nTextConversions;
        if (pZ->nCharsetIn != 53 || pZ->nCharsetOut != 28)
            abort();
        int32_t cb = pIn->cb < pOut->cb ? pIn->cb : pOut->cb;
        memcpy(pOut->pb, pIn->pb, static_cast<size_t>(cb));
        pOut->cb = cb;
        return 0;
    }
};

using namespace cd_records;

const char *const kTail = "</BODY></HTML>\r\n------=_NextPart_000_0004_01CB58DD.164505B0--";

/* Converts a record sequence as a driver would (note ID "1F6") and returns the whole result. */
inline std::string Convert(TestHost &host, const std::vector<uint8_t> &rgb, uint32_t dwFlags = 0,
                           LotusImageCallback pfnImage = nullptr, NsfContext *pContext = nullptr)
{
    CLotusRTConverter converter(host.zapi(), "1F6");
    converter.pfnImage = pfnImage;
    converter.pContext = pContext;
    converter.SetOptions(dwFlags);
    std::string strResult;
    if (converter.Convert(rgb.data(), rgb.size(), strResult) != 0)
        return "<convert failed>";
    return strResult;
}

/* The body text before "</BODY></HTML>", or a marker when the frame is wrong. */
inline std::string BodyOf(const std::string &strResult)
{
    size_t n = strResult.find("</BODY></HTML>\r\n");
    return n == std::string::npos ? "<no body end>" : strResult.substr(0, n);
}

} // namespace rt_test

#endif
