/*
 * CLotusRTBlock: which block-level element is open in the output (none, a paragraph, or one of the
 * bullet and numbered list kinds), and the transitions between them.
 */
#ifndef NSFREX_MODULE_RICHTEXT_BLOCK_H
#define NSFREX_MODULE_RICHTEXT_BLOCK_H

#include <stdint.h>

#include <string>

enum : int32_t {
    LOTUS_BLOCK_NONE = 0,
    LOTUS_BLOCK_PARAGRAPH = 1,
    LOTUS_BLOCK_BULLET = 2,
    LOTUS_BLOCK_BULLET_CIRCLE = 3,
    LOTUS_BLOCK_BULLET_SQUARE = 4,
    LOTUS_BLOCK_BULLET_SQUARE2 = 5,
    LOTUS_BLOCK_NUMBER_DECIMAL = 6,
    LOTUS_BLOCK_NUMBER_UPPER_ROMAN = 7,
    LOTUS_BLOCK_NUMBER_LOWER_ROMAN = 8,
    LOTUS_BLOCK_NUMBER_UPPER_ALPHA = 9,
    LOTUS_BLOCK_NUMBER_LOWER_ALPHA = 10,
};

class CLotusRTBlock {
public:
    explicit CLotusRTBlock(uint32_t bMHTMode = 0);

    void SetMode(uint32_t bMHTMode);

    /* Moves to block mode nMode, appending to strOut what closes the open block and opens the new one.
       The opening tag is left without its ">": the caller completes it. Mode 0 only closes. A list
       that continues with the same kind gets "</LI><LI" instead of being reopened. */
    void Transition(int32_t nMode, std::string &strOut);

    std::string strEquals;
    std::string strNewLine;
    int32_t nBlockMode;
};

#endif
