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

NOTESAPI_END_DECLS

#endif /* NOTESAPI_MIME_H */
