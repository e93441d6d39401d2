#include "richtext/border_style.h"

namespace {

const char *const rgszBorderStyle[LOTUS_BORDER_STYLE_COUNT] = {
    "solid", "solid", "double", "inset", "outset", "ridge", "groove", "dotted", "dashed", "solid", "solid",
};

} // namespace

const char *nsfGetBorderStyleName(uint32_t nStyle)
{
    return nStyle < LOTUS_BORDER_STYLE_COUNT ? rgszBorderStyle[nStyle] : rgszBorderStyle[0];
}
