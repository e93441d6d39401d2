/*
 * The module's configuration: section "nsfrex" of the host's configuration, read once at open.
 */
#ifndef NSFREX_MODULE_ENTRY_OPTIONS_H
#define NSFREX_MODULE_ENTRY_OPTIONS_H

#include "entry/context.h"

#define NSF_OPTION_SECTION "nsfrex"
#define NSF_OPTION_FLAG_SIZE 32

/* Reads every key into the context. Always returns 0: a missing key keeps its default. */
NSFSTATUS nsfInitOptions(NsfContext *pContext);

#endif /* NSFREX_MODULE_ENTRY_OPTIONS_H */
