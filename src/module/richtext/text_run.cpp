/*
 * Text runs: the font tag of a run (face, size, colour, highlight), its effect tags, and its text
 * converted from the Notes character set and made safe for the body.
 */
#include <stdio.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "richtext/cd_record.h"
#include "richtext/converter.h"
#include "richtext/palette.h"

namespace {

/* Character sets and modes of the host's text conversion from the Notes character set. */
const int32_t nCharsetNotes = 53;
const int32_t nCharsetOutput = 28;
const int32_t nConversionNotes = 50;
const int32_t nTextMode = 32;

/* Smallest block for converted text: most runs are short, and one block serves them all. */
const int32_t cbTextBlockMin = 8 * 1024;

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

/* The first NUL, line feed, "<" or tab at or after pch, or pchEnd: sixteen bytes at a time where the
   processor compares them at once, else eight, while none is among them. */
const char *FindSpecial(const char *pch, const char *pchEnd)
{
#if defined(__SSE2__)
    const __m128i vLineFeed = _mm_set1_epi8('\n');
    const __m128i vLess = _mm_set1_epi8('<');
    const __m128i vTab = _mm_set1_epi8('\t');
    for (; pchEnd - pch >= 16; pch += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pch));
        const __m128i vHits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_setzero_si128()), _mm_cmpeq_epi8(v, vLineFeed)),
                                           _mm_or_si128(_mm_cmpeq_epi8(v, vLess), _mm_cmpeq_epi8(v, vTab)));
        const int nMask = _mm_movemask_epi8(vHits);
        if (nMask != 0)
            return pch + __builtin_ctz(static_cast<unsigned>(nMask));
    }
#endif
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
void EscapeRunText(const char *pch, size_t cch, std::string &str)
{
    const char *const pchEnd = pch + cch;
    for (; pch < pchEnd && *pch == ' '; ++pch)
        str.append("&nbsp;", 6);
    /* unchanged stretches are appended whole */
    const char *pchSpan = pch;
    for (; (pch = FindSpecial(pch, pchEnd)) < pchEnd; ++pch) {
        const char *pszRepl;
        size_t cchRepl;
        switch (*pch) {
        case '\0':
        case '\n': pszRepl = "<BR>"; cchRepl = 4; break;
        case '<': pszRepl = "&lt;"; cchRepl = 4; break;
        case '\t': pszRepl = "&nbsp;&nbsp;&nbsp;&nbsp;"; cchRepl = 24; break;
        default: continue;
        }
        str.append(pchSpan, static_cast<size_t>(pch - pchSpan));
        str.append(pszRepl, cchRepl);
        pchSpan = pch + 1;
    }
    str.append(pchSpan, static_cast<size_t>(pchEnd - pchSpan));
}

} // namespace

void CLotusRTConverter::FaceAttribute(uint8_t bFace, std::string &strTo) const
{
    switch (bFace) {
    case 0: strTo.append("\"SERIF\" ", 8); return;
    case 1:
    case 3: strTo.append("\"SANS-SERIF\" ", 13); return;
    case 4: strTo.append("\"MONOSPACE\" ", 12); return;
    default: {
        const CLotusRTFont *pFont = FindFont(bFace);
        if (pFont == nullptr) {
            strTo.append("\"SANS-SERIF\" ", 13);
            return;
        }
        strTo += '"';
        strTo += pFont->strName;
        strTo.append("\" ", 2);
        return;
    }
    }
}

void CLotusRTConverter::RunOpening(uint32_t dwFont, uint32_t dwBackground, std::string &str) const
{
    const uint8_t bFace = static_cast<uint8_t>(dwFont);
    const uint8_t bAttrib = static_cast<uint8_t>(dwFont >> 8);
    const uint8_t bColour = static_cast<uint8_t>(dwFont >> 16);
    uint8_t bPointSize = static_cast<uint8_t>(dwFont >> 24);

    str.append("<FONT FACE=", 11);
    str += strEquals;
    FaceAttribute(bFace, str);

    if (bPointSize > 36)
        bPointSize &= 0x0F;
    str.append("SIZE=", 5);
    str += strEquals;
    str += static_cast<char>('0' + bPointSize / 5);

    str.append(" COLOR=", 7);
    str += strEquals;
    if (bColour < LOTUS_PALETTE_SIZE)
        str.append(nsfGetPaletteColour(bColour), LOTUS_PALETTE_COLOUR_LENGTH);

    if (dwBackground != 0) {
        char sz[16];
        const int cch = snprintf(sz, sizeof sz, "#%06X", dwBackground);
        str.append(" STYLE=", 7);
        str += strEquals;
        str.append("\"BACKGROUND-COLOR:", 18);
        str.append(sz, static_cast<size_t>(cch));
        str += '"';
    }
    str += '>';

    for (const auto &effect : rgEffects) {
        if (bAttrib & effect.bBit)
            str += effect.pszOpen;
    }
}

void CLotusRTConverter::RunClosing(uint32_t dwFont, std::string &str) const
{
    const uint8_t bAttrib = static_cast<uint8_t>(dwFont >> 8);
    for (size_t i = sizeof rgEffects / sizeof rgEffects[0]; i-- > 0;) {
        if (bAttrib & rgEffects[i].bBit)
            str += rgEffects[i].pszClose;
    }
    str.append("</FONT>", 7);
    str += strNewLine;
}

void CLotusRTConverter::TextRun(const uint8_t *pbRec, int32_t cbRec)
{
    /* face, attributes, colour and point size: everything the run's tags depend on */
    const uint32_t dwFont = nsfGetCDDword(pbRec, cbRec, 4);

    const char *pchText = nullptr;
    const int32_t cchText = cbRec > 8 ? ConvertText(pbRec + 8, cbRec - 8, &pchText) : 0;

    /* Runs in a row mostly share their font: its tags are built once and appended whole. */
    if (!bRunTagsValid || dwRunTagsFont != dwFont) {
        strRunOpening.clear();
        RunOpening(dwFont, 0, strRunOpening);
        strRunClosing.clear();
        RunClosing(dwFont, strRunClosing);
        dwRunTagsFont = dwFont;
        bRunTagsValid = true;
    }
    if (dwHighlight != 0) {
        RunOpening(dwFont, dwHighlight, strOut);
        dwHighlight = 0;
    } else {
        strOut += strRunOpening;
    }

    if ((cchText == 0 || (cchText == 1 && pchText[0] == ' ')) && !rgpTables.empty())
        strOut.append("&nbsp;", 6);
    else
        EscapeRunText(pchText, static_cast<size_t>(cchText), strOut);

    strOut += strRunClosing;
}

int32_t CLotusRTConverter::ConvertText(const uint8_t *pb, int32_t cb, const char **ppchText)
{
    *ppchText = nullptr;
    if (pb == nullptr || cb < 1)
        return 0;
    if (static_cast<int64_t>(cb) * 6 > INT32_MAX)
        return 0;
    MemoryService &mem = pZAPI->memoryService;
    if (pZAPI->fpTextConvert == nullptr) {
        *ppchText = reinterpret_cast<const char *>(pb);
        return cb;
    }
    if (mem.fpMalloc == nullptr || mem.fpFree == nullptr)
        return 0;

    const int32_t cbOut = cb * 6;
    if (!ReserveTextBlock(cbOut))
        return 0;

    const int32_t nSavedIn = pZAPI->nCharsetIn;
    const int32_t nSavedOut = pZAPI->nCharsetOut;
    pZAPI->nCharsetIn = nCharsetNotes;
    pZAPI->nCharsetOut = nCharsetOutput;
    if (pZAPI->fpTextMode != nullptr)
        pZAPI->fpTextMode(pZAPI, nTextMode);

    TextPair in = {const_cast<uint8_t *>(pb), cb};
    TextPair out = {pbTextBlock, cbOut};
    try {
        pZAPI->fpTextConvert(pZAPI, nConversionNotes, &in, &out, nTextMode);
    } catch (...) {
        /* the host's character sets are not left behind by a failing host */
        pZAPI->nCharsetIn = nSavedIn;
        pZAPI->nCharsetOut = nSavedOut;
        throw;
    }
    pZAPI->nCharsetIn = nSavedIn;
    pZAPI->nCharsetOut = nSavedOut;

    /* The host reports how much it wrote; a count outside the block is not believed. */
    *ppchText = reinterpret_cast<const char *>(pbTextBlock);
    return out.cb < 0 ? 0 : (out.cb > cbOut ? cbOut : out.cb);
}

bool CLotusRTConverter::ReserveTextBlock(int32_t cb)
{
    if (cb <= cbTextBlock)
        return true;
    MemoryService &mem = pZAPI->memoryService;
    ReleaseTextBlock();
    /* One block serves every run of the conversion; small runs share a first block of a few pages. */
    const int32_t cbBlock = cb < cbTextBlockMin ? cbTextBlockMin : cb;
    pbTextBlock = static_cast<uint8_t *>(mem.fpMalloc(&mem, static_cast<size_t>(cbBlock)));
    if (pbTextBlock == nullptr)
        return false;
    cbTextBlock = cbBlock;
    return true;
}

void CLotusRTConverter::ReleaseTextBlock()
{
    if (pbTextBlock != nullptr)
        pZAPI->memoryService.fpFree(&pZAPI->memoryService, pbTextBlock);
    pbTextBlock = nullptr;
    cbTextBlock = 0;
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
