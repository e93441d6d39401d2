// OSTranslate between LMBCS and UTF-8/UTF-16.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime_fixture.h"

namespace {

using notesapi_test::RuntimeTest;

class Translate : public RuntimeTest {};

// "é" is 0x82 in code page 850, the LMBCS optimisation group; "€" needs a group byte.
const std::string kLmbcs = "caf\x82";
const std::string kUtf8 = "caf\xC3\xA9";

TEST_F(Translate, LmbcsAndUtf8RoundTrip) {
    char out[64];
    WORD n = OSTranslate(OS_TRANSLATE_LMBCS_TO_UTF8, kLmbcs.data(), static_cast<WORD>(kLmbcs.size()), out, sizeof out);
    EXPECT_EQ(std::string(out, n), kUtf8);
    EXPECT_EQ(out[n], '\0');
    n = OSTranslate(OS_TRANSLATE_UTF8_TO_LMBCS, kUtf8.data(), static_cast<WORD>(kUtf8.size()), out, sizeof out);
    EXPECT_EQ(std::string(out, n), kLmbcs);
    // MAXWORD: the input ends at its NUL.
    n = OSTranslate(OS_TRANSLATE_LMBCS_TO_UTF8, kLmbcs.c_str(), MAXWORD, out, sizeof out);
    EXPECT_EQ(std::string(out, n), kUtf8);
    // A 0x00 byte inside the given length is kept.
    const char withNul[] = {'a', '\0', 'b'};
    n = OSTranslate(OS_TRANSLATE_LMBCS_TO_UTF8, withNul, 3, out, sizeof out);
    EXPECT_EQ(std::string(out, n), std::string(withNul, 3));
    n = OSTranslate(OS_TRANSLATE_LMBCS_TO_ASCII, kLmbcs.data(), 4, out, sizeof out);
    EXPECT_EQ(std::string(out, n), "caf?");
    n = OSTranslate(OS_TRANSLATE_LOWER_TO_UPPER, kLmbcs.data(), 4, out, sizeof out);
    EXPECT_EQ(std::string(out, n), "CAF\x82");
}

class Memory : public RuntimeTest {};

}  // namespace
