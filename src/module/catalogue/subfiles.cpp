/*
 * The subfile table. Not written yet: the table stays empty.
 */
#include "catalogue/subfiles.h"

NSFSTATUS nsfInitSubfiles(NsfContext *)
{
    return NSF_OK;
}
