// Attachment extraction through a temporary file: sizes around the main buffer's size, the n-th "$FILE"
// item, missing items and failing calls (no temporary file left behind), failing host writes (the stream
// is still closed), and a stream that cannot be opened.
#include <dirent.h>

#include <gtest/gtest.h>

#include "extract/extract.h"
#include "module/catalogue_db.h"
#include "module/support/capture_stream.h"
#include "nsfrex/host.h"

using namespace nsfrex_test;

namespace {

struct ExtractAttachmentTest : ModuleDbTest {
    CaptureStream out;
    SubFileExtractInfo info{};
    int host = 1;

    static std::vector<uint8_t> Bytes(size_t cb)
    {
        std::vector<uint8_t> v(cb);
        for (size_t i = 0; i < cb; i++)
            v[i] = static_cast<uint8_t>(i * 7 + 3);
        return v;
    }
    static std::string Text(const std::vector<uint8_t> &v) { return std::string(v.begin(), v.end()); }

    int32_t Extract(int32_t nIndex) { return nsfExtractSubFileToIOobj(pContext, nIndex, &out.io, &info, &host, 0); }

    /* Temporary files ("tmp....TMP") left in the module's temporary folder. */
    int TempFiles()
    {
        int c = 0;
        DIR *pDir = opendir(dir.path().c_str());
        if (pDir == nullptr)
            return -1;
        while (dirent *p = readdir(pDir)) {
            std::string name = p->d_name;
            if (name.rfind("tmp", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".TMP")
                c++;
        }
        closedir(pDir);
        return c;
    }
};

} // namespace

TEST_F(ExtractAttachmentTest, EmptyAttachmentOpensAndClosesWithoutWriting)
{
    builder.document().text("Body", "b").attachFile("empty.txt", std::vector<uint8_t>{});
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 2);
    EXPECT_EQ(Extract(1), NSF_OK);
    EXPECT_EQ(out.cOpen, 1);
    EXPECT_EQ(out.cClose, 1);
    EXPECT_TRUE(out.writes.empty());
    EXPECT_EQ(TempFiles(), 0);
}

TEST_F(ExtractAttachmentTest, ChunksFollowTheMainBufferSize)
{
    auto exact = Bytes(8192);
    auto oneMore = Bytes(8193);
    builder.document().text("Body", "b").attachFile("exact.bin", exact).attachFile("more.bin", oneMore);
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->ucbBufferSize, 8192u);
    EXPECT_EQ(Extract(1), NSF_OK);
    EXPECT_EQ(out.writes, std::vector<uint32_t>{8192});
    EXPECT_EQ(out.data, Text(exact));
    out.writes.clear();
    out.data.clear();
    EXPECT_EQ(Extract(2), NSF_OK);
    EXPECT_EQ(out.writes, (std::vector<uint32_t>{8192, 1}));
    EXPECT_EQ(out.data, Text(oneMore));
    EXPECT_EQ(TempFiles(), 0);
}

TEST_F(ExtractAttachmentTest, ThirdAttachmentIsFoundByWalkingTheFileItems)
{
    builder.document().text("Body", "b").attachFile("1.txt", Bytes(1)).attachFile("2.txt", Bytes(2)).attachFile(
        "3.txt", Bytes(3));
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(Sub(3)->nAttachment, 3);
    int cInfo = CountLogged("Calling Notes API NSFItemInfo()");
    int cNext = CountLogged("Calling Notes API NSFItemInfoNext()");
    EXPECT_EQ(Extract(3), NSF_OK);
    EXPECT_EQ(out.data, Text(Bytes(3)));
    EXPECT_EQ(CountLogged("Calling Notes API NSFItemInfo()") - cInfo, 1);
    EXPECT_EQ(CountLogged("Calling Notes API NSFItemInfoNext()") - cNext, 2);
}

TEST_F(ExtractAttachmentTest, MissingFileItemFailsAndLeavesNoTemporaryFile)
{
    builder.document().text("Body", "b").attachFile("1.txt", Bytes(5));
    ASSERT_NE(Open(), nullptr);
    Sub(1)->nAttachment = 4;
    EXPECT_EQ(Extract(1), NSF_ERR_FAILED);
    EXPECT_EQ(out.cOpen, 0);
    EXPECT_EQ(TempFiles(), 0);
    Close();
    EXPECT_TRUE(Logged("WARNING nsfExtractFile(): szTempFile..."));
    EXPECT_TRUE(Logged("WARNING nsfExtractSubFileToIOobj(): nsfExtractFile() failed"));
}

TEST_F(ExtractAttachmentTest, FailingOrRaisingExtractionLeavesTheStreamUnopened)
{
    builder.document().text("Body", "b").attachFile("1.txt", Bytes(5));
    ASSERT_NE(Open(), nullptr);
    NotesTestInjectFault("NSFNoteExtractFile", 1, 0, 1);
    EXPECT_EQ(Extract(1), NSF_ERR_EXCEPTION);
    NotesTestInjectFault("NSFNoteExtractFile", 1, 0x0222, 0);
    EXPECT_EQ(Extract(1), NSF_ERR_FAILED);
    EXPECT_EQ(out.cOpen, 0);
    EXPECT_EQ(TempFiles(), 0);
}

TEST_F(ExtractAttachmentTest, WriteFailureInTheMiddleStillClosesAndDeletes)
{
    auto data = Bytes(3 * 8192 + 10);
    builder.document().text("Body", "b").attachFile("big.bin", data);
    ASSERT_NE(Open(), nullptr);
    out.nFailWrite = 2;
    EXPECT_EQ(Extract(1), NSF_ERR_IO);
    EXPECT_EQ(out.writes.size(), 2u);
    EXPECT_EQ(out.cOpen, 1);
    EXPECT_EQ(out.cClose, 1);
    EXPECT_EQ(TempFiles(), 0);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfExtractFile(): IOobj64.twWriteFunc() failed, IOobj64.pFileName..."));
}

TEST_F(ExtractAttachmentTest, StreamThatCannotOpenGivesStatus16)
{
    builder.document().text("Body", "b").attachFile("1.txt", Bytes(5));
    ASSERT_NE(Open(), nullptr);
    out.bOpenFails = true;
    EXPECT_EQ(Extract(1), NSF_ERR_IO);
    EXPECT_TRUE(out.writes.empty());
    EXPECT_EQ(TempFiles(), 0);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfExtractFile(): IOobj64.twOpenFunc() failed"));
}

TEST_F(ExtractAttachmentTest, OtherTypesAreRefusedAndTheirTemporaryFileRemoved)
{
    builder.document().text("Body", "b").attachFile("1.txt", Bytes(5));
    ASSERT_NE(Open(), nullptr);
    ENCRYPTION_KEY key{};
    SubFile sub = *Sub(1);
    sub.nSubFileType = 0;
    EXPECT_EQ(nsfExtractFile(pContext, &sub, 0, &key, &out.io), NSF_ERR_FAILED);
    EXPECT_EQ(TempFiles(), 0);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfExtractFile(): Invalid nSubFileType 0"));
}
