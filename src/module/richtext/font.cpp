#include "richtext/font.h"

CLotusRTFont::CLotusRTFont(uint32_t bMHTMode, const uint8_t *pbFace)
    : CLotusHTMLTag(bMHTMode), bFaceID(pbFace[0]), bFamily(pbFace[1]),
      strName(reinterpret_cast<const char *>(pbFace + 2), LOTUS_FONT_NAME_SIZE)
{
    for (char &ch : strName) {
        if (ch == '\0')
            ch = ' ';
    }
}

CLotusRTFont::~CLotusRTFont() = default;
