// The image library's one entry point, as the rich-text converter calls it: the Notes bitmap records in
// the input stream become a BMP file in the output stream (usually the same stream).
#pragma once

#include <stdint.h>

#include "nsfrex/host.h"

// Results of TMPXconvert. On any result but TMPX_OK the streams hold what they held before.
enum TmpxStatus : int32_t {
    TMPX_OK = 0,
    TMPX_UNKNOWN_CONVERSION = 1,  // a source other than "NBMP" or a target other than "BMP"
    TMPX_BAD_STREAM = 2,          // a null handle, or a stream that cannot be read or positioned
    TMPX_BAD_BITMAP = 3,          // damaged or truncated records, or rows that do not fit the header
    TMPX_TOO_LARGE = 4,           // more pixels than the library converts
    TMPX_UNSUPPORTED_BITMAP = 5,  // a valid form the library does not decode
    TMPX_NO_MEMORY = 6,
    TMPX_WRITE_FAILED = 7,  // the output stream refused the BMP; a shared stream got its input back
};

extern "C" int32_t TMPXconvert(ZAPI* pZAPI, const char* pszFrom, const char* pszTo, void* hIn, void* hOut,
                               int32_t nReserved1, int32_t nReserved2);
