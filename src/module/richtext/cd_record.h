/*
 * Framing of a packed sequence of CD records and bounds-checked reads of their fields.
 *
 * A record starts at an even offset with its signature byte; the second byte selects the header:
 * 1..254 is itself the length (2-byte header), 255 means a 16-bit length follows (4-byte header),
 * 0 means a 32-bit length follows (6-byte header). The length counts the whole record; an odd record is
 * followed by one pad byte. Everything is little-endian.
 *
 * Field reads take the record and its length and yield 0 for any byte that lies beyond the record, so a
 * short or damaged record can never make the converter read outside it.
 */
#ifndef NSFREX_MODULE_RICHTEXT_CD_RECORD_H
#define NSFREX_MODULE_RICHTEXT_CD_RECORD_H

#include <stdint.h>

/* Signature bytes the converter acts on. */
enum : uint8_t {
    LOTUS_SIG_IMAGESEGMENT = 124,
    LOTUS_SIG_IMAGEHEADER = 125,
    LOTUS_SIG_CAPTION = 118,
    LOTUS_SIG_TABLECELL_HREF = 120,
    LOTUS_SIG_PARAGRAPH = 129,
    LOTUS_SIG_PABDEFINITION = 130,
    LOTUS_SIG_PABREFERENCE = 131,
    LOTUS_SIG_TEXT = 133,
    LOTUS_SIG_FONTTABLE = 139,
    LOTUS_SIG_BITMAPHEADER = 149,
    LOTUS_SIG_BITMAPSEGMENT = 150,
    LOTUS_SIG_COLORTABLE = 151,
    LOTUS_SIG_PATTERNTABLE = 152,
    LOTUS_SIG_TABLEBEGIN = 163,
    LOTUS_SIG_TABLECELL = 164,
    LOTUS_SIG_TABLEEND = 165,
    LOTUS_SIG_HOTSPOTBEGIN = 169,
    LOTUS_SIG_BAR = 172,
    LOTUS_SIG_V4HOTSPOTBEGIN = 173,
    LOTUS_SIG_V4HOTSPOTEND = 174,
    LOTUS_SIG_HORIZONTALRULE = 201,
    LOTUS_SIG_NESTEDTABLEBEGIN = 207,
    LOTUS_SIG_NESTEDTABLECELL = 208,
    LOTUS_SIG_NESTEDTABLEEND = 209,
    LOTUS_SIG_COLOR = 210,
    LOTUS_SIG_TABLECELL_COLOR = 211,
    LOTUS_SIG_BEGIN = 221,
    LOTUS_SIG_END = 222,
    LOTUS_SIG_HREF = 246,
    LOTUS_SIG_PRETABLEBEGIN = 251,
    LOTUS_SIG_BORDERINFO = 252,
};

/* Length of the record at nPos of a sequence of cbSeq bytes, header included and without its pad byte.
   0 when no further record can be read there: fewer than three bytes left, a header cut off by the end,
   a length of 0, or a length that runs past the end. A non-zero result always fits the sequence. */
inline int32_t nsfGetCDRecordLength(const uint8_t *pbSeq, int32_t cbSeq, int32_t nPos)
{
    if (pbSeq == nullptr || nPos < 0 || static_cast<int64_t>(nPos) + 2 >= cbSeq)
        return 0;

    const uint8_t *pb = pbSeq + nPos;
    const int64_t cbLeft = static_cast<int64_t>(cbSeq) - nPos;
    uint32_t dwLength = 0;
    if (pb[1] == 0xFF) {
        if (cbLeft < 4)
            return 0;
        dwLength = static_cast<uint32_t>(pb[2] | (pb[3] << 8));
    } else if (pb[1] == 0) {
        if (cbLeft < 6)
            return 0;
        dwLength = static_cast<uint32_t>(pb[2]) | (static_cast<uint32_t>(pb[3]) << 8) |
                   (static_cast<uint32_t>(pb[4]) << 16) | (static_cast<uint32_t>(pb[5]) << 24);
    } else {
        dwLength = pb[1];
    }

    if (dwLength < 1 || dwLength > static_cast<uint64_t>(cbLeft))
        return 0;
    return static_cast<int32_t>(dwLength);
}

/* Position of the record after one of cbRecord bytes at nPos (the pad byte of an odd record skipped). */
inline int64_t nsfGetNextCDPosition(int32_t nPos, int32_t cbRecord)
{
    return static_cast<int64_t>(nPos) + cbRecord + (cbRecord & 1);
}

/* Little-endian field reads inside one record of cbRec bytes; bytes beyond it read as 0. */
inline uint8_t nsfGetCDByte(const uint8_t *pbRec, int32_t cbRec, int32_t nOffset)
{
    return (nOffset >= 0 && nOffset < cbRec) ? pbRec[nOffset] : 0;
}

inline uint16_t nsfGetCDWord(const uint8_t *pbRec, int32_t cbRec, int32_t nOffset)
{
    return static_cast<uint16_t>(nsfGetCDByte(pbRec, cbRec, nOffset) |
                                 (nsfGetCDByte(pbRec, cbRec, nOffset + 1) << 8));
}

inline uint32_t nsfGetCDDword(const uint8_t *pbRec, int32_t cbRec, int32_t nOffset)
{
    return static_cast<uint32_t>(nsfGetCDWord(pbRec, cbRec, nOffset)) |
           (static_cast<uint32_t>(nsfGetCDWord(pbRec, cbRec, nOffset + 2)) << 16);
}

/* Number of bytes of a field of cbWanted bytes at nOffset that lie inside the record (0 when none). */
inline int32_t nsfGetCDAvailable(int32_t cbRec, int32_t nOffset, int64_t cbWanted)
{
    if (nOffset < 0 || nOffset >= cbRec || cbWanted <= 0)
        return 0;
    const int64_t cbLeft = static_cast<int64_t>(cbRec) - nOffset;
    return static_cast<int32_t>(cbWanted < cbLeft ? cbWanted : cbLeft);
}

#endif
