/*
 * Starting the Notes runtime for a context (stopped again by nsfShutdown).
 */
#ifndef NSFREX_MODULE_NOTES_RUNTIME_H
#define NSFREX_MODULE_NOTES_RUNTIME_H

#include "entry/context.h"

/* Starts the runtime under the machine-wide mutex; sets bNotesInitialized. Returns 0 or 12. */
NSFSTATUS nsfInitNotes(NsfContext *pContext);

#endif /* NSFREX_MODULE_NOTES_RUNTIME_H */
