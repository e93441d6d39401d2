/* Character-set translation and status texts. */
#ifndef NOTESAPI_OSMISC_H
#define NOTESAPI_OSMISC_H

#include "notesapi/global.h"

#define OS_TRANSLATE_NATIVE_TO_LMBCS 0
#define OS_TRANSLATE_LMBCS_TO_NATIVE 1
#define OS_TRANSLATE_LOWER_TO_UPPER 3
#define OS_TRANSLATE_UPPER_TO_LOWER 4
#define OS_TRANSLATE_UNACCENT 5
#define OS_TRANSLATE_OSNATIVE_TO_LMBCS OS_TRANSLATE_NATIVE_TO_LMBCS
#define OS_TRANSLATE_LMBCS_TO_OSNATIVE OS_TRANSLATE_LMBCS_TO_NATIVE
#define OS_TRANSLATE_LMBCS_TO_ASCII 11
#define OS_TRANSLATE_LMBCS_TO_UNICODE 20
#define OS_TRANSLATE_LMBCS_TO_UTF8 22
#define OS_TRANSLATE_UNICODE_TO_LMBCS 23
#define OS_TRANSLATE_UTF8_TO_LMBCS 24

NOTESAPI_BEGIN_DECLS

/* Converts InLength bytes (MAXWORD: up to the first NUL); returns the bytes written to Out. */
LNPUBLIC_API WORD OSTranslate(WORD TranslateMode, const char* In, WORD InLength, char* Out, WORD OutLength);
LNPUBLIC_API DWORD OSTranslate32(WORD TranslateMode, const char* In, DWORD InLength, char* Out, DWORD OutLength);

/* Text of a status code (mask it with ERR() first); returns its length, 0 for an unknown code.
 * BufferLength is the buffer size minus one. */
LNPUBLIC_API WORD OSLoadString(HMODULE hModule, STATUS StringCode, char* retBuffer, WORD BufferLength);

NOTESAPI_END_DECLS

#endif /* NOTESAPI_OSMISC_H */
