#include "richtext/table.h"

#include <stdio.h>

#include "richtext/border_style.h"
#include "richtext/cd_record.h"
#include "richtext/palette.h"

namespace {

void AppendFormat(std::string &strTo, const char *pszFormat, uint32_t dwValue)
{
    char sz[32];
    const int cch = snprintf(sz, sizeof sz, pszFormat, dwValue);
    if (cch > 0)
        strTo.append(sz, static_cast<size_t>(cch) < sizeof sz ? static_cast<size_t>(cch) : sizeof sz - 1);
}

} // namespace

CLotusRTTable::CLotusRTTable(uint32_t bMHTMode, const uint8_t *pbRec, int32_t cbRec)
    : CLotusHTMLTag(bMHTMode), nRow(-1), nColumn(-1), dwBackground(nsfGetCDDword(pbRec, cbRec, 24)),
      dwBorderColour(0), dwBorderStyle(0), wBorderTop(0), wBorderLeft(0), wBorderBottom(0), wBorderRight(0),
      dwCellColour1(0xFFFFFF), dwCellColour2(0xFFFFFF)
{
}

CLotusRTTable::~CLotusRTTable() = default;

void CLotusRTTable::Render(const uint8_t *pbRec, int32_t cbRec, std::string &strTo)
{
    switch (nsfGetCDByte(pbRec, cbRec, 0)) {
    case LOTUS_SIG_TABLEBEGIN:
    case LOTUS_SIG_NESTEDTABLEBEGIN:
        RenderBegin(strTo);
        break;
    case LOTUS_SIG_TABLECELL:
    case LOTUS_SIG_NESTEDTABLECELL:
        RenderCell(pbRec, cbRec, strTo);
        break;
    case LOTUS_SIG_TABLEEND:
    case LOTUS_SIG_NESTEDTABLEEND:
        RenderEnd(strTo);
        break;
    case LOTUS_SIG_TABLECELL_COLOR:
        dwCellColour1 = nsfGetCDDword(pbRec, cbRec, 4);
        dwCellColour2 = nsfGetCDDword(pbRec, cbRec, 10);
        break;
    case LOTUS_SIG_BORDERINFO:
        dwBorderStyle = nsfGetCDDword(pbRec, cbRec, 4);
        wBorderTop = nsfGetCDWord(pbRec, cbRec, 8);
        wBorderLeft = nsfGetCDWord(pbRec, cbRec, 10);
        wBorderBottom = nsfGetCDWord(pbRec, cbRec, 12);
        wBorderRight = nsfGetCDWord(pbRec, cbRec, 14);
        dwBorderColour = (static_cast<uint32_t>(nsfGetCDByte(pbRec, cbRec, 44)) << 16) +
                         (static_cast<uint32_t>(nsfGetCDByte(pbRec, cbRec, 45)) << 8) +
                         nsfGetCDByte(pbRec, cbRec, 46);
        break;
    default:
        break;
    }
}

void CLotusRTTable::RenderBegin(std::string &str) const
{
    str += "<TABLE STYLE=";
    str += strEquals;
    str += "\" ";
    if (dwBackground != 0) {
        str += "BACKGROUND-COLOR: #";
        AppendFormat(str, "%06X", dwBackground);
        str += ';';
    }

    const struct {
        const char *pszSide;
        uint16_t wWidth;
    } rgSides[] = {
        {" BORDER-LEFT:", wBorderLeft},
        {" BORDER-TOP:", wBorderTop},
        {" BORDER-BOTTOM:", wBorderBottom},
        {" BORDER-RIGHT:", wBorderRight},
    };
    for (const auto &side : rgSides) {
        if (side.wWidth == 0)
            continue;
        str += side.pszSide;
        AppendFormat(str, "%dpx ", side.wWidth);
        str += nsfGetBorderStyleName(dwBorderStyle);
        AppendFormat(str, " #%06X ", dwBorderColour);
        str += ';';
    }
    str += "\">";
    str += strNewLine;
    str += "<TBODY>";
    str += strNewLine;
}

void CLotusRTTable::RenderCell(const uint8_t *pbRec, int32_t cbRec, std::string &str)
{
    if (nRow == -1 && nColumn == -1) {
        str += "<TR>";
        str += strNewLine;
    }
    if (nRow != -1 && nColumn != -1) {
        str += "</TD>";
        str += strNewLine;
    }

    nRow = nsfGetCDByte(pbRec, cbRec, 2);
    nColumn = nsfGetCDByte(pbRec, cbRec, 3);
    const int32_t nLeft = nsfGetCDWord(pbRec, cbRec, 4);
    const int32_t nRight = nsfGetCDWord(pbRec, cbRec, 6);
    const uint8_t bBorder = nsfGetCDByte(pbRec, cbRec, 10);
    const uint8_t bFlags = nsfGetCDByte(pbRec, cbRec, 11);
    const uint16_t wColour = nsfGetCDWord(pbRec, cbRec, 16);

    if (nColumn == 0 && nRow != 0) {
        str += "</TR>";
        str += strNewLine;
        str += "<TR>";
        str += strNewLine;
    }

    str += "<TD STYLE=";
    str += strEquals;
    str += "\" ";
    if (nRight != 0) {
        str += " WIDTH:";
        str += std::to_string((nRight - nLeft) / 20);
        str += "pt;";
    }

    if (bBorder & 0x03)
        str += " BORDER-LEFT: 1px solid black;";
    if (bBorder & 0x0C)
        str += " BORDER-RIGHT: 1px solid black;";
    if (bBorder & 0x30)
        str += " BORDER-TOP: 1px solid black;";
    if (bBorder & 0xC0)
        str += " BORDER-BOTTOM: 1px solid black;";

    if (bFlags & 0x01) {
        str += "BACKGROUND-COLOR:";
        if (bFlags & 0x10) {
            char sz[16];
            auto avg = [this](int nShift) {
                return static_cast<unsigned>((((dwCellColour1 >> nShift) & 0xFF) + ((dwCellColour2 >> nShift) & 0xFF)) / 2);
            };
            snprintf(sz, sizeof sz, "#%02X%02X%02X", avg(0), avg(8), avg(16));
            str += sz;
        } else {
            str += nsfGetPaletteColour(wColour < LOTUS_PALETTE_SIZE ? wColour : 0);
        }
        str += ';';
    }

    if (bFlags & 0x20)
        str += "VERTICAL-ALIGN:middle;";
    else if (bFlags >= 128)
        str += "VERTICAL-ALIGN:bottom;";
    else
        str += "VERTICAL-ALIGN:top;";

    str += "\">";
}

void CLotusRTTable::RenderEnd(std::string &str) const
{
    for (const char *psz : {"</TD>", "</TR>", "</TBODY>", "</TABLE>"}) {
        str += psz;
        str += strNewLine;
    }
}
