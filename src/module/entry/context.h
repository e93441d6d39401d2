/*
 * The reader context: everything one open container needs, in one block from the host's allocator.
 * Open (nsfInit) creates it zero-filled, every other operation receives it first, close (nsfShutdown)
 * releases every table, record and buffer it owns and then the block itself.
 */
#ifndef NSFREX_MODULE_ENTRY_CONTEXT_H
#define NSFREX_MODULE_ENTRY_CONTEXT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "nsfrex/host.h"
#include "entry/status.h"

#define NSF_TEXT_SIZE 1024          /* szText: scratch text of every log message */
#define NSF_FILENAME8_SIZE 9        /* szFileName8: 8 characters and the terminator */
#define NSF_USER_ID_FILE_SIZE 8192  /* szUserIdFile */
#define NSF_PASSWORD_SIZE 150       /* szPassword: at most 149 characters */
#define NSF_TEMP_DIR_SIZE 260       /* szTempDir */
#define NSF_MAIL_LOGO_FIELD_NAME_SIZE 32
#define NSF_MAIL_LOGO_FIELD_DEFAULT_SIZE 64
#define NSF_ALT_SENT_FIELD_SIZE 32
#define NSF_ITEM_NAME_SIZE 130      /* one buffer of rgItemNames */
#define NSF_IMAGE_LINK_NAME_SIZE 64
#define NSF_FOLDER_NAME_SIZE 128

/* One credential built from the host's CredentialList. Both strings come from ZAPI.fpStrdup. */
typedef struct Cred {
    char *pszUserIdFile;
    char *pszPassword;      /* may be null */
    int32_t cNotes;         /* document notes opened while testing */
    int32_t cBody;          /* of those, notes holding a "Body" item */
} Cred;

/* One subfile: a note, an attachment, an embedded object or the root folder. */
typedef struct SubFile {
    int32_t nSubFile;           /* own position in rgSubFiles */
    int32_t nSubFileType;       /* host subfile type (TMSubFileType_*) */
    uint32_t dwNoteID;          /* the note, or the note holding the attachment */
    uint8_t bNoteIsMail;
    int32_t nMailLogoImage;     /* 1 + index in rgImages; 0 = no logo */
    int32_t nAttachment;        /* 1-based position among the note's $FILE items */
    int32_t cbOrigFileName;
    uint8_t *rgbOrigFileName;   /* LMBCS name, owned; may be null */
    int32_t cbFileName;
    uint8_t *pbFileName;        /* UTF-8 name, owned; may be null */
    uint8_t fileTime[8];        /* host file time */
} SubFile;

/* One image resource note of the image catalogue. */
typedef struct Image {
    int32_t nImage;             /* own position in rgImages */
    uint32_t dwNoteID;
    char pszLinkName[NSF_IMAGE_LINK_NAME_SIZE];
    uint16_t wImageType;        /* 1 GIF, 2 JPEG, 3 BMP */
    uint8_t *rgbData;           /* owned; may be null */
    uint32_t ucbData;
    uint32_t ucbDataSize;
} Image;

/* One folder with its member note IDs, allocated as one block sized for cNoteIDs entries
   (offsetof(Folder, rgNoteIDs) + cNoteIDs * sizeof(uint32_t)). */
typedef struct Folder {
    uint32_t dwNoteID;
    char szName[NSF_FOLDER_NAME_SIZE];
    int32_t cNoteIDs;
    uint32_t rgNoteIDs[1];      /* cNoteIDs entries, ascending */
} Folder;

typedef struct NsfContext {
    ZAPI *pZAPI;                        /* host services given to open */
    int32_t nLogLevel;                  /* highest level written; 0 = no log */
    FILE *pLogFile;
    char szText[NSF_TEXT_SIZE];         /* scratch text for every log message */
    uint8_t bLogTimestamp;
    uint8_t bLogAPI;
    const char *pszFuncAPI;             /* Notes API function being called; null between calls */

    uint8_t *rgbBuffer;                 /* main work buffer, ucbBufferSize + 16 bytes */
    uint32_t ucbBuffer;
    uint32_t ucbBufferSize;
    uint8_t *rgbBuffer2;                /* temp buffer 2 */
    uint32_t ucbBuffer2;
    uint32_t ucbBuffer2Size;
    uint8_t *rgbBuffer3;                /* temp buffer 3 */
    uint32_t ucbBuffer3;
    uint32_t ucbBuffer3Size;

    uint8_t bNotesInitialized;          /* this context started the Notes runtime */
    char szFileName8[NSF_FILENAME8_SIZE];
    IOobj64 *pIOobj;                    /* the database stream given to open */
    char szUserIdFile[NSF_USER_ID_FILE_SIZE];   /* ID file current before open; empty = no switch */
    char szPassword[NSF_PASSWORD_SIZE];
    uint32_t hDb;                       /* database handle; 0 = not open */
    uint32_t dwFlags;                   /* open flags (CNVO_*) */
    Cred *rgCreds;
    int32_t cCreds;

    uint8_t bExportDXL;
    uint8_t bExportDXL_PureXML;
    uint8_t bExtractAllNotes;
    uint8_t bExtractAllFields;
    char szTempDir[NSF_TEMP_DIR_SIZE];  /* empty = none */
    char szMailLogoFieldName[NSF_MAIL_LOGO_FIELD_NAME_SIZE];
    char szMailLogoFieldDefaultValue[NSF_MAIL_LOGO_FIELD_DEFAULT_SIZE];
    char szAltSentField[NSF_ALT_SENT_FIELD_SIZE];

    uint32_t hIDTable;                  /* ID table of a search in progress; 0 = none */
    int32_t dwIDEntries;

    SubFile **rgSubFiles;
    int32_t cSubFiles;
    int32_t cSubFilesMax;
    int32_t nIndex;                     /* subfile named by the current host call */

    Image **rgImages;
    int32_t cImages;
    int32_t cImagesMax;
    Image *pImageWork;                  /* image being filled while an image note is read */

    uint8_t bExcludeMailHeader;
    uint8_t bGetFormattedBody;

    char **rgItemNames;                 /* NSF_ITEM_NAME_SIZE-byte name buffers */
    int32_t cItemNames;
    int32_t cItemNamesMax;

    Folder **rgFolders;
    int32_t cFolders;
    int32_t cFoldersMax;

    uint8_t bTempDirCreated;            /* szTempDir was made by nsfCreateTempDir (not given by TempDir) */
} NsfContext;

/* The host's allocator inside the context's ZAPI. */
static inline MemoryService *nsfMemoryService(NsfContext *pContext)
{
    return &pContext->pZAPI->memoryService;
}

#endif /* NSFREX_MODULE_ENTRY_CONTEXT_H */
