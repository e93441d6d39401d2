// The output folder creates everything new below itself and never follows a link planted in it.
#include "output_folder.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "host_test_support.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

TEST(OutputFolder, LinksPlantedInTheTreeAreNeverFollowed) {
    test::ScratchDir dir;
    fs::create_directories(dir / "outside");
    auto folder = OutputFolder::create(dir.path(), "db", false);
    ASSERT_TRUE(folder) << folder.error();

    // A link where a folder goes, and one where a file goes, both pointing out of the tree.
    fs::create_directory_symlink(dir / "outside", dir / "db/sub");
    fs::create_symlink(dir / "outside/target.txt", dir / "db/file.txt");
    EXPECT_FALSE(folder->writeFile("sub/x.txt", "escaped"));
    EXPECT_FALSE(folder->writeFile("file.txt", "escaped"));
    EXPECT_FALSE(folder->createFolder("sub/deeper"));
    EXPECT_TRUE(fs::is_empty(dir / "outside"));

    // A link counts as an existing output (a dangling one too); replacing it removes the link, not its target.
    fs::create_directory_symlink(dir / "outside", dir / "linked");
    EXPECT_TRUE(outputExists(dir.path(), "linked"));
    EXPECT_FALSE(OutputFolder::create(dir.path(), "linked", false));
    auto replaced = OutputFolder::create(dir.path(), "linked", true);
    ASSERT_TRUE(replaced) << replaced.error();
    EXPECT_FALSE(fs::is_symlink(dir / "linked"));
    EXPECT_TRUE(fs::is_directory(dir / "outside"));
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    EXPECT_TRUE(outputExists(dir.path(), "dangling"));
    EXPECT_FALSE(outputExists(dir.path(), "absent"));
}

}  // namespace
}  // namespace nsfrex
