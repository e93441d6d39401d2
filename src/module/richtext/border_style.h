/*
 * CSS names of the table border styles that a border record numbers.
 */
#ifndef NSFREX_MODULE_RICHTEXT_BORDER_STYLE_H
#define NSFREX_MODULE_RICHTEXT_BORDER_STYLE_H

#include <stdint.h>

#define LOTUS_BORDER_STYLE_COUNT 11

/* The style name of nStyle; a number of LOTUS_BORDER_STYLE_COUNT or more names the first style. */
const char *nsfGetBorderStyleName(uint32_t nStyle);

#endif
