#include "nsf/lz1.h"

#include <gtest/gtest.h>

namespace nsf {
namespace {

TEST(Lz1, IsReportedAsUnsupported) {
    auto stream = makeLz1Stream(nullptr, 1234);
    ASSERT_FALSE(stream.has_value());
    EXPECT_EQ(stream.error().kind(), ErrorKind::Unsupported);
    EXPECT_NE(stream.error().message().find("unsupported compression LZ1"), std::string::npos)
        << stream.error().message();
}

}  // namespace
}  // namespace nsf
