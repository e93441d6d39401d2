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

TEST(FileStream, InputCarriesThePathAndOpensOnlyReadableFiles) {
    test::ScratchDir dir;
    const auto path = dir / "db.nsf";
    std::ofstream(path, std::ios::binary) << "0123456789";

    auto input = FileStream::input(path);
    IOobj64* io = input->io();
    EXPECT_STREQ(io->pFileName, path.c_str());
    EXPECT_EQ(io->twCloseFunc, nullptr);  // not open yet
    ASSERT_NE(io->twOpenFunc(io), 0);
    ASSERT_NE(io->twCloseFunc, nullptr);
    EXPECT_EQ(io->cbSize, 10);
    EXPECT_NE(io->twOpenFunc(io), 0);  // already open: no change
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(io->twSeekFunc(io, 6, 0), 6);
    EXPECT_EQ(io->twReadFunc(io, buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, buffer + 4), "6789");
    EXPECT_EQ(io->twTellFunc(io), 10);
    EXPECT_EQ(io->twWriteFunc(io, buffer, 1), 0);  // input only
    EXPECT_NE(io->twCloseFunc(io), 0);
    EXPECT_EQ(io->twCloseFunc, nullptr);
    EXPECT_EQ(io->twReadFunc(io, buffer, 1), -1);
    EXPECT_EQ(io->twTellFunc(io), -1);

    auto missing = FileStream::input(dir / "missing.nsf");
    EXPECT_EQ(missing->io()->twOpenFunc(missing->io()), 0);
    auto folder = FileStream::input(dir.path());
    EXPECT_EQ(folder->io()->twOpenFunc(folder->io()), 0);
    EXPECT_EQ(folder->io()->twCloseFunc, nullptr);
}

TEST(FileStream, OutputCreatesTruncatesAndWrites) {
    test::ScratchDir dir;
    const auto path = dir / "out.eml";
    std::ofstream(path) << "old content that must go";

    auto output = FileStream::output(path);
    IOobj64* io = output->io();
    EXPECT_EQ(io->twWriteFunc(io, reinterpret_cast<const std::uint8_t*>("x"), 1), 0);  // not open
    ASSERT_NE(io->twOpenFunc(io), 0);
    EXPECT_NE(io->twWriteFunc(io, reinterpret_cast<const std::uint8_t*>("hello "), 6), 0);
    EXPECT_NE(io->twWriteFunc(io, reinterpret_cast<const std::uint8_t*>("world"), 5), 0);
    EXPECT_NE(io->twWriteFunc(io, nullptr, 0), 0);
    EXPECT_EQ(io->twWriteFunc(io, nullptr, 3), 0);
    EXPECT_EQ(io->twTellFunc(io), 11);
    EXPECT_EQ(io->twSeekFunc(io, 0, 0), 0);
    EXPECT_NE(io->twWriteFunc(io, reinterpret_cast<const std::uint8_t*>("J"), 1), 0);
    std::uint8_t byte = 0;
    EXPECT_EQ(io->twReadFunc(io, &byte, 1), -1);  // output only
    EXPECT_NE(io->twCloseFunc(io), 0);
    EXPECT_EQ(readFile(path), "Jello world");

    // The destructor closes a stream that was left open.
    {
        auto left = FileStream::output(dir / "left.txt");
        ASSERT_TRUE(left->open());
        EXPECT_NE(left->io()->twWriteFunc(left->io(), reinterpret_cast<const std::uint8_t*>("kept"), 4), 0);
    }
    EXPECT_EQ(readFile(dir / "left.txt"), "kept");
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
