#include "richtext/paragraph.h"

#include "richtext/block.h"
#include "richtext/cd_record.h"

CLotusRTPar::CLotusRTPar(uint32_t bMHTMode, const uint8_t *pbRec, int32_t cbRec)
    : CLotusHTMLTag(bMHTMode), wID(nsfGetCDWord(pbRec, cbRec, 4)), wJustification(nsfGetCDWord(pbRec, cbRec, 6)),
      wFlags(nsfGetCDWord(pbRec, cbRec, 62)), wFlags2(nsfGetCDWord(pbRec, cbRec, 68))
{
}

CLotusRTPar::~CLotusRTPar() = default;

int32_t CLotusRTPar::GetBlockMode() const
{
    auto bAll = [this](uint16_t wBits) { return (wFlags2 & wBits) == wBits; };

    if (wFlags & LOTUS_PABFLAG_BULLET) {
        if (wFlags2 & 0x0800)
            return LOTUS_BLOCK_BULLET_CIRCLE;
        if (wFlags2 & 0x1000)
            return LOTUS_BLOCK_BULLET_SQUARE;
        if (wFlags2 & 0x2000)
            return LOTUS_BLOCK_BULLET_SQUARE2;
        return LOTUS_BLOCK_BULLET;
    }
    if (wFlags & LOTUS_PABFLAG_NUMBEREDLIST) {
        if (bAll(0x1802))
            return LOTUS_BLOCK_NUMBER_LOWER_ALPHA;
        if (bAll(0x1800))
            return LOTUS_BLOCK_NUMBER_UPPER_ALPHA;
        if (bAll(0x0802))
            return LOTUS_BLOCK_NUMBER_UPPER_ROMAN;
        if (bAll(0x1002))
            return LOTUS_BLOCK_NUMBER_LOWER_ROMAN;
        return LOTUS_BLOCK_NUMBER_DECIMAL;
    }
    return LOTUS_BLOCK_PARAGRAPH;
}

void CLotusRTPar::AppendAlignment(std::string &strTo) const
{
    strTo.append(" ALIGN=", 7);
    strTo += strEquals;
    switch (wJustification) {
    case 1: strTo.append("RIGHT ", 6); break;
    case 2: strTo.append("JUSTIFY ", 8); break;
    case 3: strTo.append("CENTER ", 7); break;
    default: strTo.append("LEFT ", 5); break;
    }
    strTo += '>';
    strTo += strNewLine;
}
