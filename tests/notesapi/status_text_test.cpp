// Status texts: cut inside the buffer, unknown codes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "notesapi/notes.h"

namespace {

TEST(StatusText, TruncatesInsideTheBufferAndHandlesUnknownCodes) {
    char buf[8];
    std::memset(buf, 'z', sizeof buf);
    const WORD n = OSLoadString(NULLHANDLE, ERR_NOT_SEALED_FOR_YOU, buf, sizeof buf);
    EXPECT_EQ(n, sizeof buf - 1);
    EXPECT_EQ(buf[sizeof buf - 1], '\0');
    EXPECT_EQ(OSLoadString(NULLHANDLE, ERR_NOT_NSF, buf, 1), 0);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(OSLoadString(NULLHANDLE, ERR_NOT_NSF, buf, 0), 0);
    EXPECT_EQ(OSLoadString(NULLHANDLE, ERR_NOT_NSF, nullptr, 100), 0);
    buf[0] = 'x';
    EXPECT_EQ(OSLoadString(NULLHANDLE, 0x3ABC, buf, sizeof buf), 0);
    EXPECT_EQ(buf[0], '\0');
}

}  // namespace
