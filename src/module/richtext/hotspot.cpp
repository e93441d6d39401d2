/*
 * Records that render short pieces of their own data: hotspots (links, attachment names, hidden text),
 * section titles and image captions.
 */
#include <string.h>

#include "richtext/cd_record.h"
#include "richtext/converter.h"
#include "richtext/palette.h"

namespace {

const uint16_t wHotspotFile = 4;
const uint16_t wHotspotLink = 11;
const uint16_t wHotspotHidden = 22;

const uint32_t dwBarTitleIsFormula = 0x2000;

/* Appends the text of up to cbWanted bytes at nOffset of a record, ending at its first NUL and at the
   record's end. */
void AppendRecordString(const uint8_t *pbRec, int32_t cbRec, int32_t nOffset, int64_t cbWanted, std::string &strTo)
{
    const int32_t cb = nsfGetCDAvailable(cbRec, nOffset, cbWanted);
    if (cb == 0)
        return;
    const char *psz = reinterpret_cast<const char *>(pbRec + nOffset);
    const void *pvNul = memchr(psz, '\0', static_cast<size_t>(cb));
    strTo.append(psz, pvNul != nullptr ? static_cast<size_t>(static_cast<const char *>(pvNul) - psz)
                                        : static_cast<size_t>(cb));
}

} // namespace

void CLotusRTConverter::Hotspot(const uint8_t *pbRec, int32_t cbRec)
{
    const uint8_t bSig = nsfGetCDByte(pbRec, cbRec, 0);
    const uint16_t wType = nsfGetCDWord(pbRec, cbRec, 4);
    const int32_t cbData = nsfGetCDWord(pbRec, cbRec, 10);
    const int32_t nData = 12;

    if (bSig == LOTUS_SIG_V4HOTSPOTBEGIN) {
        if (wType != wHotspotLink || cbData <= 0)
            return;
        /* The URL's last byte is its terminator. */
        const int32_t cbURL = nsfGetCDAvailable(cbRec, nData, cbData - 1);
        strOut += "<A href=";
        strOut += strEquals;
        strOut += '"';
        if (cbURL > 0)
            strOut.append(reinterpret_cast<const char *>(pbRec + nData), static_cast<size_t>(cbURL));
        strOut += "\">";
        strOut += strNewLine;
        bLinkOpen = 1;
        return;
    }

    if (bSig == LOTUS_SIG_V4HOTSPOTEND) {
        if (!bLinkOpen)
            return;
        bLinkOpen = 0;
        strOut += "</A>";
        strOut += strNewLine;
        return;
    }

    if (bSig == LOTUS_SIG_HOTSPOTBEGIN) {
        if (wType == wHotspotFile && bShowAttachmentName && cbData > 0) {
            AppendRecordString(pbRec, cbRec, nData, cbData, strOut);
        } else if (wType == wHotspotHidden && (dwFlags & CNVO_SHOWHIDDENTEXT) && cbData >= 1) {
            strOut += "<FONT FACE=";
            strOut += strEquals;
            strOut += "\"MONOSPACE\"  SIZE=";
            strOut += strEquals;
            strOut += "3  COLOR=";
            strOut += strEquals;
            strOut += "#202020>";
            AppendRecordString(pbRec, cbRec, nData, cbData, strOut);
            strOut += "</FONT>";
            strOut += strNewLine;
        }
    }
}

void CLotusRTConverter::SectionTitle(const uint8_t *pbRec, int32_t cbRec)
{
    const uint32_t dwBarFlags = nsfGetCDDword(pbRec, cbRec, 4);
    if (dwBarFlags & dwBarTitleIsFormula)
        return;
    /* The title follows the fixed part and the bar's colour word. */
    const int32_t nTitle = 14;
    strOut += "<P>";
    strOut += strNewLine;
    AppendRecordString(pbRec, cbRec, nTitle, cbRec, strOut);
    strOut += strNewLine;
    strOut += "</P>";
    strOut += strNewLine;
}

void CLotusRTConverter::Caption(const uint8_t *pbRec, int32_t cbRec)
{
    const int32_t nText = 28;
    const int32_t cbText = nsfGetCDAvailable(cbRec, nText, nsfGetCDWord(pbRec, cbRec, 4));
    const uint8_t bFace = nsfGetCDByte(pbRec, cbRec, 7);
    const uint8_t bColour = nsfGetCDByte(pbRec, cbRec, 8);

    strOut += "<BR><FONT FACE=";
    strOut += strEquals;
    FaceAttribute(bFace, strOut);
    strOut += " SIZE=";
    strOut += strEquals;
    strOut += "1 COLOR=";
    strOut += strEquals;
    strOut += bColour < LOTUS_PALETTE_SIZE ? nsfGetPaletteColour(bColour) : "0";
    strOut += '>';
    if (cbText > 0)
        strOut.append(reinterpret_cast<const char *>(pbRec + nText), static_cast<size_t>(cbText));
    strOut += "</FONT><BR>";
    strOut += strNewLine;
}
