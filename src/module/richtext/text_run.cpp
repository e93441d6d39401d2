/*
 * Text runs: the font tag of a run (face, size, colour, highlight), its effect tags, and its text
 * converted from the Notes character set and made safe for the body.
 */
#include <stdio.h>
#include <string.h>

#include "richtext/cd_record.h"
#include "richtext/converter.h"
#include "richtext/palette.h"

namespace {

/* Character sets and modes of the host's text conversion from the Notes character set. */
const int32_t nCharsetNotes = 53;
const int32_t nCharsetOutput = 28;
const int32_t nConversionNotes = 50;
const int32_t nTextMode = 32;

/* Attribute bits of a font ID and the tags they open, in opening order. */
const struct {
    uint8_t bBit;
    const char *pszOpen;
    const char *pszClose;
} rgEffects[] = {
    {0x01, "<B> ", "</B> "},
    {0x02, "<I> ", "</I> "},
    {0x04, "<U> ", "</U> "},
    {0x10, "<SUP> ", "</SUP> "},
    {0x20, "<SUB> ", "</SUB> "},
    {0x08, "<S> ", "</S> "},
};

/* True when a byte of w is zero. */
inline bool HasZeroByte(uint64_t w)
{
    return ((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull) != 0;
}

/* The first NUL, line feed, "<" or tab at or after pch, or pchEnd: eight bytes at a time while none is
   among them. */
const char *FindSpecial(const char *pch, const char *pchEnd)
{
    const uint64_t qwOnes = 0x0101010101010101ull;
    for (; pchEnd - pch >= 8; pch += 8) {
        uint64_t w;
        memcpy(&w, pch, sizeof w);
        if (HasZeroByte(w) || HasZeroByte(w ^ (qwOnes * '\n')) || HasZeroByte(w ^ (qwOnes * '<')) ||
            HasZeroByte(w ^ (qwOnes * '\t')))
            break;
    }
    for (; pch < pchEnd; ++pch) {
        if (*pch == '\0' || *pch == '\n' || *pch == '<' || *pch == '\t')
            break;
    }
    return pch;
}

/* Line breaks, "<" and tabs made visible; spaces at the very start made non-breaking. Nothing else is
   escaped: the host's conversion delivers text meant to pass as it stands. */
void EscapeRunText(const std::string &strText, std::string &str)
{
    const char *pch = strText.data();
    const char *const pchEnd = pch + strText.size();
    for (; pch < pchEnd && *pch == ' '; ++pch)
        str += "&nbsp;";
    /* unchanged stretches are appended whole */
    const char *pchSpan = pch;
    for (; (pch = FindSpecial(pch, pchEnd)) < pchEnd; ++pch) {
        const char *pszRepl;
        switch (*pch) {
        case '\0':
        case '\n': pszRepl = "<BR>"; break;
        case '<': pszRepl = "&lt;"; break;
        case '\t': pszRepl = "&nbsp;&nbsp;&nbsp;&nbsp;"; break;
        default: continue;
        }
        str.append(pchSpan, static_cast<size_t>(pch - pchSpan));
        str += pszRepl;
        pchSpan = pch + 1;
    }
    str.append(pchSpan, static_cast<size_t>(pchEnd - pchSpan));
}

} // namespace

std::string CLotusRTConverter::FaceAttribute(uint8_t bFace) const
{
    switch (bFace) {
    case 0: return "\"SERIF\" ";
    case 1:
    case 3: return "\"SANS-SERIF\" ";
    case 4: return "\"MONOSPACE\" ";
    default: {
        const CLotusRTFont *pFont = FindFont(bFace);
        return pFont != nullptr ? "\"" + pFont->strName + "\" " : "\"SANS-SERIF\" ";
    }
    }
}

std::string CLotusRTConverter::TextRun(const uint8_t *pbRec, int32_t cbRec)
{
    const uint8_t bFace = nsfGetCDByte(pbRec, cbRec, 4);
    const uint8_t bAttrib = nsfGetCDByte(pbRec, cbRec, 5);
    const uint8_t bColour = nsfGetCDByte(pbRec, cbRec, 6);
    uint8_t bPointSize = nsfGetCDByte(pbRec, cbRec, 7);

    std::string strText = cbRec > 8 ? ConvertText(pbRec + 8, cbRec - 8) : std::string();

    std::string str;
    str.reserve(strText.size() + 160);
    str += "<FONT FACE=";
    str += strEquals;
    str += FaceAttribute(bFace);

    if (bPointSize > 36)
        bPointSize &= 0x0F;
    str += "SIZE=";
    str += strEquals;
    str += static_cast<char>('0' + bPointSize / 5);

    str += " COLOR=";
    str += strEquals;
    if (bColour < LOTUS_PALETTE_SIZE)
        str += nsfGetPaletteColour(bColour);

    if (dwHighlight != 0) {
        char sz[16];
        snprintf(sz, sizeof sz, "#%06X", dwHighlight);
        str += " STYLE=" + strEquals + "\"BACKGROUND-COLOR:" + sz + "\"";
        dwHighlight = 0;
    }
    str += ">";

    for (const auto &effect : rgEffects) {
        if (bAttrib & effect.bBit)
            str += effect.pszOpen;
    }

    if ((strText.empty() || strText == " ") && !rgpTables.empty())
        str += "&nbsp;";
    else
        EscapeRunText(strText, str);

    for (size_t i = sizeof rgEffects / sizeof rgEffects[0]; i-- > 0;) {
        if (bAttrib & rgEffects[i].bBit)
            str += rgEffects[i].pszClose;
    }
    str += "</FONT>";
    str += strNewLine;
    return str;
}

std::string CLotusRTConverter::ConvertText(const uint8_t *pb, int32_t cb)
{
    if (pb == nullptr || cb < 1)
        return {};
    if (static_cast<int64_t>(cb) * 6 > INT32_MAX)
        return {};
    MemoryService &mem = pZAPI->memoryService;
    if (pZAPI->fpTextConvert == nullptr)
        return std::string(reinterpret_cast<const char *>(pb), static_cast<size_t>(cb));
    if (mem.fpMalloc == nullptr || mem.fpFree == nullptr)
        return {};

    const int32_t nSavedIn = pZAPI->nCharsetIn;
    const int32_t nSavedOut = pZAPI->nCharsetOut;
    pZAPI->nCharsetIn = nCharsetNotes;
    pZAPI->nCharsetOut = nCharsetOutput;
    if (pZAPI->fpTextMode != nullptr)
        pZAPI->fpTextMode(pZAPI, nTextMode);

    const int32_t cbOut = cb * 6;
    uint8_t *pbOut = static_cast<uint8_t *>(mem.fpMalloc(&mem, static_cast<size_t>(cbOut)));
    if (pbOut == nullptr) {
        pZAPI->nCharsetIn = nSavedIn;
        pZAPI->nCharsetOut = nSavedOut;
        return {};
    }

    TextPair in = {const_cast<uint8_t *>(pb), cb};
    TextPair out = {pbOut, cbOut};
    try {
        pZAPI->fpTextConvert(pZAPI, nConversionNotes, &in, &out, nTextMode);
    } catch (...) {
        /* the block and the host's character sets are not left behind by a failing host */
        pZAPI->nCharsetIn = nSavedIn;
        pZAPI->nCharsetOut = nSavedOut;
        mem.fpFree(&mem, pbOut);
        throw;
    }
    pZAPI->nCharsetIn = nSavedIn;
    pZAPI->nCharsetOut = nSavedOut;

    /* The host reports how much it wrote; a count outside the block is not believed. */
    const int32_t cbText = out.cb < 0 ? 0 : (out.cb > cbOut ? cbOut : out.cb);
    std::string str;
    try {
        str.assign(reinterpret_cast<const char *>(pbOut), static_cast<size_t>(cbText));
    } catch (...) {
        mem.fpFree(&mem, pbOut);
        throw;
    }
    mem.fpFree(&mem, pbOut);
    return str;
}

void CLotusRTConverter::SetHighlight(const uint8_t *pbRec, int32_t cbRec)
{
    dwHighlight = 0;
    switch (nsfGetCDByte(pbRec, cbRec, 3)) {
    case 0x20: dwHighlight = 0x80FFFF; break;
    case 0x40: dwHighlight = 0xFF80FF; break;
    case 0x80: dwHighlight = 0xFFFF80; break;
    default: break;
    }
}
