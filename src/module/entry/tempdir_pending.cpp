/* Stand-ins for the temporary directory until its own implementation is linked in (which replaces them). */
#include "entry/tempdir_pending.h"

__attribute__((weak)) NSFSTATUS nsfCreateTempDir(NsfContext *pContext)
{
    pContext->szTempDir[0] = '\0';
    return NSF_OK;
}

__attribute__((weak)) NSFSTATUS nsfDeleteTempDir(NsfContext *)
{
    return NSF_OK;
}
