/* The DXL exporter: notes as XML text. */
#ifndef NOTESAPI_XML_H
#define NOTESAPI_XML_H

#include "notesapi/global.h"

typedef MEMHANDLE DXLEXPORTHANDLE;
typedef WORD DXL_EXPORT_PROPERTY;

/* Exporter properties. */
enum {
    eDxlExportResultLog = 1,     /* MEMHANDLE, read-only: log of the last export */
    eDefaultDoctypeSYSTEM = 2,   /* MEMHANDLE, read-only */
    eDoctypeSYSTEM = 3,          /* string */
    eDXLBannerComments = 4,      /* string list */
    eDxlExportCharset = 5,       /* DXL_EXPORT_CHARSET */
    eDxlRichtextOption = 6,      /* DXL_RICHTEXT_OPTION */
    eDxlExportResultLogComment = 7,
    eDxlValidationStyle = 8,
    eDxlDefaultSchemaLocation = 9,
    eDxlSchemaLocation = 10,
    eDxlMimeOption = 11,
    eAttachmentOmittedText = 12,
    eOLEObjectOmittedText = 13,
    ePictureOmittedText = 14,
    eOmitItemNames = 15,
    eRestrictToItemNames = 16,
    eForceNoteFormat = 30,       /* BOOL properties from here on */
    eExitOnFirstFatalError = 31,
    eOutputRootAttrs = 32,
    eOutputXmlDecl = 33,
    eOutputDOCTYPE = 34,
    eConvertNotesbitmapsToGIF = 35,
    eOmitRichtextAttachments = 36,
    eOmitOLEObjects = 37,
    eOmitMiscFileObjects = 38,
    eOmitPictures = 39,
    eUncompressAttachments = 40
};

typedef enum { eDxlExportUtf8 = 0, eDxlExportUtf16 = 1 } DXL_EXPORT_CHARSET;
typedef enum { eRichtextAsDxl = 0, eRichtextAsItemdata = 1 } DXL_RICHTEXT_OPTION;
typedef enum { eMimeAsDxl = 0, eMimeAsItemdata = 1 } DXL_MIME_OPTION;
typedef enum { eDxlExportValidationStyle_None = 0, eDxlExportValidationStyle_DTD = 1,
               eDxlExportValidationStyle_XMLSchema = 2 } DXL_EXPORT_VALIDATION_STYLE;

NOTESAPI_BEGIN_DECLS

/* Receives the output in pieces. */
typedef void(LNCALLBACKPTR XML_WRITE_FUNCTION)(const BYTE* pBuffer, DWORD length, void* pAction);

LNPUBLIC_API STATUS DXLCreateExporter(DXLEXPORTHANDLE* prethDXLExport);
LNPUBLIC_API void DXLDeleteExporter(DXLEXPORTHANDLE hDXLExport);
/* propValue points at the value; for a string property it is the char* itself. */
LNPUBLIC_API STATUS DXLSetExporterProperty(DXLEXPORTHANDLE hDXLExport, DXL_EXPORT_PROPERTY prop, void* propValue);
/* String and log properties come back as a MEMHANDLE the caller frees with OSMemoryFree. */
LNPUBLIC_API STATUS DXLGetExporterProperty(DXLEXPORTHANDLE hDXLExport, DXL_EXPORT_PROPERTY prop,
                                           void* retPropValue);
LNPUBLIC_API STATUS DXLExportNote(DXLEXPORTHANDLE hDXLExport, XML_WRITE_FUNCTION pDXLWriteFunc, NOTEHANDLE hNote,
                                  void* pExAction);
LNPUBLIC_API BOOL DXLExportWasErrorLogged(DXLEXPORTHANDLE hDXLExport);

NOTESAPI_END_DECLS

#endif /* NOTESAPI_XML_H */
