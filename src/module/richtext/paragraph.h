/*
 * CLotusRTPar: a paragraph definition (alignment and list kind) that paragraph references name by ID.
 */
#ifndef NSFREX_MODULE_RICHTEXT_PARAGRAPH_H
#define NSFREX_MODULE_RICHTEXT_PARAGRAPH_H

#include <stdint.h>

#include <string>

#include "richtext/html_tag.h"

/* Paragraph definition flags that make a list. */
#define LOTUS_PABFLAG_BULLET 0x0400
#define LOTUS_PABFLAG_NUMBEREDLIST 0x1000

class CLotusRTPar : public CLotusHTMLTag {
public:
    /* Reads the definition record of cbRec bytes; fields beyond a short record read as 0. */
    CLotusRTPar(uint32_t bMHTMode, const uint8_t *pbRec, int32_t cbRec);
    virtual ~CLotusRTPar();

    /* Block mode of a paragraph of this definition: a bullet or numbered list kind, or a paragraph. */
    int32_t GetBlockMode() const;

    /* Appends the attribute text that completes the opening tag: " ALIGN=" and the alignment, ">" and
       NL. */
    void AppendAlignment(std::string &strTo) const;

    uint16_t wID;
    uint16_t wJustification;  /* 1 right, 2 justify, 3 center, else left */
    uint16_t wFlags;
    uint16_t wFlags2;
};

#endif
