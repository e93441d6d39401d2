#include "richtext/html_tag.h"

CLotusHTMLTag::CLotusHTMLTag(uint32_t bMHTMode)
{
    SetMode(bMHTMode);
}

void CLotusHTMLTag::SetMode(uint32_t bMHTMode)
{
    strEquals = bMHTMode ? "3D" : "";
    strNewLine = bMHTMode ? "\r\n" : "\n";
}
