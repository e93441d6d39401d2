/* MIME content of mail notes and rich-text mail bodies. */
#ifndef NOTESAPI_MIME_H
#define NOTESAPI_MIME_H

#include "notesapi/global.h"

NOTESAPI_BEGIN_DECLS

/* Converts the named TYPE_MIME_PART item(s) of an open note into TYPE_COMPOSITE in memory.
 * hCC NULL uses the default conversion controls. */
LNPUBLIC_API STATUS MIMEConvertMIMEPartCC(NOTEHANDLE hNote, const char* pItemName, WORD wItemNameLen,
                                          CCHANDLE hCC);

/* Writes every item named ItemName (NULL: "Body") as one CD file: a host-order type word followed
 * by the canonical CD records. */
LNPUBLIC_API STATUS MailGetMessageBodyComposite(DHANDLE hMessage, const char* ItemName,
                                                const char* OutputFileName, DWORD* OutputFileSize);

/* MIME streams: a note's TYPE_MIME_PART items read back as one MIME entity. */
typedef void* MIMEHANDLE;
#define NULLMIMEHANDLE ((MIMEHANDLE)0)

#define MIME_STREAM_OPEN_READ 0x00000001
#define MIME_STREAM_OPEN_WRITE 0x00000002
#define MIME_STREAM_MIME_INCLUDE_HEADERS 0x00000010    /* the root entity's own MIME headers */
#define MIME_STREAM_RFC2822_INCLUDE_HEADERS 0x00000020 /* the message headers kept as items */
#define MIME_STREAM_INCLUDE_HEADERS (MIME_STREAM_MIME_INCLUDE_HEADERS | MIME_STREAM_RFC2822_INCLUDE_HEADERS)

/* Results of the stream read functions. */
#define MIME_STREAM_SUCCESS 0
#define MIME_STREAM_EOS 1
#define MIME_STREAM_IO 2

/* Serialises the MIME items named pchItemName (NULL: "Body") of an open note into a new stream.
 * Always stores NULL in *rethMIMEStream first. Only reading is provided: MIME_STREAM_OPEN_WRITE
 * alone gives ERR_RUNTIME_NOT_IMPLEMENTED. */
LNPUBLIC_API STATUS MIMEStreamOpen(NOTEHANDLE hNote, const char* pchItemName, WORD wItemNameLen, DWORD dwOpenFlags,
                                   MIMEHANDLE* rethMIMEStream);
/* Up to uiMaxDataLen bytes; *retuiDataLen 0 and MIME_STREAM_EOS at the end. */
LNPUBLIC_API int MIMEStreamRead(unsigned char* chData, unsigned int* retuiDataLen, unsigned int uiMaxDataLen,
                                MIMEHANDLE hMIMEStream);
/* One line with its line end, zero-terminated, cut at uiMaxLineSize - 1 bytes. */
LNPUBLIC_API int MIMEStreamGetLine(char* szLine, unsigned int uiMaxLineSize, MIMEHANDLE hMIMEStream);
LNPUBLIC_API int MIMEStreamRewind(MIMEHANDLE hMIMEStream);
LNPUBLIC_API void MIMEStreamClose(MIMEHANDLE hMIMEStream);

NOTESAPI_END_DECLS

#endif /* NOTESAPI_MIME_H */
