/*
 * Credentials and database access. Not written yet: every step reports success without touching
 * the Notes runtime, so open succeeds on any path.
 */
#include "notes/database.h"

NSFSTATUS nsfSaveUserIdFile(NsfContext *)
{
    return NSF_OK;
}

NSFSTATUS nsfInitCreds(NsfContext *, const CredentialList *)
{
    return NSF_OK;
}

NSFSTATUS nsfTestCreds(NsfContext *, const char *, Cred *)
{
    return NSF_OK;
}

NSFSTATUS nsfOpenDatabase(NsfContext *, const char *, const char *, const char *)
{
    return NSF_OK;
}

NSFSTATUS nsfCloseDatabase(NsfContext *)
{
    return NSF_OK;
}
