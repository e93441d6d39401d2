/*
 * CLotusHTMLTag: the two strings every piece of converter markup is written with.
 *
 * In MHT mode the body is read as quoted-printable, so the equals sign of every attribute is followed by
 * "3D" (the quoted-printable form of "=") and block tags end in CR LF. In plain mode neither is needed.
 */
#ifndef NSFREX_MODULE_RICHTEXT_HTML_TAG_H
#define NSFREX_MODULE_RICHTEXT_HTML_TAG_H

#include <stdint.h>

#include <string>

class CLotusHTMLTag {
public:
    explicit CLotusHTMLTag(uint32_t bMHTMode = 0);

    /* 1: MHT mode ("3D", CR LF); 0: plain mode ("", LF). */
    void SetMode(uint32_t bMHTMode);

    std::string strEquals;   /* written right after the "=" of every attribute */
    std::string strNewLine;  /* written after block-level tags */
};

#endif
