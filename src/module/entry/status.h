/*
 * Status codes of the container-reader module. Every module function returns one of these as a 32-bit
 * value; 0 is success. The host receives the same values from the operation table.
 */
#ifndef NSFREX_MODULE_ENTRY_STATUS_H
#define NSFREX_MODULE_ENTRY_STATUS_H

#include <stdint.h>

typedef int32_t NSFSTATUS;

enum : int32_t {
    NSF_OK = 0,                 /* success */
    NSF_ERR_MEMORY = 2,         /* an allocation failed; the ID table could not be made; no translated name */
    NSF_ERR_OPEN = 4,           /* host stream open at open time, database open, database search */
    NSF_ERR_FAILED = 6,         /* a Notes call failed, bad or missing value, temporary storage failed */
    NSF_ERR_INIT = 12,          /* no input path; the Notes runtime did not start */
    NSF_ERR_IO = 16,            /* host stream or temporary file failed during extraction */
    NSF_ERR_EXCEPTION = 28,     /* a Notes call raised an exception */
    NSF_ERR_ACCESS = 33,        /* a Notes call failed with a no-access status (760, 6402, 6408) */
    NSF_ERR_ARGUMENT = 34       /* a required argument is missing, an index or extra info is invalid */
};

#endif /* NSFREX_MODULE_ENTRY_STATUS_H */
