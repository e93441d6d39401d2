// Status texts: what a caller logs for a failing status.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "notesapi/notes.h"

namespace {

TEST(StatusText, EveryCodeACallerCanMeetHasAText) {
    const STATUS codes[] = {ERR_NOEXIST, ERR_NO_NOTESINI, ERR_NOT_NSF, ERR_NSF_VERSION, ERR_ITEM_NOT_FOUND,
                            ERR_NOTE_DELETED, ERR_INVALID_NOTE, ERR_NOACCESS, ERR_NOTE_NOT_SEALED,
                            ERR_NOT_SEALED_FOR_YOU, ERR_LOCALSEC_DBOPENFAILURE, ERR_NOTE_NOT_FOLDER,
                            ERR_NOT_FOUND, ERR_DATATYPE, ERR_ODS_ENUM_COMPLETE, ERR_BSAFE_USER_ABORT,
                            ERR_SECURE_NOKEYFILE, ERR_SECURE_BADPASSWORD, ERR_RUNTIME_BAD_HANDLE,
                            ERR_RUNTIME_NOT_IMPLEMENTED, ERR_RUNTIME_NOT_INITIALIZED};
    for (const STATUS code : codes) {
        char buf[1024];
        const WORD n = OSLoadString(NULLHANDLE, ERR(code), buf, sizeof buf);
        EXPECT_GT(n, 0) << code;
        EXPECT_EQ(std::strlen(buf), n) << code;
    }
    char buf[64];
    ASSERT_GT(OSLoadString(NULLHANDLE, ERR_NO_NOTESINI, buf, sizeof buf), 0);
    EXPECT_NE(std::string(buf).find("NOTES.INI"), std::string::npos);
    // The flag bits are not part of the code.
    EXPECT_EQ(OSLoadString(NULLHANDLE, static_cast<STATUS>(ERR_NOT_NSF | STS_REMOTE), buf, sizeof buf),
              OSLoadString(NULLHANDLE, ERR_NOT_NSF, buf, sizeof buf));
}

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
