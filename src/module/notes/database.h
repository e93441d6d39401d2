/*
 * Credentials and database access: the current user ID, the credentials the host gives, opening and
 * closing the database.
 */
#ifndef NSFREX_MODULE_NOTES_DATABASE_H
#define NSFREX_MODULE_NOTES_DATABASE_H

#include "nsfrex/host.h"
#include "entry/context.h"

/* Saves the current user ID file and its password in szUserIdFile and szPassword. */
NSFSTATUS nsfSaveUserIdFile(NsfContext *pContext);
/* Appends one credential (the password may be null). */
NSFSTATUS nsfNewCred(NsfContext *pContext, const char *pszUserIdFile, const char *pszPassword);
/* Builds rgCreds from the host's credential list. */
NSFSTATUS nsfInitCreds(NsfContext *pContext, const CredentialList *pCredList);
/* Opens the database under one credential and counts the notes and bodies it can read. */
NSFSTATUS nsfTestCreds(NsfContext *pContext, const char *pszPath, Cred *pCred);
/* Switches to the ID file (when given) and opens the database into hDb. */
NSFSTATUS nsfOpenDatabase(NsfContext *pContext, const char *pszPath, const char *pszUserIdFile,
                          const char *pszPassword);
/* Switches back to the saved ID file and closes hDb. */
NSFSTATUS nsfCloseDatabase(NsfContext *pContext);

#endif /* NSFREX_MODULE_NOTES_DATABASE_H */
