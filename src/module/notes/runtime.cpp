/*
 * Starting the Notes runtime. Not written yet: open goes on as if the runtime had started, and
 * bNotesInitialized stays 0 so that close does not stop it.
 */
#include "notes/runtime.h"

NSFSTATUS nsfInitNotes(NsfContext *)
{
    return NSF_OK;
}
