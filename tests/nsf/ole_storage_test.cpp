// The page index of an embedded OLE object: names of odd and even lengths, the pad after the last
// name optional, every shorter prefix and every impossible count refused.
#include "nsf/ole_storage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nsf {
namespace {

std::vector<std::uint8_t> index(std::uint32_t count, const std::vector<std::string>& names) {
    std::vector<std::uint8_t> v = {1, 0, 0, 0};
    for (std::uint32_t x : {count, 8192u})
        for (int i = 0; i < 4; ++i)
            v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
    v.resize(32, 0);
    for (const std::string& name : names) {
        v.insert(v.end(), name.begin(), name.end());
        v.push_back(0);
        if (v.size() % 2 != 0)
            v.push_back(0);
    }
    return v;
}

TEST(ByteArrayIndex, NamesOfEveryLengthAndEveryPrefix) {
    const std::vector<std::string> names = {"STG22152", "A", "STG1234", "stg99"};
    const auto value = index(4, names);
    auto decoded = decodeByteArrayIndex(value);
    ASSERT_TRUE(decoded) << decoded.error().message();
    EXPECT_EQ(decoded->version, 1u);
    EXPECT_EQ(decoded->pageSize, 8192u);
    EXPECT_EQ(decoded->pageNames, names);
    // "stg99" takes 6 bytes with its NUL: nothing after it. Without its NUL it has no end.
    for (std::size_t n = 0; n < value.size(); ++n) {
        std::vector<std::uint8_t> prefix(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(decodeByteArrayIndex(prefix)) << n;
    }
    // The pad after an odd-length last name may be missing.
    auto unpadded = index(1, {"STG1"});
    unpadded.pop_back();
    ASSERT_TRUE(decodeByteArrayIndex(unpadded));
    EXPECT_EQ(decodeByteArrayIndex(unpadded)->pageNames, std::vector<std::string>{"STG1"});

    EXPECT_EQ(decodeByteArrayIndex(index(0, {}))->pageNames.size(), 0u);
    EXPECT_EQ(decodeByteArrayIndex(index(0xFFFFFFFF, names)).error().kind(), ErrorKind::Corrupt);
    EXPECT_EQ(decodeByteArrayIndex(index(5, names)).error().kind(), ErrorKind::Truncated);  // no fifth name
    auto empty = index(1, {});
    empty.insert(empty.end(), {0, 0});
    EXPECT_EQ(decodeByteArrayIndex(empty).error().kind(), ErrorKind::Corrupt);
    // Extra bytes after the named pages are ignored.
    auto longer = value;
    longer.insert(longer.end(), {'X', 'Y', 0, 0});
    EXPECT_EQ(decodeByteArrayIndex(longer)->pageNames, names);
}

}  // namespace
}  // namespace nsf
