/* Status codes. A STATUS carries two flag bits above a 14-bit error code; compare whole ERR()
 * values, because package bases are not all multiples of 0x100. */
#ifndef NOTESAPI_STATUS_H
#define NOTESAPI_STATUS_H

#include "notesapi/global.h"

#define NOERROR ((STATUS)0)

#define STS_DISPLAYED 0x8000
#define STS_REMOTE 0x4000
#define ERR_MASK 0x3FFF
#define PKG_MASK 0x3F00
#define ERRNUM_MASK 0x00FF
#define ERR(x) ((STATUS)((x) & ERR_MASK))

#define PKG_OS 0x0100
#define PKG_NSF 0x0200
#define PKG_NSF2 0x0380
#define PKG_MISC 0x0400
#define PKG_ODS 0x0600
#define PKG_BSAFE 0x1700
#define PKG_SECURE 0x1900
/* Codes of this runtime itself, for conditions the published packages have no code for. */
#define PKG_RUNTIME 0x3F00

/* Operating system */
#define ERR_NOEXIST ((STATUS)(PKG_OS + 3))          /* 259: file does not exist */
#define ERR_NO_NOTESINI ((STATUS)(PKG_OS + 165))    /* 421: notes.ini not found */

/* Databases and notes */
#define ERR_NOT_NSF ((STATUS)(PKG_NSF + 1))                   /* 513 */
#define ERR_NSF_VERSION ((STATUS)(PKG_NSF + 25))              /* 537 */
#define ERR_DIRECTORY ((STATUS)(PKG_NSF + 28))                /* 540 */
#define ERR_ITEM_NOT_FOUND ((STATUS)(PKG_NSF + 34))           /* 546 */
#define ERR_NOTE_DELETED ((STATUS)(PKG_NSF + 37))             /* 549 */
#define ERR_INVALID_NOTE ((STATUS)(PKG_NSF + 39))             /* 551 */
#define ERR_ENCODING ((STATUS)(PKG_NSF + 58))                 /* 570: unknown compression */
#define ERR_NOACCESS ((STATUS)(PKG_NSF + 70))                 /* 582 */
#define ERR_NOTE_BADATTSIGN ((STATUS)(PKG_NSF + 97))          /* 609 */
#define ERR_NOTE_NOT_SEALED ((STATUS)(PKG_NSF + 98))          /* 610 */
#define ERR_NOEXTRACT_ENCRYPTED ((STATUS)(PKG_NSF + 100))     /* 612 */
#define ERR_NOT_SEALED_FOR_YOU ((STATUS)(PKG_NSF + 101))      /* 613 */
#define ERR_BSAFE4_TE_NOT_ME ERR_NOT_SEALED_FOR_YOU
#define ERR_INVALID_ITEMUNK ((STATUS)(PKG_NSF + 115))         /* 627 */
#define ERR_LOCALSEC_DBOPENFAILURE ((STATUS)(PKG_NSF + 248))  /* 760 */
#define ERR_NOTE_NOT_FOLDER ((STATUS)(PKG_NSF2 + 51))         /* 947 */

/* Miscellaneous */
#define ERR_NOT_FOUND ((STATUS)(PKG_MISC + 4))           /* 1028: entry not found in index */
#define ERR_MISC_INVALID_ARGS ((STATUS)(PKG_MISC + 149))  /* 1173 */

/* On-disk structures */
#define ERR_DATATYPE ((STATUS)(PKG_ODS + 2))           /* 1538 */
#define ERR_ODS_ENUM_COMPLETE ((STATUS)(PKG_ODS + 4))  /* 1540: not a failure */

/* Security */
#define ERR_BSAFE_UNSUPPORTED_CRYPTO_OP ((STATUS)0x0E61)  /* 3681 */
#define ERR_BSAFE_TOOSMALL ((STATUS)(PKG_BSAFE + 15))     /* 5903 */
#define ERR_BSAFE_SUBPROCESS ((STATUS)(PKG_BSAFE + 34))   /* 5922 */
#define ERR_BSAFE_USER_ABORT ((STATUS)(PKG_BSAFE + 40))   /* 5928 */
#define ERR_SECURE_NOKEYFILE ((STATUS)(PKG_SECURE + 2))   /* 6402 */
#define ERR_SECURE_BADPASSWORD ((STATUS)(PKG_SECURE + 8)) /* 6408 */
#define ERR_BSAFE4_TE_PASSWORD ERR_SECURE_BADPASSWORD

#define ERR_NSF_NOT_SUPPORTED ((STATUS)0x29B1)  /* 10673 */

/* This runtime's own codes */
#define ERR_RUNTIME_BAD_HANDLE ((STATUS)(PKG_RUNTIME + 1))       /* stale, foreign or wrong-type handle */
#define ERR_RUNTIME_NOT_IMPLEMENTED ((STATUS)(PKG_RUNTIME + 2))  /* operation not provided */
#define ERR_RUNTIME_NOT_INITIALIZED ((STATUS)(PKG_RUNTIME + 3))  /* NotesInitExtended not called */
#define ERR_RUNTIME_NO_MEMORY ((STATUS)(PKG_RUNTIME + 4))        /* allocation failed */
#define ERR_RUNTIME_CORRUPT ((STATUS)(PKG_RUNTIME + 5))          /* damaged database structure */
#define ERR_RUNTIME_IO ((STATUS)(PKG_RUNTIME + 6))               /* read or write failed */
#define ERR_RUNTIME_INJECTED ((STATUS)(PKG_RUNTIME + 7))         /* test fault injection */
#define ERR_RUNTIME_INTERNAL ((STATUS)(PKG_RUNTIME + 8))         /* unexpected internal failure */
#define ERR_RUNTIME_TOO_LARGE ((STATUS)(PKG_RUNTIME + 9))        /* value too large for the call */

#endif /* NOTESAPI_STATUS_H */
