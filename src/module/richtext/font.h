/*
 * CLotusRTFont: one face of a document's font table. Text runs name a face by a one-byte number; numbers
 * other than the built-in serif, sans-serif and monospace faces are looked up here.
 */
#ifndef NSFREX_MODULE_RICHTEXT_FONT_H
#define NSFREX_MODULE_RICHTEXT_FONT_H

#include <stdint.h>

#include <string>

#include "richtext/html_tag.h"

/* Size of one face entry of a font table record, and of the name inside it. */
#define LOTUS_FONT_FACE_SIZE 34
#define LOTUS_FONT_NAME_SIZE 32

class CLotusRTFont : public CLotusHTMLTag {
public:
    /* pbFace: LOTUS_FONT_FACE_SIZE bytes (face number, family, NUL-padded name). */
    CLotusRTFont(uint32_t bMHTMode, const uint8_t *pbFace);
    virtual ~CLotusRTFont();

    uint8_t bFaceID;
    uint8_t bFamily;
    std::string strName;    /* always 32 characters: NUL bytes of the name read as spaces */
};

#endif
