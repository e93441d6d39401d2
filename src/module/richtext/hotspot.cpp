/*
 * Records that render short pieces of their own data: hotspots (links, attachment names, hidden text),
 * section titles and image captions.
 */
#include "richtext/cd_record.h"
#include "richtext/converter.h"
#include "richtext/palette.h"

namespace {

const uint16_t wHotspotFile = 4;
const uint16_t wHotspotLink = 11;
const uint16_t wHotspotHidden = 22;

const uint32_t dwBarTitleIsFormula = 0x2000;

/* The text of up to cbWanted bytes at nOffset of a record, ending at its first NUL and at the record's
   end. */
std::string RecordString(const uint8_t *pbRec, int32_t cbRec, int32_t nOffset, int64_t cbWanted)
{
    const int32_t cb = nsfGetCDAvailable(cbRec, nOffset, cbWanted);
    if (cb == 0)
        return {};
    const char *psz = reinterpret_cast<const char *>(pbRec + nOffset);
    size_t cch = 0;
    while (cch < static_cast<size_t>(cb) && psz[cch] != '\0')
        ++cch;
    return std::string(psz, cch);
}

} // namespace

std::string CLotusRTConverter::Hotspot(const uint8_t *pbRec, int32_t cbRec)
{
    const uint8_t bSig = nsfGetCDByte(pbRec, cbRec, 0);
    const uint16_t wType = nsfGetCDWord(pbRec, cbRec, 4);
    const int32_t cbData = nsfGetCDWord(pbRec, cbRec, 10);
    const int32_t nData = 12;

    if (bSig == LOTUS_SIG_V4HOTSPOTBEGIN) {
        if (wType != wHotspotLink || cbData <= 0)
            return {};
        /* The URL's last byte is its terminator. */
        const int32_t cbURL = nsfGetCDAvailable(cbRec, nData, cbData - 1);
        std::string str = "<A href=" + strEquals + "\"";
        if (cbURL > 0)
            str.append(reinterpret_cast<const char *>(pbRec + nData), static_cast<size_t>(cbURL));
        str += "\">" + strNewLine;
        bLinkOpen = 1;
        return str;
    }

    if (bSig == LOTUS_SIG_V4HOTSPOTEND) {
        if (!bLinkOpen)
            return {};
        bLinkOpen = 0;
        return "</A>" + strNewLine;
    }

    if (bSig == LOTUS_SIG_HOTSPOTBEGIN) {
        if (wType == wHotspotFile && bShowAttachmentName && cbData > 0)
            return RecordString(pbRec, cbRec, nData, cbData);
        if (wType == wHotspotHidden && (dwFlags & CNVO_SHOWHIDDENTEXT) && cbData >= 1) {
            return "<FONT FACE=" + strEquals + "\"MONOSPACE\"  " + "SIZE=" + strEquals + "3 " + " COLOR=" +
                   strEquals + "#202020" + ">" + RecordString(pbRec, cbRec, nData, cbData) + "</FONT>" + strNewLine;
        }
    }
    return {};
}

std::string CLotusRTConverter::SectionTitle(const uint8_t *pbRec, int32_t cbRec) const
{
    const uint32_t dwBarFlags = nsfGetCDDword(pbRec, cbRec, 4);
    if (dwBarFlags & dwBarTitleIsFormula)
        return {};
    /* The title follows the fixed part and the bar's colour word. */
    const int32_t nTitle = 14;
    return "<P>" + strNewLine + RecordString(pbRec, cbRec, nTitle, cbRec) + strNewLine + "</P>" + strNewLine;
}

std::string CLotusRTConverter::Caption(const uint8_t *pbRec, int32_t cbRec) const
{
    const int32_t nText = 28;
    const int32_t cbText = nsfGetCDAvailable(cbRec, nText, nsfGetCDWord(pbRec, cbRec, 4));
    const uint8_t bFace = nsfGetCDByte(pbRec, cbRec, 7);
    const uint8_t bColour = nsfGetCDByte(pbRec, cbRec, 8);

    std::string str = "<BR><FONT FACE=" + strEquals + FaceAttribute(bFace);
    str += " SIZE=" + strEquals + "1" + " COLOR=" + strEquals;
    str += bColour < LOTUS_PALETTE_SIZE ? nsfGetPaletteColour(bColour) : "0";
    str += ">";
    if (cbText > 0)
        str.append(reinterpret_cast<const char *>(pbRec + nText), static_cast<size_t>(cbText));
    str += "</FONT>";
    str += "<BR>" + strNewLine;
    return str;
}
