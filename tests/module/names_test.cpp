// Name lookups for log lines: the edges of each sorted table and codes it does not hold.
#include <stdint.h>

#include <gtest/gtest.h>

#include "text/names.h"

namespace {

/* The lookups are binary searches over sorted tables: each row names an edge or a miss. */
TEST(NameTables, LookupsFindEdgesAndMissUnknownCodes)
{
    const struct {
        const char *pszRule;
        const char *(*fpName)(uint16_t);
        uint16_t w;
        const char *pszName;
    } rows[] = {
        {"first host", nsfHostTypeName, 0, "HOST_MSDOS"},
        {"last host", nsfHostTypeName, 2560, "HOST_LINK"},
        {"host gap", nsfHostTypeName, 0x0300, "HOST_UNKNOWN"},
        {"class ignores the low byte", nsfClassName, 0x07FF, "CLASS_USERID"},
        {"class past the table", nsfClassName, 0x0800, "CLASS_UNKNOWN"},
        {"type in the middle", nsfTypeName, 0x0500, "TYPE_TEXT"},
        {"first type", nsfTypeName, 0, "TYPE_INVALID_OR_UNKNOWN"},
        {"last type", nsfTypeName, 1025, "TYPE_IME_RANGE"},
        {"type gap", nsfTypeName, 23, "TYPE_UNKNOWN"},
        {"word record", nsfSigName, 0xFF85, "SIG_CD_TEXT"},
        {"first byte record", nsfSigName, 89, "SIG_CD_IGNORE"},
        {"last word record", nsfSigName, 0xFFFF, "SIG_CD_EMBEDDEDEDITCTL"},
        {"below the records", nsfSigName, 88, "SIG_INVALID"},
        {"note class bit", nsfNoteClassName, 0x1000, "NOTE_CLASS_PRIVATE"},
        {"two note class bits", nsfNoteClassName, 0x0009, "NOTE_CLASS_UNKNOWN"},
    };
    for (const auto &row : rows)
        EXPECT_STREQ(row.fpName(row.w), row.pszName) << row.pszRule;
}

} // namespace
