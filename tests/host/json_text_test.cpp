// JSON strings for command output: escapes, and invalid UTF-8 as U+FFFD so that the output stays JSON.
#include <gtest/gtest.h>

#include "json_text.h"

namespace {

using nsfrex::jsonQuoted;

TEST(JsonText, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(jsonQuoted("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(jsonQuoted("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"");
    EXPECT_EQ(jsonQuoted("\xC3"), "\"\xEF\xBF\xBD\"");          // truncated
    EXPECT_EQ(jsonQuoted("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // surrogate
    // Lead bytes beyond F4 start no sequence, whatever follows them.
    EXPECT_EQ(jsonQuoted("\xF5\x80\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(jsonQuoted("\xFF\x80\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

}  // namespace
