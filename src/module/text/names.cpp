/*
 * The name tables of the diagnostic log. Each table is sorted by code (checked at compile time) and
 * searched by halving.
 */
#include "text/names.h"

#include <stddef.h>

namespace {

struct NsfName {
    uint16_t wCode;
    const char *pszName;
};

template <size_t N> constexpr bool nsfIsSorted(const NsfName (&rgNames)[N])
{
    for (size_t i = 1; i < N; i++)
        if (rgNames[i - 1].wCode >= rgNames[i].wCode)
            return false;
    return true;
}

template <size_t N> const char *nsfFindName(const NsfName (&rgNames)[N], uint16_t wCode, const char *pszFallback)
{
    size_t iLow = 0, iHigh = N;
    while (iLow < iHigh) {
        size_t iMid = iLow + (iHigh - iLow) / 2;
        if (rgNames[iMid].wCode < wCode)
            iLow = iMid + 1;
        else
            iHigh = iMid;
    }
    return iLow < N && rgNames[iLow].wCode == wCode ? rgNames[iLow].pszName : pszFallback;
}

constexpr NsfName g_rgHostTypeNames[] = {
    {0, "HOST_MSDOS"},          {256, "HOST_OLE"},
    {512, "HOST_MAC"},          {768, "HOST_UNKNOWN"},
    {1024, "HOST_HPFS"},        {1280, "HOST_OLELIB"},
    {1536, "HOST_BYTEARRAY_EXT"}, {1792, "HOST_BYTEARRAY_PAGE"},
    {2048, "HOST_CDSTORAGE"},   {2304, "HOST_STREAM"},
    {2560, "HOST_LINK"},
};

constexpr NsfName g_rgClassNames[] = {
    {0, "CLASS_NOCOMPUTE"}, {256, "CLASS_ERROR"},   {512, "CLASS_UNAVAILABLE"}, {768, "CLASS_NUMBER"},
    {1024, "CLASS_TIME"},   {1280, "CLASS_TEXT"},   {1536, "CLASS_FORMULA"},    {1792, "CLASS_USERID"},
};

constexpr NsfName g_rgTypeNames[] = {
    {0, "TYPE_INVALID_OR_UNKNOWN"},
    {1, "TYPE_COMPOSITE"},
    {2, "TYPE_COLLATION"},
    {3, "TYPE_OBJECT"},
    {4, "TYPE_NOTEREF_LIST"},
    {5, "TYPE_VIEW_FORMAT"},
    {6, "TYPE_ICON"},
    {7, "TYPE_NOTELINK_LIST"},
    {8, "TYPE_SIGNATURE"},
    {9, "TYPE_SEAL"},
    {10, "TYPE_SEALDATA"},
    {11, "TYPE_SEAL_LIST"},
    {12, "TYPE_HIGHLIGHTS"},
    {13, "TYPE_WORKSHEET_DATA"},
    {14, "TYPE_USERDATA"},
    {15, "TYPE_QUERY"},
    {16, "TYPE_ACTION"},
    {17, "TYPE_ASSISTANT_INFO"},
    {18, "TYPE_VIEWMAP_DATASET"},
    {19, "TYPE_VIEWMAP_LAYOUT"},
    {20, "TYPE_LSOBJECT"},
    {21, "TYPE_HTML"},
    {22, "TYPE_SCHED_LIST"},
    {24, "TYPE_CALENDAR_FORMAT"},
    {25, "TYPE_MIME_PART"},
    {31, "TYPE_SEAL2"},
    {256, "TYPE_ERROR"},
    {512, "TYPE_UNAVAILABLE"},
    {768, "TYPE_NUMBER"},
    {769, "TYPE_NUMBER_RANGE"},
    {1024, "TYPE_TIME"},
    {1025, "TYPE_IME_RANGE"}, /* the log has always printed the time range under this name */
    {1280, "TYPE_TEXT"},
    {1281, "TYPE_TEXT_LIST"},
    {1282, "TYPE_RFC822_TEXT"},
    {1536, "TYPE_FORMULA"},
    {1792, "TYPE_USERID"},
};

/* Records with a byte or long header: the signature byte alone. */
constexpr NsfName g_rgSigNames[] = {
    {89, "SIG_CD_IGNORE"},
    {96, "SIG_CD_FILESEGMENT"},
    {97, "SIG_CD_FILEHEADER"},
    {98, "SIG_CD_DATAFLAGS"},
    {99, "SIG_CD_BACKGROUNDPROPERTIES"},
    {106, "SIG_CD_BOXSIZE"},
    {107, "SIG_CD_POSITIONING"},
    {108, "SIG_CD_LAYER"},
    {110, "SIG_CD_SPAN_END"},
    {111, "SIG_CD_SPAN_BEGIN"},
    {114, "SIG_CD_BACKGROUNDCOLOR"},
    {124, "SIG_CD_IMAGESEGMENT"},
    {125, "SIG_CD_IMAGEHEADER"},
    {127, "SIG_CD_V5HOTSPOTEND"},
    {128, "SIG_CD_DOCUMENT_PRE_26"},
    {129, "SIG_CD_PARAGRAPH"},
    {131, "SIG_CD_PABREFERENCE"},
    {134, "SIG_CD_DOCUMENT"},
    {136, "SIG_ACTION_DELETE"},
    {138, "SIG_ACTION_MARKREAD"},
    {139, "SIG_ACTION_MARKUNREAD"},
    {140, "SIG_CD_LINK"},
    {141, "SIG_CD_LINKEXPORT"},
    {145, "SIG_ACTION_SENDDOCUMENT"},
    {148, "SIG_CD_TIFF"},
    {149, "SIG_CD_BITMAPHEADER"},
    {150, "SIG_CD_BITMAPSEGMENT"},
    {151, "SIG_CD_COLORTABLE"},
    {152, "SIG_CD_PATTERNTABLE"},
    {153, "SIG_CD_GRAPHIC"},
    {154, "SIG_CD_PMMETASEG"},
    {155, "SIG_CD_WINMETASEG"},
    {156, "SIG_CD_MACMETASEG"},
    {157, "SIG_CD_CGMMETA"},
    {158, "SIG_CD_PMMETAHEADER"},
    {159, "SIG_CD_WINMETAHEADER"},
    {160, "SIG_CD_MACMETAHEADER"},
    {163, "SIG_CD_TABLEBEGIN"},
    {164, "SIG_CD_TABLECELL"},
    {165, "SIG_CD_TABLEEND"},
    {166, "SIG_CD_STYLENAME"},
    {170, "SIG_CD_HOTSPOTEND"},
    {174, "SIG_CD_V4HOTSPOTEND"},
    {175, "SIG_CD_VMHEADER"},
    {176, "SIG_CD_VMBITMAP"},
    {177, "SIG_CD_VMRECT"},
    {178, "SIG_CD_VMPOLYGON_BYTE"},
    {179, "SIG_CD_VMPOLYLINE_BYTE"},
    {180, "SIG_CD_VMREGION"},
    {181, "SIG_CD_VMACTION"},
    {182, "SIG_CD_VMELLIPSE"},
    {183, "SIG_CD_LAYOUT"},
    {184, "SIG_CD_LAYOUTTEXT"},
    {185, "SIG_CD_LAYOUTEND"},
    {186, "SIG_CD_LAYOUTFIELD"},
    {188, "SIG_CD_PABFORMREF"},
    {189, "SIG_CD_ACTIONBAR"},
    {191, "SIG_CD_VMCIRCLE"},
    {192, "SIG_CD_LAYOUTGRAPHIC"},
    {194, "SIG_CD_LAYOUTBUTTON"},
    {197, "SIG_CD_TRANSPARENTTABLE"},
    {199, "SIG_CD_ALTERNATEEND"},
    {207, "SIG_CD_NESTEDTABLEBEGIN"},
    {208, "SIG_CD_NESTEDTABLECELL"},
    {209, "SIG_CD_NESTEDTABLEEND"},
    {210, "SIG_CD_COLOR"},
    {211, "SIG_CD_TABLECELL_COLOR"},
    {221, "SIG_CD_BEGIN"},
    {222, "SIG_CD_END"},
    {223, "SIG_CD_VERTICALALIGN"},
    {224, "SIG_CD_FLOATPOSITION"},
    {225, "SIG_CD_TIMERINFO"},
    {226, "SIG_CD_TABLEROWHEIGHT"},
    /* records with a word header: 0xFF00 plus the signature byte */
    {0xFF57, "SIG_VIEWMAP_DATASET"},
    {0xFF58, "SIG_CD_EMBEDDEDCONTACTLIST"},
    {0xFF5A, "SIG_CD_TABLECELL_HREF2"},
    {0xFF5B, "SIG_CD_HREFBORDER"},
    {0xFF5C, "SIG_CD_TABLEDATAEXTENSION"},
    {0xFF5D, "SIG_CD_EMBEDDEDCALCTL"},
    {0xFF5E, "SIG_CD_ACTIONEXT"},
    {0xFF5F, "SIG_CD_EVENT_LANGUAGE_ENTRY"},
    {0xFF64, "SIG_CD_EMBEDEXTRA_INFO"},
    {0xFF65, "SIG_CD_CLIENT_BLOBPART"},
    {0xFF66, "SIG_CD_CLIENT_EVENT"},
    {0xFF67, "SIG_CD_BORDERINFO_HS"},
    {0xFF68, "SIG_CD_LARGE_PARAGRAPH"},
    {0xFF69, "SIG_CD_EXT_EMBEDDEDSCHED"},
    {0xFF6D, "SIG_CD_DECSFIELD"},
    {0xFF70, "SIG_CD_TEXTPROPERTIESTABLE"},
    {0xFF71, "SIG_CD_HREF2"},
    {0xFF73, "SIG_CD_INLINE"},
    {0xFF74, "SIG_CD_V6HOTSPOTBEGIN_CONTINUATION"},
    {0xFF75, "SIG_CD_TARGET_DBLCLK"},
    {0xFF76, "SIG_CD_CAPTION"},
    {0xFF77, "SIG_CD_LINKCOLORS"},
    {0xFF78, "SIG_CD_TABLECELL_HREF"},
    {0xFF79, "SIG_CD_ACTIONBAREXT"},
    {0xFF7A, "SIG_CD_IDNAME"},
    {0xFF7B, "SIG_CD_TABLECELL_IDNAME"},
    {0xFF7E, "SIG_CD_V5HOTSPOTBEGIN"},
    {0xFF80, "SIG_CD_TEXTPROPERTY"},
    {0xFF82, "SIG_CD_PABDEFINITION"},
    {0xFF84, "SIG_CD_FIELD_PRE_36"},
    {0xFF85, "SIG_CD_TEXT"},
    {0xFF87, "SIG_CD_METAFILE"},
    {0xFF88, "SIG_CD_BITMAP"},
    {0xFF89, "SIG_ACTION_BYFORM"},
    {0xFF8A, "SIG_CD_FIELD"},
    {0xFF8B, "SIG_CD_FONTTABLE"},
    {0xFF8C, "SIG_ACTION_MOVETOFOLDER"},
    {0xFF8D, "SIG_ACTION_COPYTOFOLDER"},
    {0xFF8E, "SIG_CD_HEADER"},
    {0xFF8F, "SIG_CD_KEYWORD"},
    {0xFF90, "SIG_ACTION_RUNAGENT"},
    {0xFF91, "SIG_CD_LINK2"},
    {0xFF92, "SIG_CD_LINKEXPORT2"},
    {0xFF93, "SIG_CD_CGM"},
    {0xFF94, "SIG_ACTION_JAVA"},
    {0xFFA1, "SIG_CD_DDEBEGIN"},
    {0xFFA2, "SIG_CD_DDEEND"},
    {0xFFA7, "SIG_CD_OLEBEGIN"},
    {0xFFA8, "SIG_CD_OLEEND"},
    {0xFFA9, "SIG_CD_HOTSPOTBEGIN"},
    {0xFFAB, "SIG_CD_BUTTON"},
    {0xFFAC, "SIG_CD_BAR"},
    {0xFFAD, "SIG_CD_V4HOTSPOTBEGIN"},
    {0xFFB0, "SIG_CD_EXT_FIELD"},
    {0xFFB1, "SIG_CD_LSOBJECT"},
    {0xFFB2, "SIG_CD_HTMLHEADER"},
    {0xFFB3, "SIG_CD_HTMLSEGMENT"},
    {0xFFBA, "SIG_CD_VMACTION_2"},
    {0xFFBB, "SIG_CD_PABHIDE"},
    {0xFFBC, "SIG_CD_VMPOLYGON"},
    {0xFFBD, "SIG_CD_VMPOLYLINE"},
    {0xFFBE, "SIG_CD_ACTION"},
    {0xFFBF, "SIG_CD_DOCAUTOLAUNCH"},
    {0xFFC1, "SIG_CD_OLEOBJINFO"},
    {0xFFC3, "SIG_CD_TEXTEFFECT"},
    {0xFFC4, "SIG_CD_STORAGELINK"},
    {0xFFC6, "SIG_CD_ALTERNATEBEGIN"},
    {0xFFC8, "SIG_CD_OLERTMARKER"},
    {0xFFC9, "SIG_CD_HORIZONTALRULE"},
    {0xFFCA, "SIG_CD_ALTTEXT"},
    {0xFFCB, "SIG_CD_ANCHOR"},
    {0xFFCC, "SIG_CD_HTMLBEGIN"},
    {0xFFCD, "SIG_CD_HTMLEND"},
    {0xFFCE, "SIG_CD_HTMLFORMULA"},
    {0xFFDC, "SIG_CD_BLOBPART"},
    {0xFFE3, "SIG_CD_TABLELABEL"},
    {0xFFE4, "SIG_CD_BIDI_TEXT"},
    {0xFFE5, "SIG_CD_BIDI_TEXTEFFECT"},
    {0xFFE6, "SIG_CD_REGIONBEGIN"},
    {0xFFE7, "SIG_CD_REGIONEND"},
    {0xFFE8, "SIG_CD_TRANSITION"},
    {0xFFE9, "SIG_CD_FIELDHINT"},
    {0xFFEA, "SIG_CD_PLACEHOLDER"},
    {0xFFEC, "SIG_CD_EMBEDDEDOUTLINE"},
    {0xFFED, "SIG_CD_EMBEDDEDVIEW"},
    {0xFFEE, "SIG_CD_CELLBACKGROUNDDATA"},
    {0xFFEF, "SIG_CD_FRAMESETHEADER"},
    {0xFFF0, "SIG_CD_FRAMESET"},
    {0xFFF1, "SIG_CD_FRAME"},
    {0xFFF2, "SIG_CD_TARGET"},
    {0xFFF4, "SIG_CD_MAPELEMENT"},
    {0xFFF5, "SIG_CD_AREAELEMENT"},
    {0xFFF6, "SIG_CD_HREF"},
    {0xFFF7, "SIG_CD_EMBEDDEDCTL"},
    {0xFFF8, "SIG_CD_HTML_ALTTEXT"},
    {0xFFF9, "SIG_CD_EVENT"},
    {0xFFFB, "SIG_CD_PRETABLEBEGIN"},
    {0xFFFC, "SIG_CD_BORDERINFO"},
    {0xFFFD, "SIG_CD_EMBEDDEDSCHEDCTL"},
    {0xFFFE, "SIG_CD_EXT2_FIELD"},
    {0xFFFF, "SIG_CD_EMBEDDEDEDITCTL"},
};

constexpr NsfName g_rgNoteClassNames[] = {
    {0x0001, "NOTE_CLASS_DOCUMENT"}, {0x0002, "NOTE_CLASS_INFO"},        {0x0004, "NOTE_CLASS_FORM"},
    {0x0008, "NOTE_CLASS_VIEW"},     {0x0010, "NOTE_CLASS_ICON"},        {0x0020, "NOTE_CLASS_DESIGN"},
    {0x0040, "NOTE_CLASS_ACL"},      {0x0080, "NOTE_CLASS_HELP_INDEX"},  {0x0100, "NOTE_CLASS_HELP"},
    {0x0200, "NOTE_CLASS_FILTER"},   {0x0400, "NOTE_CLASS_FIELD"},       {0x0800, "NOTE_CLASS_REPLFORMULA"},
    {0x1000, "NOTE_CLASS_PRIVATE"},
};

static_assert(nsfIsSorted(g_rgHostTypeNames) && nsfIsSorted(g_rgClassNames) && nsfIsSorted(g_rgTypeNames) &&
                  nsfIsSorted(g_rgSigNames) && nsfIsSorted(g_rgNoteClassNames),
              "name tables must be sorted by code");
static_assert(sizeof(g_rgSigNames) / sizeof(g_rgSigNames[0]) == 174, "composite record signature names");

} // namespace

const char *nsfHostTypeName(uint16_t wHostType)
{
    return nsfFindName(g_rgHostTypeNames, wHostType, "HOST_UNKNOWN");
}

const char *nsfClassName(uint16_t wType)
{
    return nsfFindName(g_rgClassNames, static_cast<uint16_t>(wType & 0xFF00u), "CLASS_UNKNOWN");
}

const char *nsfTypeName(uint16_t wType)
{
    return nsfFindName(g_rgTypeNames, wType, "TYPE_UNKNOWN");
}

const char *nsfSigName(uint16_t wSignature)
{
    return nsfFindName(g_rgSigNames, wSignature, "SIG_INVALID");
}

const char *nsfNoteClassName(uint16_t wNoteClass)
{
    return nsfFindName(g_rgNoteClassNames, wNoteClass, "NOTE_CLASS_UNKNOWN");
}
