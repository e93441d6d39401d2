// OSTranslate between LMBCS and UTF-8/UTF-16, and memory handles.
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

TEST_F(Translate, OutputIsCutAtCharacterBoundaries) {
    char out[8];
    std::memset(out, 'z', sizeof out);
    // "café" is 5 UTF-8 bytes: 4 bytes of room must not take half of the é.
    WORD n = OSTranslate(OS_TRANSLATE_LMBCS_TO_UTF8, kLmbcs.data(), 4, out, 4);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(std::string(out, 3), "caf");
    EXPECT_EQ(out[4], 'z');  // nothing written past the room given
    const std::string euro = "a\xE2\x82\xAC";  // a€: € takes more than one LMBCS byte
    n = OSTranslate(OS_TRANSLATE_UTF8_TO_LMBCS, euro.data(), static_cast<WORD>(euro.size()), out, 2);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(OSTranslate(OS_TRANSLATE_LMBCS_TO_UTF8, kLmbcs.data(), 4, out, 0), 0);
    EXPECT_EQ(OSTranslate(OS_TRANSLATE_LMBCS_TO_UTF8, nullptr, 4, out, sizeof out), 0);
    EXPECT_EQ(OSTranslate(OS_TRANSLATE_UNACCENT, kLmbcs.data(), 4, out, sizeof out), 0);  // not provided
}

TEST_F(Translate, Utf16IsLittleEndianAndKeepsSurrogatePairsWhole) {
    const std::string text = "A\xF0\x9F\x98\x80";  // A and U+1F600
    char lmbcs[32];
    const WORD ln = OSTranslate(OS_TRANSLATE_UTF8_TO_LMBCS, text.data(), static_cast<WORD>(text.size()), lmbcs,
                                sizeof lmbcs);
    ASSERT_GT(ln, 1);
    char out[16];
    WORD n = OSTranslate(OS_TRANSLATE_LMBCS_TO_UNICODE, lmbcs, ln, out, sizeof out);
    ASSERT_EQ(n, 6);
    EXPECT_EQ(std::string(out, 2), std::string("A\0", 2));
    EXPECT_EQ(static_cast<unsigned char>(out[3]) & 0xFC, 0xD8);  // high surrogate first
    n = OSTranslate(OS_TRANSLATE_LMBCS_TO_UNICODE, lmbcs, ln, out, 5);
    EXPECT_EQ(n, 2);  // the pair does not fit: only "A"
    char back[16];
    n = OSTranslate(OS_TRANSLATE_UNICODE_TO_LMBCS, "A\0B\0", 4, back, sizeof back);
    EXPECT_EQ(std::string(back, n), "AB");
}

class Memory : public RuntimeTest {};

TEST_F(Memory, LocksAreCountedAndFreedHandlesAreRefused) {
    MEMHANDLE h = 0;
    ASSERT_EQ(OSMemoryAllocate(0, 100, &h), NOERROR);
    EXPECT_EQ(OSMemoryGetSize(h), 100u);
    auto* p = static_cast<char*>(OSMemoryLock(h));
    ASSERT_NE(p, nullptr);
    std::memset(p, 1, 100);
    EXPECT_EQ(OSMemoryLock(h), p);
    EXPECT_TRUE(OSMemoryUnlock(h));
    EXPECT_TRUE(OSMemoryUnlock(h));
    EXPECT_FALSE(OSMemoryUnlock(h));
    OSMemoryFree(h);
    EXPECT_EQ(OSMemoryLock(h), nullptr);
    EXPECT_EQ(OSMemoryGetSize(h), 0u);
    OSMemoryFree(h);  // twice: harmless

    DHANDLE table = 0;
    ASSERT_EQ(IDCreateTable(4, &table), NOERROR);
    EXPECT_EQ(OSMemoryLock(table), nullptr);  // an ID table is not a memory block
    EXPECT_EQ(OSMemFree(table), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(IDDestroyTable(table), NOERROR);

    DHANDLE zero = 0;
    ASSERT_EQ(OSMemAlloc(0, 0, &zero), NOERROR);
    EXPECT_NE(OSLockObject(zero), nullptr);
    EXPECT_TRUE(OSUnlockObject(zero));
    EXPECT_EQ(OSMemFree(zero), NOERROR);
    EXPECT_EQ(OSMemAlloc(0, 4, nullptr), ERR_MISC_INVALID_ARGS);
}

}  // namespace
