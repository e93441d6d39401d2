// Attachment times: a zero modified time falls back to the created time, a time outside the calendar
// stays zero and keeps the attachment.
#include <gtest/gtest.h>

#include "module/catalogue_db.h"

using namespace nsfrex_test;

namespace {

struct AttachmentsTest : ModuleDbTest {
    std::vector<std::uint8_t> bytes{'x', 'y', 'z'};

    nsf::FileObjectSpec MakeFileObject(const std::string &name, uint16_t wHostType = 0)
    {
        nsf::FileObjectSpec fileSpec;
        fileSpec.fileName = name;
        fileSpec.hostType = wHostType;
        fileSpec.fileSize = static_cast<uint32_t>(bytes.size());
        return fileSpec;
    }
};

const int32_t lJan1st2000 = 2451545;
const int64_t tJan1st2000 = 946684800;

} // namespace

TEST_F(AttachmentsTest, ZeroModifiedTimeFallsBackToCreatedAndABadTimeStaysZero)
{
    auto fileSpec = MakeFileObject("a.txt");
    fileSpec.created = MakeTime(lJan1st2000, 0);
    auto spec2 = MakeFileObject("b.txt");
    spec2.modified = MakeTime(2488070, 0);   // 2100-01-01: outside the calendar
    builder.document().text("Body", "b").attachStored(fileSpec, bytes).attachStored(spec2, bytes);
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 3);
    EXPECT_EQ(Seconds(Sub(1)->fileTime), tJan1st2000);
    EXPECT_EQ(Seconds(Sub(2)->fileTime), 0);
    EXPECT_EQ(FileName(2), "b.txt");
    Close();
    EXPECT_TRUE(Logged("ERROR nsfGetDateTime(): nsfJulianDay() failed"));
    EXPECT_TRUE(Logged("WARNING nsfGetAttachSubfile(): nsfGetDateTime() failed"));
}
