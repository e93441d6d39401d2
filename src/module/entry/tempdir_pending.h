/* The temporary directory's interface until entry/tempdir.h exists. */
#ifndef NSFREX_MODULE_ENTRY_TEMPDIR_PENDING_H
#define NSFREX_MODULE_ENTRY_TEMPDIR_PENDING_H

#if __has_include("entry/tempdir.h")
#include "entry/tempdir.h"
#else
#include "entry/context.h"
NSFSTATUS nsfCreateTempDir(NsfContext *pContext);
NSFSTATUS nsfDeleteTempDir(NsfContext *pContext);
#endif

#endif
