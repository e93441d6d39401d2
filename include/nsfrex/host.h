/*
 * The records that cross the boundary between the filter host and a container-reader module.
 *
 * Both sides are compiled from this header. The layouts are the 64-bit, little-endian, naturally aligned
 * ones the host defines; every member the module touches sits at a fixed byte offset, pinned below by a
 * static_assert. Members that only the host uses are named for what the reference host keeps in them.
 */
#ifndef NSFREX_HOST_H
#define NSFREX_HOST_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZAPI ZAPI;
typedef struct IOobj64 IOobj64;

/* ---- Allocator ----------------------------------------------------------------------------------- */

/* Every entry is called with the address of the MemoryService itself as its first argument. */
typedef struct MemoryService MemoryService;
typedef void *(*MemMallocFunc)(MemoryService *pService, size_t cb);
typedef void (*MemFreeFunc)(MemoryService *pService, void *pv);
typedef void *(*MemResizeFunc)(MemoryService *pService, void *pv, size_t cb);
typedef void *(*MemReallocFunc)(MemoryService *pService, void *pv, size_t cb);

struct MemoryService {
    void *pOwner;               /* entry 0: the host's own state */
    MemMallocFunc fpMalloc;     /* entry 1 */
    MemFreeFunc fpFree;         /* entry 2 */
    MemResizeFunc fpResize;     /* entry 3: a null pointer allocates */
    void *rgpReserved[7];       /* entries 4 to 10: host-private */
    MemReallocFunc fpRealloc;   /* entry 11 */
};

/* The allocator handed to slots 3 and 4: its second pointer-sized member is a MemoryService. */
typedef struct HostAllocatorRef {
    void *pHost;
    MemoryService *pAllocator;
} HostAllocatorRef;

/* ---- Streams ------------------------------------------------------------------------------------- */

typedef int32_t (*IOOpenFunc)(IOobj64 *pIO);
typedef int32_t (*IOReadFunc)(IOobj64 *pIO, uint8_t *pb, uint32_t cb);
typedef int32_t (*IOWriteFunc)(IOobj64 *pIO, const uint8_t *pb, uint32_t cb);
typedef int64_t (*IOSeekFunc)(IOobj64 *pIO, int64_t off, int32_t origin);
typedef int64_t (*IOTellFunc)(IOobj64 *pIO);
typedef int32_t (*IOCloseFunc)(IOobj64 *pIO);

/* A host I/O object: an input database (by its path) or an output stream. Functions return non-zero
   on success. */
struct IOobj64 {
    void *pHostData;           /*   0 */
    void *pUserData;           /*   8 */
    int64_t cbSize;            /*  16 */
    uint32_t dwMode;           /*  24 */
    uint32_t dwReserved;       /*  28 */
    char *pFileName;           /*  32: NUL-terminated 8-bit path or stream name */
    void *pHandle;             /*  40 */
    void *pReserved;           /*  48 */
    IOOpenFunc twOpenFunc;     /*  56 */
    IOReadFunc twReadFunc;     /*  64 */
    IOWriteFunc twWriteFunc;   /*  72 */
    IOSeekFunc twSeekFunc;     /*  80 */
    IOTellFunc twTellFunc;     /*  88 */
    IOCloseFunc twCloseFunc;   /*  96 */
};

/* A growable in-memory byte stream made by the host (fpOpenMemoryStream). */
typedef struct MemoryStream MemoryStream;
struct MemoryStream {
    void *pHostData;                                           /*   0 */
    uint8_t *pbData;                                           /*   8 */
    int64_t cbData;                                            /*  16 */
    int64_t cbCapacity;                                        /*  24 */
    void *hStream;                                             /*  32: handed to the image library */
    int64_t nPosition;                                         /*  40 */
    ZAPI *pZAPI;                                               /*  48 */
    int32_t (*fpPrepare)(MemoryStream *pStream);               /*  56: called once after creation */
    int32_t (*fpRead)(MemoryStream *pStream, void *pv, int32_t cb);         /*  64 */
    int32_t (*fpWrite)(MemoryStream *pStream, const void *pv, int32_t cb);  /*  72 */
    int32_t (*fpSeek)(MemoryStream *pStream, int64_t off, int32_t origin);  /*  80: 0 start, 2 end */
    int64_t (*fpTell)(MemoryStream *pStream);                  /*  88 */
    void *rgpReserved[2];                                      /*  96 */
    void (*fpRelease)(MemoryStream *pStream);                  /* 112: may be null */
};

/* ---- Host services ------------------------------------------------------------------------------- */

typedef struct TextPair {
    uint8_t *pb;
    int32_t cb;
} TextPair;

typedef int32_t (*ZLoadLibraryFunc)(ZAPI *pZAPI, const char *pszFileName, void **phLib);
typedef void *(*ZGetEntryFunc)(ZAPI *pZAPI, void *hLib, const char *pszEntry);
typedef int32_t (*ZFreeLibraryFunc)(ZAPI *pZAPI, void *hLib);
typedef int32_t (*ZGetOptionFunc)(ZAPI *pZAPI, const char *pszSection, const char *pszKey,
                                  const char *pszDefault, char *pszOut, uint32_t cbOut, int32_t nReserved);
typedef MemoryStream *(*ZOpenMemoryStreamFunc)(ZAPI *pZAPI, int32_t nReserved, const char *pszMode);
typedef char *(*ZStrdupFunc)(ZAPI *pZAPI, const char *psz);
typedef int32_t (*ZTextConvertFunc)(ZAPI *pZAPI, int32_t nConversion, TextPair *pIn, TextPair *pOut, int32_t nMode);
typedef int32_t (*ZIsLeadByteFunc)(ZAPI *pZAPI, uint8_t b, int32_t nCharset);
typedef int32_t (*ZTextModeFunc)(ZAPI *pZAPI, int32_t nMode);
typedef int32_t (*ZTimeToFileTimeFunc)(ZAPI *pZAPI, int64_t nSeconds, uint8_t *pFileTime);

#define ZAPI_TEMP_PATH_MAX 260

/* The host's service record, second argument of open. */
struct ZAPI {
    uint32_t cbSize;                          /*    0: sizeof(ZAPI) */
    uint32_t dwVersion;                       /*    4 */
    void *pHost;                              /*    8: the host's own state */
    void *pReserved0;                         /*   16 */
    ZLoadLibraryFunc fpLoadLibrary;           /*   24 */
    ZGetEntryFunc fpGetEntry;                 /*   32 */
    ZFreeLibraryFunc fpFreeLibrary;           /*   40 */
    void *pReserved1;                         /*   48 */
    ZGetOptionFunc fpGetOption;               /*   56 */
    uint8_t rgbReserved2[200 - 64];           /*   64 */
    ZOpenMemoryStreamFunc fpOpenMemoryStream; /*  200 */
    uint8_t rgbReserved3[296 - 208];          /*  208 */
    MemoryService memoryService;              /*  296 */
    uint8_t rgbReserved4[632 - 392];          /*  392 */
    ZStrdupFunc fpStrdup;                     /*  632 */
    uint8_t rgbReserved5[768 - 640];          /*  640 */
    ZTextConvertFunc fpTextConvert;           /*  768 */
    ZIsLeadByteFunc fpIsLeadByte;             /*  776 */
    ZTextModeFunc fpTextMode;                 /*  784 */
    uint8_t rgbReserved6[848 - 792];          /*  792 */
    int32_t nCharsetIn;                       /*  848 */
    uint8_t rgbReserved7[860 - 852];          /*  852 */
    int32_t nCharsetOut;                      /*  860 */
    uint8_t rgbReserved8[9288 - 864];         /*  864 */
    ZTimeToFileTimeFunc fpTimeToFileTime;     /* 9288 */
    uint8_t rgbReserved9[9308 - 9296];        /* 9296 */
    char szTempPath[ZAPI_TEMP_PATH_MAX];      /* 9308: empty = none */
};

/* ---- Credentials --------------------------------------------------------------------------------- */

#define CRED_USER_ID_FILE 1
#define CRED_PASSWORD 2

typedef struct CredentialItem {
    uint32_t dwType;
    char *pszValue;
} CredentialItem;

typedef struct CredentialList {
    int32_t cItems;
    CredentialItem **rgpItems;
} CredentialList;

/* ---- Container and subfile descriptions ---------------------------------------------------------- */

#define TM_CHARSET_UTF8 53

typedef struct MainFileInfo {
    uint8_t rgbHost[16];    /*  0 */
    int32_t numSubFiles;    /* 16 */
    int32_t eClass;         /* 20: docInfo */
    int32_t eFormat;        /* 24: docInfo */
    int32_t rgnDocInfo[2];  /* 28: rest of docInfo */
    int32_t charset;        /* 36 */
    int32_t isMSBLSB;       /* 40 */
    uint32_t infoFlag;      /* 44 */
} MainFileInfo;

enum {
    TMSubFileType_Main = 0,
    TMSubFileType_Attachment = 1,
    TMSubFileType_OLE = 2,
    TMSubFileType_Folder = 3,
    TMSubFileType_Picture = 4
};

#define TMSubFileInfoFlag_NeedsExtraction 0x01u

typedef struct SubFileInfo {
    uint8_t rgbHost[16];    /*  0 */
    char *subFileName;      /* 16: UTF-8, host's allocator */
    int32_t subFileType;    /* 24 */
    int32_t subFileSize;    /* 28 */
    uint32_t infoFlag;      /* 32 */
    int32_t charset;        /* 36 */
    int32_t isMSBLSB;       /* 40 */
    uint8_t fileTime[8];    /* 44: little-endian FILETIME */
    int32_t parentIndex;    /* 52: -1 = top level */
    int32_t childCount;     /* 56 */
    int32_t *childArray;    /* 64: host's allocator */
} SubFileInfo;

/* ---- Metadata ------------------------------------------------------------------------------------ */

enum { TMMetaNameType_Integer = 0, TMMetaNameType_String = 1 };

typedef struct MetaName {
    int32_t nType;          /* 0 */
    char *pszName;          /* 8: only for TMMetaNameType_String */
} MetaName;

#define TM_META_DATA_TYPE_TEXT 7

typedef struct SubFileMetaElem {
    int32_t isDataValid;    /*  0 */
    int32_t nReserved;      /*  4 */
    int32_t nDataType;      /*  8: 7 when data holds a value */
    char *strType;          /* 16: field name, may be null */
    uint8_t *data;          /* 24: UTF-8 text and one zero byte */
    int32_t dataSize;       /* 32: zero byte included */
} SubFileMetaElem;
#ifdef __cplusplus
static_assert(sizeof(SubFileMetaElem) == 40, "SubFileMetaElem size");
#endif

typedef struct SubFileMetaData {
    uint8_t rgbHost[16];        /*  0 */
    int32_t nElem;              /* 16 */
    SubFileMetaElem **ppElem;   /* 24 */
    uint32_t infoFlag;          /* 32 */
} SubFileMetaData;

/* ---- Extraction ---------------------------------------------------------------------------------- */

#define TMSubFileExtractInfoFlag_NeedsExtraction 0x01u
#define TMSubFileExtractInfoFlag_FileCreated 0x02u
#define TMSubFileExtractInfoFlag_CharsetConverted 0x04u
#define TMSubFileExtractInfoFlag_External 0x08u
#define TMSubFileExtractInfoFlag_FolderCreated 0x10u
#define TMSubFileExtractInfoFlag_NonFormattedBodyExtracted 0x20u

typedef struct SubFileExtractInfo {
    uint8_t rgbHost[16];    /*  0 */
    char *filePath;         /* 16 */
    char *fileName;         /* 24 */
    uint32_t infoFlag;      /* 32 */
} SubFileExtractInfo;

/* Extraction flags (nFlag of slot 5, flags of ExtraSubFileInfo). */
#define TM_EXTRACT_EXCLUDE_MAIL_HEADER 0x02u
#define TM_EXTRACT_FORMATTED_BODY 0x04u

#define TM_NOTE_DESCRIPTOR_KIND 4

typedef struct NoteDescriptor {
    uint8_t rgbHost[24];    /*  0 */
    uint64_t qwNoteID;      /* 24: low 32 bits are the note ID */
    int32_t nKind;          /* 32: must be 4 */
} NoteDescriptor;

typedef struct ExtraSubFileInfo {
    uint32_t dwFlags;           /* 0 */
    NoteDescriptor *pNote;      /* 8: null = the subfile named by the index */
} ExtraSubFileInfo;

/* ---- The operation table ------------------------------------------------------------------------- */

/* Open flags. */
#define CNVO_CREATEROOTDIR 0x40000u
#define CNVO_SHOWHIDDENTEXT 0x1000000u

typedef void *(*ReaderInitFunc)(IOobj64 *pIO, ZAPI *pZAPI, uint32_t dwFlags, uint32_t dwReserved,
                                CredentialList *pCreds, int32_t *pnStatus);
typedef void (*ReaderShutdownFunc)(void *pContext);
typedef int32_t (*ReaderGetContainerInfoFunc)(void *pContext, MainFileInfo *pInfo, void *pHost);
typedef int32_t (*ReaderGetSubFileInfoFunc)(void *pContext, int32_t nIndex, SubFileInfo *pInfo,
                                            HostAllocatorRef *pAlloc);
typedef int32_t (*ReaderGetSubFileMetadataFunc)(void *pContext, int32_t nIndex, int32_t cMetaNames,
                                                MetaName **rgMetaNames, SubFileMetaData *pMeta,
                                                HostAllocatorRef *pAlloc);
typedef int32_t (*ReaderExtractFunc)(void *pContext, int32_t nIndex, IOobj64 *pIO,
                                     SubFileExtractInfo *pExtract, void *pHost, uint32_t nFlag);
typedef int32_t (*ReaderExtractExFunc)(void *pContext, int32_t nIndex, IOobj64 *pIO,
                                       SubFileExtractInfo *pExtract, void *pHost, ExtraSubFileInfo *pExtra);

typedef struct ContainerReaderInterface {
    ReaderInitFunc fpInit;                              /* 0 */
    ReaderShutdownFunc fpShutdown;                      /* 1 */
    ReaderGetContainerInfoFunc fpGetContainerInfo;      /* 2 */
    ReaderGetSubFileInfoFunc fpGetSubFileInfo;          /* 3 */
    ReaderGetSubFileMetadataFunc fpGetSubFileMetadata;  /* 4 */
    ReaderExtractFunc fpExtractSubFileToIOobj;          /* 5 */
    void *pHostSlot6;                                   /* 6: the host's own */
    ReaderExtractExFunc fpExtractSubFileToIOobjEx;      /* 7 */
} ContainerReaderInterface;

typedef ContainerReaderInterface *(*GetContainerReaderInterfaceExFunc)(ContainerReaderInterface *pTable);
#define NSFREX_ENTRY_POINT_NAME "nsfGetContainerReaderInterfaceEx"

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- Layout pins --------------------------------------------------------------------------------- */

#ifdef __cplusplus
#define NSFREX_PIN(type, member, offset) static_assert(offsetof(type, member) == (offset), #type "." #member)
#else
#define NSFREX_PIN(type, member, offset) _Static_assert(offsetof(type, member) == (offset), #type "." #member)
#endif

NSFREX_PIN(MemoryService, fpMalloc, 8);
NSFREX_PIN(MemoryService, fpFree, 16);
NSFREX_PIN(MemoryService, fpResize, 24);
NSFREX_PIN(MemoryService, fpRealloc, 88);
NSFREX_PIN(HostAllocatorRef, pAllocator, 8);

NSFREX_PIN(IOobj64, pFileName, 32);
NSFREX_PIN(IOobj64, twOpenFunc, 56);
NSFREX_PIN(IOobj64, twWriteFunc, 72);
NSFREX_PIN(IOobj64, twCloseFunc, 96);

NSFREX_PIN(MemoryStream, hStream, 32);
NSFREX_PIN(MemoryStream, fpPrepare, 56);
NSFREX_PIN(MemoryStream, fpRead, 64);
NSFREX_PIN(MemoryStream, fpWrite, 72);
NSFREX_PIN(MemoryStream, fpSeek, 80);
NSFREX_PIN(MemoryStream, fpTell, 88);
NSFREX_PIN(MemoryStream, fpRelease, 112);

NSFREX_PIN(TextPair, cb, 8);

NSFREX_PIN(ZAPI, fpLoadLibrary, 24);
NSFREX_PIN(ZAPI, fpGetEntry, 32);
NSFREX_PIN(ZAPI, fpFreeLibrary, 40);
NSFREX_PIN(ZAPI, fpGetOption, 56);
NSFREX_PIN(ZAPI, fpOpenMemoryStream, 200);
NSFREX_PIN(ZAPI, memoryService, 296);
NSFREX_PIN(ZAPI, fpStrdup, 632);
NSFREX_PIN(ZAPI, fpTextConvert, 768);
NSFREX_PIN(ZAPI, fpIsLeadByte, 776);
NSFREX_PIN(ZAPI, fpTextMode, 784);
NSFREX_PIN(ZAPI, nCharsetIn, 848);
NSFREX_PIN(ZAPI, nCharsetOut, 860);
NSFREX_PIN(ZAPI, fpTimeToFileTime, 9288);
NSFREX_PIN(ZAPI, szTempPath, 9308);

NSFREX_PIN(CredentialItem, pszValue, 8);
NSFREX_PIN(CredentialList, rgpItems, 8);

NSFREX_PIN(MainFileInfo, numSubFiles, 16);
NSFREX_PIN(MainFileInfo, eClass, 20);
NSFREX_PIN(MainFileInfo, eFormat, 24);
NSFREX_PIN(MainFileInfo, charset, 36);
NSFREX_PIN(MainFileInfo, isMSBLSB, 40);
NSFREX_PIN(MainFileInfo, infoFlag, 44);

NSFREX_PIN(SubFileInfo, subFileName, 16);
NSFREX_PIN(SubFileInfo, subFileType, 24);
NSFREX_PIN(SubFileInfo, subFileSize, 28);
NSFREX_PIN(SubFileInfo, infoFlag, 32);
NSFREX_PIN(SubFileInfo, charset, 36);
NSFREX_PIN(SubFileInfo, isMSBLSB, 40);
NSFREX_PIN(SubFileInfo, fileTime, 44);
NSFREX_PIN(SubFileInfo, parentIndex, 52);
NSFREX_PIN(SubFileInfo, childCount, 56);
NSFREX_PIN(SubFileInfo, childArray, 64);

NSFREX_PIN(MetaName, pszName, 8);
NSFREX_PIN(SubFileMetaElem, isDataValid, 0);
NSFREX_PIN(SubFileMetaElem, nDataType, 8);
NSFREX_PIN(SubFileMetaElem, strType, 16);
NSFREX_PIN(SubFileMetaElem, data, 24);
NSFREX_PIN(SubFileMetaElem, dataSize, 32);
NSFREX_PIN(SubFileMetaData, nElem, 16);
NSFREX_PIN(SubFileMetaData, ppElem, 24);
NSFREX_PIN(SubFileMetaData, infoFlag, 32);

NSFREX_PIN(SubFileExtractInfo, filePath, 16);
NSFREX_PIN(SubFileExtractInfo, fileName, 24);
NSFREX_PIN(SubFileExtractInfo, infoFlag, 32);
NSFREX_PIN(ExtraSubFileInfo, pNote, 8);
NSFREX_PIN(NoteDescriptor, qwNoteID, 24);
NSFREX_PIN(NoteDescriptor, nKind, 32);

NSFREX_PIN(ContainerReaderInterface, fpExtractSubFileToIOobj, 40);
NSFREX_PIN(ContainerReaderInterface, pHostSlot6, 48);
NSFREX_PIN(ContainerReaderInterface, fpExtractSubFileToIOobjEx, 56);

#undef NSFREX_PIN

#endif /* NSFREX_HOST_H */
