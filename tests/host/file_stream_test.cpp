#include "file_stream.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "host_test_support.h"

namespace nsfrex {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FileStream, OutputRefusesSymbolicLinksAndMissingFolders) {
    test::ScratchDir dir;
    const auto target = dir / "target.txt";
    std::ofstream(target) << "precious";
    std::filesystem::create_symlink(target, dir / "link.txt");
    auto viaLink = FileStream::output(dir / "link.txt");
    EXPECT_EQ(viaLink->io()->twOpenFunc(viaLink->io()), 0);
    EXPECT_EQ(readFile(target), "precious");

    auto nowhere = FileStream::output(dir / "no" / "such" / "folder.txt");
    EXPECT_EQ(nowhere->io()->twOpenFunc(nowhere->io()), 0);
}

}  // namespace
}  // namespace nsfrex
