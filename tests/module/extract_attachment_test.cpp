// Attachment extraction through a temporary file: a missing item leaves no temporary file behind, and a
// failing host write still closes the stream and removes the file.
#include <gtest/gtest.h>

#include "module/catalogue_db.h"

using namespace nsfrex_test;

namespace {

struct ExtractAttachmentTest : ExtractTest {
    static std::vector<uint8_t> Bytes(size_t cb)
    {
        std::vector<uint8_t> v(cb);
        for (size_t i = 0; i < cb; i++)
            v[i] = static_cast<uint8_t>(i * 7 + 3);
        return v;
    }
};

} // namespace

TEST_F(ExtractAttachmentTest, MissingFileItemFailsAndLeavesNoTemporaryFile)
{
    builder.document().text("Body", "b").attachFile("1.txt", Bytes(5));
    ASSERT_NE(Open(), nullptr);
    Sub(1)->nAttachment = 4;
    EXPECT_EQ(Extract(1), NSF_ERR_FAILED);
    EXPECT_EQ(out.cOpen, 0);
    EXPECT_EQ(ScratchFiles("tmp", ".TMP"), 0u);
    Close();
    EXPECT_TRUE(Logged("WARNING nsfExtractFile(): szTempFile..."));
    EXPECT_TRUE(Logged("WARNING nsfExtractSubFileToIOobj(): nsfExtractFile() failed"));
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
    EXPECT_EQ(ScratchFiles("tmp", ".TMP"), 0u);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfExtractFile(): IOobj64.twWriteFunc() failed, IOobj64.pFileName..."));
}
