/*
 * The subfile table: the notes and attachments of the database as the host's subfiles.
 */
#ifndef NSFREX_MODULE_CATALOGUE_SUBFILES_H
#define NSFREX_MODULE_CATALOGUE_SUBFILES_H

#include "entry/context.h"

/* Builds rgSubFiles (and the image catalogue) from the open database. */
NSFSTATUS nsfInitSubfiles(NsfContext *pContext);

#endif /* NSFREX_MODULE_CATALOGUE_SUBFILES_H */
