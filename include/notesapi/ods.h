/* Canonical (on-disk) structures: ODS type numbers, conversion to host form, and walking a
 * composite (rich-text) value record by record. */
#ifndef NOTESAPI_ODS_H
#define NOTESAPI_ODS_H

#include "notesapi/global.h"

/* ODS type numbers passed to ODSLength / ODSReadMemory. */
#define _SHORT 0
#define _WORD 0
#define _USHORT 0
#define _STATUS 0
#define _UNICODE 0
#define _LONG 1
#define _DWORD 1
#define _ULONG 1
#define _NOTEID 1
#define _FLOAT 2
#define _NUMBER 2
#define _TIMEDATE 10
#define _TIMEDATE_PAIR 11
#define _ALIGNED_NUMBER_PAIR 12
#define _LIST 13
#define _RANGE 14
#define _DBID 15
#define _ITEM 17
#define _ITEM_TABLE 18
#define _SEARCH_MATCH 24
#define _ORIGINATORID 26
#define _OID 26
#define _OBJECT_DESCRIPTOR 27
#define _UNIVERSALNOTEID 28
#define _UNID 28
#define _NOTELINK 33
#define _LICENSEID 34
#define _DBREPLICAINFO 56
#define _FILEOBJECT 58
#define _CDKEYWORD 68
#define _CDLINK2 72
#define _CDLINKEXPORT2 97
#define _CDPARAGRAPH 109
#define _CDPABDEFINITION 110
#define _CDPABREFERENCE 111
#define _CDTEXT 113
#define _CDDOCUMENT 114
#define _CDMETAFILE 115
#define _CDBITMAP 116
#define _CDHEADER 117
#define _CDFIELD 118
#define _CDFONTTABLE 119
#define _CDFACE 120
#define _CDCGM 156
#define _CDTIFF 159
#define _CDBITMAPHEADER 162
#define _CDBITMAPSEGMENT 163
#define _CDCOLORTABLE 164
#define _CDPATTERNTABLE 165
#define _CDGRAPHIC 166
#define _CDPMMETAHEADER 167
#define _CDWINMETAHEADER 168
#define _CDMACMETAHEADER 169
#define _CDCGMMETA 170
#define _CDPMMETASEG 171
#define _CDWINMETASEG 172
#define _CDMACMETASEG 173
#define _CDDDEBEGIN 174
#define _CDDDEEND 175
#define _CDTABLEBEGIN 176
#define _CDTABLECELL 177
#define _CDTABLEEND 178
#define _CDSTYLENAME 188
#define _FILEOBJECT_MACEXT 192
#define _FILEOBJECT_HPFSEXT 193
#define _CDOLEBEGIN 218
#define _CDOLEEND 219
#define _CDHOTSPOTBEGIN 230
#define _CDHOTSPOTEND 231
#define _CDBUTTON 237
#define _CDBAR 308
#define _CDEXTFIELD 342
#define _CDPABHIDE 358
#define _CDPABFORMULAREF 359
#define _CDACTIONBAR 360
#define _CDOLEOBJ_INFO 379
#define _CDHTMLHEADER 492
#define _CDHTMLSEGMENT 493
#define _CDTEXTEFFECT 508
#define _CDSTORAGELINK 515
#define _CDTRANSPARENTTABLE 541
#define _CDALTERNATEBEGIN 554
#define _CDALTERNATEEND 555
#define _CDOLERTMARKER 556
#define _HSOLERICHTEXT 557
#define _CDANCHOR 559
#define _CDHRULE 560
#define _CDALTTEXT 561
#define _CDHTMLBEGIN 564
#define _CDHTMLEND 565
#define _CDHTMLFORMULA 566
#define _CDBEGINRECORD 577
#define _CDENDRECORD 578
#define _CDVERTICALALIGN 579
#define _CDFLOAT 580
#define _CDTIMERINFO 581
#define _CDTABLEROWHEIGHT 582
#define _CDTABLELABEL 583
#define _CDTRANSITION 610
#define _CDPLACEHOLDER 611
#define _CDEMBEDDEDVIEW 615
#define _CDEMBEDDEDOUTLINE 620
#define _CDREGIONBEGIN 621
#define _CDREGIONEND 622
#define _CDCELLBACKGROUNDDATA 623
#define _CDFRAMESETHEADER 626
#define _CDFRAMESET 627
#define _CDFRAME 628
#define _CDTARGET 629
#define _CDRESOURCE 631
#define _CDMAPELEMENT 632
#define _CDAREAELEMENT 633
#define _CDRECT 634
#define _CDPOINT 635
#define _CDEMBEDDEDCTL 636
#define _CDEVENT 637
#define _MIME_PART 639
#define _CDPRETABLEBEGIN 640
#define _CDCOLOR 645
#define _CDBORDERINFO 646
#define _CDEXT2FIELD 672
#define _RFC822ITEMDESC 675
#define _COLOR_VALUE 690
#define _CDBLOBPART 695
#define _CDIMAGEHEADER 705
#define _CDIMAGESEGMENT 706
#define _CDIDNAME 708
#define _CDACTIONBAREXT 719
#define _CDLINKCOLORS 722
#define _CDCAPTION 728
#define _CDFIELDHINT 742
#define _CDINLINE 756
#define _CDTEXTPROPERTIESTABLE 765
#define _CDSPANRECORD 766
#define _CDLAYER 808
#define _CDPOSITIONING 809
#define _CDBOXSIZE 810
#define _CDBACKGROUNDPROPERTIES 822
#define _CDTEXTPROPERTY 833
#define _CDDATAFLAGS 834
#define _CDFILEHEADER 835
#define _CDFILESEGMENT 836
#define _CDTABLEDATAEXTENSION 857
#define _CDLARGEPARAGRAPH 909
#define _CDIGNORE 912
#define _CDEMBEDEXTRAINFO 934

/* High byte of a CD record's first word: which header form the record uses. */
#define LONGRECORDLENGTH 0x0000
#define WORDRECORDLENGTH 0xFF00
#define BYTERECORDLENGTH 0

NOTESAPI_BEGIN_DECLS

/* Called once per CD record: the record with its header, its signature word and whole length. */
typedef STATUS(LNCALLBACKPTR ActionRoutinePtr)(char* RecordPtr, WORD RecordType, DWORD RecordLength,
                                               void* vContext);

/* Size of an ODS type on disk (0 for a type this runtime does not know). */
LNPUBLIC_API WORD ODSLength(WORD type);
/* Reads `iterations` structures of ODS type `type` from *ppSrc (a `const void**` passed as void*)
 * into host form at pDest and advances *ppSrc past them. */
LNPUBLIC_API void ODSReadMemory(void* ppSrc, WORD type, void* pDest, WORD iterations);

/* Walks a TYPE_COMPOSITE value. Returns NOERROR or ERR_ODS_ENUM_COMPLETE once every record was
 * seen, ERR_DATATYPE when the value is not composite, or the callback's non-zero status. */
LNPUBLIC_API STATUS EnumCompositeBuffer(BLOCKID ItemValue, DWORD ItemValueLength, ActionRoutinePtr ActionRoutine,
                                        void* vContext);

NOTESAPI_END_DECLS

#endif /* NOTESAPI_ODS_H */
