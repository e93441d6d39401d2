// MIMEStreamOpen / Read / GetLine / Rewind / Close over the real MIME mails: the stream gives back
// the stored message, every part's body comes out in the encoding its headers declare, and misuse
// of the handles is refused.
#include <gtest/gtest.h>

#include <string>

#include "notesapi/mime.h"
#include "notesapi/nsfnote.h"
#include "runtime_fixture.h"

namespace notesapi_test {
namespace {

class MimeStream : public RuntimeTest {
protected:
    std::string readAll(MIMEHANDLE stream, unsigned int chunk) {
        std::string out;
        std::string buffer(chunk, '\0');
        for (;;) {
            unsigned int n = 99;
            const int result = MIMEStreamRead(reinterpret_cast<unsigned char*>(buffer.data()), &n, chunk, stream);
            if (result == MIME_STREAM_EOS) {
                EXPECT_EQ(n, 0u);
                return out;
            }
            EXPECT_EQ(result, MIME_STREAM_SUCCESS);
            if (result != MIME_STREAM_SUCCESS)
                return out;
            out.append(buffer, 0, n);
        }
    }
};

TEST_F(MimeStream, MimeMailsReadBackAsTheirMessages) {
    DBHANDLE db = NULLHANDLE;
    ASSERT_EQ(NSFDbOpen(samplePath("notedata_MIMEMsg.nsf").c_str(), &db), NOERROR);
    struct Row {
        NOTEID id;
        const char* rootType;  // the root's Content-Type, present only with the MIME headers
        const char* innerText;  // text somewhere in the parts
    };
    const Row rows[] = {
        {0x8F6, "multipart/alternative", "This is a test message."},
        {0x8FA, "multipart/mixed", "filename=\"New Text Document.txt\""},
        {0x8FE, "multipart/mixed", "filename=\"Sample.jpg\"\r\nContent-Transfer-Encoding: binary\r\n\r\n\xFF\xD8\xFF"},
    };
    for (const Row& row : rows) {
        NOTEHANDLE note = NULLHANDLE;
        ASSERT_EQ(NSFNoteOpenExt(db, row.id, 0, &note), NOERROR);
        MIMEHANDLE withHeaders = NULLMIMEHANDLE;
        ASSERT_EQ(MIMEStreamOpen(note, "Body", 4, MIME_STREAM_OPEN_READ | MIME_STREAM_MIME_INCLUDE_HEADERS, &withHeaders), NOERROR);
        const std::string full = readAll(withHeaders, 1000);
        EXPECT_NE(full.find(row.rootType), std::string::npos) << row.id;
        EXPECT_NE(full.find(row.innerText), std::string::npos) << row.id;
        ASSERT_EQ(MIMEStreamRewind(withHeaders), MIME_STREAM_SUCCESS);
        EXPECT_EQ(readAll(withHeaders, 7), full) << "reads of any size give the same bytes";
        ASSERT_EQ(MIMEStreamRewind(withHeaders), MIME_STREAM_SUCCESS);
        char line[512];
        ASSERT_EQ(MIMEStreamGetLine(line, sizeof line, withHeaders), MIME_STREAM_SUCCESS);
        EXPECT_EQ(std::string(line), full.substr(0, full.find('\n') + 1));
        MIMEStreamClose(withHeaders);

        MIMEHANDLE bodyOnly = NULLMIMEHANDLE;
        ASSERT_EQ(MIMEStreamOpen(note, "Body", 4, MIME_STREAM_OPEN_READ, &bodyOnly), NOERROR);
        const std::string body = readAll(bodyOnly, 4096);
        EXPECT_EQ(body.find(row.rootType), std::string::npos) << "the root's headers stay out";
        EXPECT_TRUE(full.ends_with(body)) << row.id;
        MIMEStreamClose(bodyOnly);
        NSFNoteClose(note);
    }
    NSFDbClose(db);
}

TEST_F(MimeStream, RefusesWhatItCannotRead) {
    DBHANDLE db = NULLHANDLE;
    ASSERT_EQ(NSFDbOpen(samplePath("notedata_MIMEMsg.nsf").c_str(), &db), NOERROR);
    NOTEHANDLE note = NULLHANDLE;
    ASSERT_EQ(NSFNoteOpenExt(db, 0x8F6, 0, &note), NOERROR);
    MIMEHANDLE stream = reinterpret_cast<MIMEHANDLE>(0x1234);
    EXPECT_EQ(MIMEStreamOpen(note, "Subject", 7, MIME_STREAM_OPEN_READ, &stream), ERR_MISC_INVALID_ARGS);
    EXPECT_EQ(stream, NULLMIMEHANDLE) << "the handle is cleared on entry";
    EXPECT_EQ(MIMEStreamOpen(note, "NoSuchItem", 10, MIME_STREAM_OPEN_READ, &stream), ERR_ITEM_NOT_FOUND);
    EXPECT_EQ(MIMEStreamOpen(note, "Body", 4, MIME_STREAM_OPEN_WRITE, &stream), ERR_RUNTIME_NOT_IMPLEMENTED);
    EXPECT_EQ(MIMEStreamOpen(NULLHANDLE, "Body", 4, MIME_STREAM_OPEN_READ, &stream), ERR_RUNTIME_BAD_HANDLE);
    ASSERT_EQ(MIMEStreamOpen(note, nullptr, 0, MIME_STREAM_OPEN_READ, &stream), NOERROR) << "no name reads Body";
    MIMEStreamClose(stream);
    unsigned char byte = 0;
    unsigned int n = 0;
    EXPECT_EQ(MIMEStreamRead(&byte, &n, 1, stream), MIME_STREAM_IO) << "a closed stream";
    EXPECT_EQ(MIMEStreamRewind(reinterpret_cast<MIMEHANDLE>(note)), MIME_STREAM_IO) << "a handle of another kind";
    MIMEStreamClose(stream);  // twice: nothing happens
    NSFNoteClose(note);
    NSFDbClose(db);
}

}  // namespace
}  // namespace notesapi_test
