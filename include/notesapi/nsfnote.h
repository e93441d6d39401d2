/* Notes and their items. */
#ifndef NOTESAPI_NSFNOTE_H
#define NOTESAPI_NSFNOTE_H

#include "notesapi/global.h"
#include "notesapi/nsfdata.h"

/* Note classes. */
#define NOTE_CLASS_DOCUMENT 0x0001
#define NOTE_CLASS_DATA NOTE_CLASS_DOCUMENT
#define NOTE_CLASS_INFO 0x0002
#define NOTE_CLASS_FORM 0x0004
#define NOTE_CLASS_VIEW 0x0008
#define NOTE_CLASS_ICON 0x0010
#define NOTE_CLASS_DESIGN 0x0020
#define NOTE_CLASS_ACL 0x0040
#define NOTE_CLASS_HELP_INDEX 0x0080
#define NOTE_CLASS_HELP 0x0100
#define NOTE_CLASS_FILTER 0x0200
#define NOTE_CLASS_FIELD 0x0400
#define NOTE_CLASS_REPLFORMULA 0x0800
#define NOTE_CLASS_PRIVATE 0x1000
#define NOTE_CLASS_DEFAULT 0x8000
#define NOTE_CLASS_NOTIFYDELETION NOTE_CLASS_DEFAULT
#define NOTE_CLASS_ALL 0x7FFF
#define NOTE_CLASS_ALLNONDATA 0x7FFE
#define NOTE_CLASS_NONE 0x0000

#define NOTE_ID_SPECIAL 0xFFFF0000

/* NSFNoteOpenExt flags. */
#define OPEN_SUMMARY 0x00000001
#define OPEN_NOVERIFYDEFAULT 0x00000002
#define OPEN_EXPAND 0x00000004
#define OPEN_NOOBJECTS 0x00000008
#define OPEN_SHARE 0x00000020
#define OPEN_CANONICAL 0x00000040
#define OPEN_MARK_READ 0x00000100
#define OPEN_ABSTRACT 0x00000200
#define OPEN_RESPONSE_ID_TABLE 0x00001000
#define OPEN_WITH_FOLDERS 0x00020000
#define OPEN_RAW_RFC822_TEXT 0x01000000
#define OPEN_RAW_MIME_PART 0x02000000
#define OPEN_RAW_MIME (OPEN_RAW_RFC822_TEXT | OPEN_RAW_MIME_PART)

/* NSFNoteGetInfo selectors. */
#define _NOTE_DB 0
#define _NOTE_ID 1
#define _NOTE_OID 2
#define _NOTE_CLASS 3
#define _NOTE_MODIFIED 4
#define _NOTE_PRIVILEGES 5
#define _NOTE_FLAGS 7
#define _NOTE_ACCESSED 8
#define _NOTE_PARENT_NOTEID 10
#define _NOTE_RESPONSE_COUNT 11
#define _NOTE_RESPONSES 12
#define _NOTE_ADDED_TO_FILE 13
#define _NOTE_OBJSTORE_DB 14

#define NOTE_FLAG_READONLY 0x0001
#define NOTE_FLAG_ABSTRACTED 0x0002
#define NOTE_FLAG_INCREMENTAL 0x0004
#define NOTE_FLAG_LINKED 0x0020
#define NOTE_FLAG_INCREMENTAL_FULL 0x0040
#define NOTE_FLAG_CANONICAL 0x4000

#define NOTE_SIGNED 0x0001
#define NOTE_ENCRYPTED 0x0002

#define DECRYPT_ATTACHMENTS_IN_PLACE 0x0001

/* Extraction flags of NSFNoteExtractFileExt. */
#define NTEXT_RESONLY 0x0001
#define NTEXT_FTYPE_MASK 0x0070
#define NTEXT_FTYPE_FLAT 0x0000
#define NTEXT_FTYPE_MACBIN 0x0010
#define NTEXT_RAWMIME 0x0080
#define NTEXT_IGNORE_HUFF2 0x0100
#define NTEXT_IGNORE_LZ1 0x0200

/* Key for decrypting attachments; opaque to callers. */
typedef struct {
    BYTE Type;
    WORD Length;
    BYTE Key[16];
} ENCRYPTION_KEY;

NOTESAPI_STATIC_ASSERT(sizeof(ENCRYPTION_KEY) == 20, "ENCRYPTION_KEY host size");

NOTESAPI_BEGIN_DECLS

/* Called once per item; Value points at the type word and ValueLength counts it. */
typedef STATUS(LNCALLBACKPTR NSFITEMSCANPROC)(WORD Spare, WORD ItemFlags, char* Name, WORD NameLength,
                                              void* Value, DWORD ValueLength, void* RoutineParameter);

typedef STATUS(LNCALLBACKPTR NOTEEXTRACTCALLBACK)(const BYTE* bytes, DWORD length, void* pParam);

LNPUBLIC_API STATUS NSFNoteOpenExt(DBHANDLE hDB, NOTEID NoteID, DWORD flags, NOTEHANDLE* rethNote);
LNPUBLIC_API STATUS NSFNoteClose(NOTEHANDLE hNote);
/* Value points at a variable of the type the selector names. */
LNPUBLIC_API void NSFNoteGetInfo(NOTEHANDLE hNote, WORD Type, void* Value);
LNPUBLIC_API STATUS NSFNoteDecrypt(NOTEHANDLE hNote, WORD DecryptFlags, ENCRYPTION_KEY* retKeyForAttachments);
LNPUBLIC_API BOOL NSFNoteHasComposite(NOTEHANDLE hNote);
LNPUBLIC_API BOOL NSFNoteHasMIME(NOTEHANDLE hNote);
LNPUBLIC_API BOOL NSFNoteHasMIMEPart(NOTEHANDLE hNote);
LNPUBLIC_API BOOL NSFNoteHasRFC822Text(NOTEHANDLE hNote);

/* The first item named Name (any item when Name is NULL). Every output may be NULL. The value
 * block starts with the type word; the length counts it. */
LNPUBLIC_API STATUS NSFItemInfo(NOTEHANDLE hNote, const char* Name, WORD NameLength, BLOCKID* retbhItem,
                                WORD* retDataType, BLOCKID* retbhValue, DWORD* retValueLength);
/* The item after NextItem with that name (any name when Name is NULL). */
LNPUBLIC_API STATUS NSFItemInfoNext(NOTEHANDLE hNote, BLOCKID NextItem, const char* Name, WORD NameLength,
                                    BLOCKID* retbhItem, WORD* retDataType, BLOCKID* retbhValue,
                                    DWORD* retValueLength);
LNPUBLIC_API void NSFItemQuery(NOTEHANDLE hNote, BLOCKID bhItem, char* retItemName, WORD ItemNameBufferLength,
                               WORD* retItemNameLength, WORD* retItemFlags, WORD* retDataType,
                               BLOCKID* retbhValue, DWORD* retValueLength);
LNPUBLIC_API STATUS NSFItemScan(NOTEHANDLE hNote, NSFITEMSCANPROC ActionRoutine, void* RoutineParameter);
/* Text of a text item, truncated to the buffer; 0 for an empty or missing item. */
LNPUBLIC_API WORD NSFItemGetText(NOTEHANDLE hNote, const char* ItemName, char* retBuffer, WORD BufferLength);
/* Any value as LMBCS text, list entries separated by SepChar (0 gives ';'). */
LNPUBLIC_API WORD NSFItemConvertValueToText(WORD DataType, BLOCKID bhValue, DWORD ValueLength, char* retBuffer,
                                            WORD BufferLength, char SepChar);
LNPUBLIC_API WORD NSFItemConvertToText(NOTEHANDLE hNote, const char* ItemName, char* retBuffer,
                                       WORD BufferLength, char SepChar);

/* Attachments and OLE objects. */
LNPUBLIC_API STATUS NSFNoteExtractFile(NOTEHANDLE hNote, BLOCKID bhItem, const char* FileName,
                                       ENCRYPTION_KEY* DecryptionKey);
LNPUBLIC_API STATUS NSFNoteExtractWithCallback(NOTEHANDLE hNote, BLOCKID bhItem, ENCRYPTION_KEY* DecryptionKey,
                                               WORD wFlags, NOTEEXTRACTCALLBACK pNoteExtractCallback,
                                               void* pParam);
LNPUBLIC_API STATUS NSFNoteExtractOLE2Object(NOTEHANDLE hNote, const char* pszObjectName, const char* pszFileName,
                                             ENCRYPTION_KEY* pEncryptionKey, BOOL fOverwrite, DWORD dwFlags);

NOTESAPI_END_DECLS

/* Presence test: NOERROR when the note has an item of that name. */
#define NSFItemIsPresent(hNote, Name, NameLength) \
    (NSFItemInfo((hNote), (Name), (NameLength), NULL, NULL, NULL, NULL) == 0)

#endif /* NOTESAPI_NSFNOTE_H */
