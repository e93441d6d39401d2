#include "richtext/block.h"

namespace {

bool IsBulletMode(int32_t n) { return n >= LOTUS_BLOCK_BULLET && n <= LOTUS_BLOCK_BULLET_SQUARE2; }
bool IsNumberMode(int32_t n) { return n >= LOTUS_BLOCK_NUMBER_DECIMAL && n <= LOTUS_BLOCK_NUMBER_LOWER_ALPHA; }

const char *ListStyle(int32_t n)
{
    switch (n) {
    case LOTUS_BLOCK_BULLET_CIRCLE: return "circle";
    case LOTUS_BLOCK_BULLET_SQUARE:
    case LOTUS_BLOCK_BULLET_SQUARE2: return "square";
    case LOTUS_BLOCK_NUMBER_DECIMAL: return "decimal";
    case LOTUS_BLOCK_NUMBER_UPPER_ROMAN: return "upper-roman";
    case LOTUS_BLOCK_NUMBER_LOWER_ROMAN: return "lower-roman";
    case LOTUS_BLOCK_NUMBER_UPPER_ALPHA: return "upper-alpha";
    case LOTUS_BLOCK_NUMBER_LOWER_ALPHA: return "lower-alpha";
    default: return nullptr;
    }
}

} // namespace

CLotusRTBlock::CLotusRTBlock(uint32_t bMHTMode) : nBlockMode(LOTUS_BLOCK_NONE)
{
    SetMode(bMHTMode);
}

void CLotusRTBlock::SetMode(uint32_t bMHTMode)
{
    strEquals = bMHTMode ? "3D" : "";
    strNewLine = bMHTMode ? "\r\n" : "\n";
}

void CLotusRTBlock::Transition(int32_t nMode, std::string &strOut)
{
    if (nBlockMode == LOTUS_BLOCK_PARAGRAPH) {
        strOut += "</P>";
        strOut += strNewLine;
        nBlockMode = LOTUS_BLOCK_NONE;
    }

    if (nBlockMode != nMode) {
        if (IsBulletMode(nBlockMode)) {
            strOut += "</LI></UL>";
            strOut += strNewLine;
        } else if (IsNumberMode(nBlockMode)) {
            strOut += "</LI></OL>";
            strOut += strNewLine;
        }
        nBlockMode = LOTUS_BLOCK_NONE;
    } else if (IsBulletMode(nMode) || IsNumberMode(nMode)) {
        strOut += "</LI><LI";
    }

    if (nBlockMode == LOTUS_BLOCK_NONE && (IsBulletMode(nMode) || IsNumberMode(nMode))) {
        if (nMode == LOTUS_BLOCK_BULLET) {
            strOut += "<UL><LI";
        } else {
            strOut += IsBulletMode(nMode) ? "<UL STYLE=" : "<OL STYLE=";
            strOut += strEquals;
            strOut += "\"list-style-type: ";
            strOut += ListStyle(nMode);
            strOut += ";\"><LI";
        }
        nBlockMode = nMode;
    }

    if (nMode == LOTUS_BLOCK_PARAGRAPH) {
        strOut += "<P";
        nBlockMode = LOTUS_BLOCK_PARAGRAPH;
    }
    nBlockMode = nMode;
}
