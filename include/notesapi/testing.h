/* Test-only controls exported by libnotes.so. Not part of the published API. */
#ifndef NOTESAPI_TESTING_H
#define NOTESAPI_TESTING_H

#include "notesapi/global.h"

NOTESAPI_BEGIN_DECLS

/* Makes the nthCall-th call (1 = the next one) of the exported function `function`, counted from
 * now, fail: with `status`, or by throwing a C++ exception when bThrow is non-zero. Each rule
 * fires once. Setting a rule for a function replaces the previous one. */
LNPUBLIC_API void NotesTestInjectFault(const char* function, int nthCall, STATUS status, int bThrow);
/* Removes every rule. */
LNPUBLIC_API void NotesTestClearFaults(void);

NOTESAPI_END_DECLS

#endif /* NOTESAPI_TESTING_H */
