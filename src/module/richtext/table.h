/*
 * CLotusRTTable: one open table. It remembers the colours and borders its records announce and renders
 * each table record (begin, cell, end) as HTML table markup with inline styles.
 */
#ifndef NSFREX_MODULE_RICHTEXT_TABLE_H
#define NSFREX_MODULE_RICHTEXT_TABLE_H

#include <stdint.h>

#include <string>

#include "richtext/html_tag.h"

class CLotusRTTable : public CLotusHTMLTag {
public:
    /* Starts a table from its pre-table record (cbRec bytes at pbRec). */
    CLotusRTTable(uint32_t bMHTMode, const uint8_t *pbRec, int32_t cbRec);
    virtual ~CLotusRTTable();

    /* Appends the markup for one table record (possibly none); records of other kinds render nothing. */
    void Render(const uint8_t *pbRec, int32_t cbRec, std::string &strTo);

    int32_t nRow;               /* -1 before the first cell */
    int32_t nColumn;
    uint32_t dwBackground;      /* from the pre-table record; 0 = none */
    uint32_t dwBorderColour;    /* 0xRRGGBB */
    uint32_t dwBorderStyle;
    uint16_t wBorderTop;
    uint16_t wBorderLeft;
    uint16_t wBorderBottom;
    uint16_t wBorderRight;
    uint32_t dwCellColour1;     /* last cell-colour record of this table; white before any */
    uint32_t dwCellColour2;

private:
    void RenderBegin(std::string &strTo) const;
    void RenderCell(const uint8_t *pbRec, int32_t cbRec, std::string &strTo);
    void RenderEnd(std::string &strTo) const;
};

#endif
