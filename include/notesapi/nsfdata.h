/* Item value types, item flags and the identity and object structures of notes (host layout). */
#ifndef NOTESAPI_NSFDATA_H
#define NOTESAPI_NSFDATA_H

#include "notesapi/global.h"

/* Value type classes (high byte of a TYPE_* value). */
#define CLASS_NOCOMPUTE 0x0000
#define CLASS_ERROR 0x0100
#define CLASS_UNAVAILABLE 0x0200
#define CLASS_NUMBER 0x0300
#define CLASS_TIME 0x0400
#define CLASS_TEXT 0x0500
#define CLASS_FORMULA 0x0600
#define CLASS_USERID 0x0700
#define CLASS_MASK 0xFF00

/* Computable types: values are handed out in host form. */
#define TYPE_ERROR 0x0100
#define TYPE_UNAVAILABLE 0x0200
#define TYPE_NUMBER 0x0300
#define TYPE_NUMBER_RANGE 0x0301
#define TYPE_TIME 0x0400
#define TYPE_TIME_RANGE 0x0401
#define TYPE_TEXT 0x0500
#define TYPE_TEXT_LIST 0x0501
#define TYPE_RFC822_TEXT 0x0502
#define TYPE_FORMULA 0x0600
#define TYPE_USERID 0x0700

/* Non-computable types: most stay in canonical form. */
#define TYPE_INVALID_OR_UNKNOWN 0x0000
#define TYPE_COMPOSITE 0x0001
#define TYPE_COLLATION 0x0002
#define TYPE_OBJECT 0x0003
#define TYPE_NOTEREF_LIST 0x0004
#define TYPE_VIEW_FORMAT 0x0005
#define TYPE_ICON 0x0006
#define TYPE_NOTELINK_LIST 0x0007
#define TYPE_SIGNATURE 0x0008
#define TYPE_SEAL 0x0009
#define TYPE_SEALDATA 0x000A
#define TYPE_SEAL_LIST 0x000B
#define TYPE_HIGHLIGHTS 0x000C
#define TYPE_WORKSHEET_DATA 0x000D
#define TYPE_USERDATA 0x000E
#define TYPE_QUERY 0x000F
#define TYPE_ACTION 0x0010
#define TYPE_ASSISTANT_INFO 0x0011
#define TYPE_VIEWMAP_DATASET 0x0012
#define TYPE_VIEWMAP_LAYOUT 0x0013
#define TYPE_LSOBJECT 0x0014
#define TYPE_HTML 0x0015
#define TYPE_SCHED_LIST 0x0016
#define TYPE_CALENDAR_FORMAT 0x0018
#define TYPE_MIME_PART 0x0019
#define TYPE_SEAL2 0x001F

/* Item flags, as passed to NSFItemScan callbacks. */
#define ITEM_SIGN 0x0001
#define ITEM_SEAL 0x0002
#define ITEM_SUMMARY 0x0004
#define ITEM_READWRITERS 0x0020
#define ITEM_NAMES 0x0040
#define ITEM_PLACEHOLDER 0x0100
#define ITEM_PROTECTED 0x0200
#define ITEM_READERS 0x0400
#define ITEM_UNCHANGED 0x1000

/* Universal note ID: the first 16 bytes of an originator ID. */
typedef struct {
    DBID File;
    TIMEDATE Note;
} UNIVERSALNOTEID, UNID;

typedef struct {
    DBID File;
    TIMEDATE Note;
    DWORD Sequence;
    TIMEDATE SequenceTime;
} ORIGINATORID, OID;

#define OID_SEQNO_MASK 0x00FFFFFF
#define OID_NO_REPLICATE 0x80000000

typedef struct {
    DBID File;
    TIMEDATE Note;
    NOTEID NoteID;
} GLOBALINSTANCEID;

typedef struct {
    TIMEDATE File;
    UNIVERSALNOTEID View;
    UNIVERSALNOTEID Note;
} NOTELINK;

/* Summary buffer header and per-item lengths (always canonical in a buffer). */
typedef struct {
    WORD Length;
    WORD Items;
} ITEM_TABLE;

typedef struct {
    WORD NameLength;
    WORD ValueLength;
} ITEM;

/* Objects and attachments. */
typedef struct {
    WORD ObjectType;
    DWORD RRV;
} OBJECT_DESCRIPTOR;

#define OBJECT_FILE 0
#define OBJECT_FILTER_LEFTTODO 3
#define OBJECT_ASSIST_RUNDATA 8
#define OBJECT_UNKNOWN 0xFFFF
#define OBJECT_NO_COPY 0x8000
#define OBJECT_PRESERVE 0x4000
#define OBJECT_PUBLIC 0x2000

typedef struct {
    OBJECT_DESCRIPTOR Header;
    WORD FileNameLength;
    WORD HostType;
    WORD CompressionType;
    WORD FileAttributes;
    WORD Flags;
    DWORD FileSize;
    TIMEDATE FileCreated;
    TIMEDATE FileModified;
} FILEOBJECT;

#define HOST_MASK 0x0F00
#define HOST_MSDOS 0x0000
#define HOST_OLE 0x0100
#define HOST_MAC 0x0200
#define HOST_UNKNOWN 0x0300
#define HOST_HPFS 0x0400
#define HOST_OLELIB 0x0500
#define HOST_BYTEARRAY_EXT 0x0600
#define HOST_BYTEARRAY_PAGE 0x0700
#define HOST_CDSTORAGE 0x0800
#define HOST_STREAM 0x0900
#define HOST_LINK 0x0A00
#define HOST_LOCAL 0x0F00

#define COMPRESS_MASK 0x000F
#define COMPRESS_NONE 0
#define COMPRESS_HUFF 1
#define COMPRESS_LZ1 2
#define COMPRESS_RECOMPRESS_HUFF 3

#define ATTRIB_READONLY 0x0001
#define ATTRIB_PRIVATE 0x0002

#define FILEFLAG_SIGN 0x0001
#define FILEFLAG_INDOC 0x0002
#define FILEFLAG_MIME 0x0004
#define FILEFLAG_AUTOCOMPRESSED 0x0080
#define FILEFLAG_TEMP 0x8000

#define ENCODE_MASK 0x0038
#define ENCODE_NONE 0x0000
#define ENCODE_BASE64 0x0008
#define ENCODE_QP 0x0010
#define ENCODE_UUENCODE 0x0018
#define ENCODE_EXTENSION 0x0020

/* MIME part header at the start of a TYPE_MIME_PART value (after the type word). */
typedef struct {
    WORD wVersion;
    DWORD dwFlags;
    BYTE cPartType;
    BYTE cSpare;
    WORD wByteCount;
    WORD wBoundaryLen;
    WORD wHeadersLen;
    WORD wSpare;
    DWORD dwSpare;
} MIME_PART;

#define MIME_PART_VERSION 2
#define MIME_PART_HAS_BOUNDARY 0x00000001
#define MIME_PART_HAS_HEADERS 0x00000002
#define MIME_PART_BODY_IN_DBOBJECT 0x00000004
#define MIME_PART_SHARED_DBOBJECT 0x00000008

/* Well-known item names. */
#define ITEM_NAME_ATTACHMENT "$FILE"
#define ITEM_NAME_FONTS "$Fonts"
#define ITEM_NAME_LINK "$Links"
#define ITEM_NAME_NOTE_SEAL "$Seal"
#define ITEM_NAME_NOTE_SEAL2 "$Seal2"
#define ITEM_NAME_NOTE_SEALDATA "$SealData"
#define MAIL_BODY_ITEM "Body"

NOTESAPI_STATIC_ASSERT(sizeof(UNIVERSALNOTEID) == 16, "UNID size");
NOTESAPI_STATIC_ASSERT(sizeof(ORIGINATORID) == 28, "ORIGINATORID size");
NOTESAPI_STATIC_ASSERT(sizeof(GLOBALINSTANCEID) == 20, "GLOBALINSTANCEID size");
NOTESAPI_STATIC_ASSERT(sizeof(NOTELINK) == 40, "NOTELINK size");
NOTESAPI_STATIC_ASSERT(sizeof(ITEM_TABLE) == 4 && sizeof(ITEM) == 4, "ITEM_TABLE/ITEM sizes");
NOTESAPI_STATIC_ASSERT(sizeof(OBJECT_DESCRIPTOR) == 8, "OBJECT_DESCRIPTOR host size (6 on disk)");
NOTESAPI_STATIC_ASSERT(sizeof(FILEOBJECT) == 40, "FILEOBJECT host size (36 on disk)");
NOTESAPI_STATIC_ASSERT(sizeof(MIME_PART) == 24, "MIME_PART host size (20 on disk)");

#endif /* NOTESAPI_NSFDATA_H */
