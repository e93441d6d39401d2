/*
 * The mail exporter (libnsfrexmail.so): mail notes as RFC 5322 messages, built on the published Notes
 * C API alone, so that it runs on any runtime that provides it. A host loads the library with dlopen
 * and asks nsfmailGetInterface for the operation table.
 *
 * Rich-text bodies are rendered by the caller (pfnRender): the exporter has no rich-text renderer of
 * its own and asks for the body's text and its HTML; without an HTML rendering the HTML alternative
 * is made from the text.
 */
#ifndef NSFREX_MAIL_EXPORT_H
#define NSFREX_MAIL_EXPORT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NSFMAIL_INTERFACE_VERSION 1

/* Statuses. */
#define NSFMAIL_OK 0
#define NSFMAIL_ERR_ARGS 1     /* null argument, unknown version */
#define NSFMAIL_ERR_NOTES 2    /* a Notes C API call failed; the message names it and its status */
#define NSFMAIL_ERR_WRITE 3    /* the sink refused bytes */
#define NSFMAIL_ERR_MEMORY 4
#define NSFMAIL_ERR_NOT_MAIL 5 /* the note is not a mail message */

/* Renderings a caller may give for a rich-text body. */
/* fpWriteMessage flags. */
#define NSFMAIL_MBOX_ENTRY 0x1u

#define NSFMAIL_BODY_TEXT 1 /* the body's text, UTF-8 */
#define NSFMAIL_BODY_HTML 2 /* an HTML document, or a MIME multipart/related entity of HTML and images */

/* Takes cb bytes; returns non-zero on success. */
typedef int32_t (*NsfMailWriteFunc)(void *pvSink, const uint8_t *pb, uint32_t cb);
/* Writes the rendering nKind of note dwNoteID's rich-text Body through pfnWrite. Returns 0 when it
   did, non-zero when the caller has no such rendering. */
typedef int32_t (*NsfMailRenderFunc)(void *pvRenderer, uint32_t dwNoteID, int32_t nKind, NsfMailWriteFunc pfnWrite,
                                     void *pvSink);
/* One folder: its name (UTF-8, levels separated by '\'), and the note IDs it holds. */
typedef void (*NsfMailFolderFunc)(void *pv, const char *pszName, const uint32_t *rgNoteIDs, uint32_t cNoteIDs);

typedef struct NsfMailSession NsfMailSession;

typedef struct NsfMailInterface {
    uint32_t dwVersion;
    /* Opens a database read-only. szError (cbError bytes) receives why it failed. */
    int32_t (*fpOpen)(const char *pszDatabase, NsfMailSession **ppSession, char *szError, uint32_t cbError);
    void (*fpClose)(NsfMailSession *pSession);
    /* 1 when note dwNoteID is a mail message, 0 when not, negative when it cannot be read. */
    int32_t (*fpIsMail)(NsfMailSession *pSession, uint32_t dwNoteID);
    /* Writes the note as one message with CR LF line ends; with NSFMAIL_MBOX_ENTRY as an mbox entry: a
       "From " line, the message in LF lines with "From " lines quoted (mboxrd), and a blank line. */
    int32_t (*fpWriteMessage)(NsfMailSession *pSession, uint32_t dwNoteID, uint32_t dwFlags, NsfMailRenderFunc pfnRender,
                              void *pvRenderer, NsfMailWriteFunc pfnWrite, void *pvSink, char *szError,
                              uint32_t cbError);
    /* Calls pfnFolder once per folder of the database. */
    int32_t (*fpListFolders)(NsfMailSession *pSession, NsfMailFolderFunc pfnFolder, void *pv, char *szError,
                             uint32_t cbError);
} NsfMailInterface;

/* Fills *pInterface for dwVersion NSFMAIL_INTERFACE_VERSION. */
int32_t nsfmailGetInterface(uint32_t dwVersion, NsfMailInterface *pInterface);
typedef int32_t (*NsfMailGetInterfaceFunc)(uint32_t dwVersion, NsfMailInterface *pInterface);

#ifdef __cplusplus
}
#endif

#endif /* NSFREX_MAIL_EXPORT_H */
