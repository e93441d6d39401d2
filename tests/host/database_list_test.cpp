// The databases of one run: shard syntax, --files-from lists, and folders expanded in a stable order.
#include "database_list.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "host_test_support.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

TEST(DatabaseList, ShardsAreKOfNCountedFromZero) {
    const struct {
        const char* text;
        bool valid;
        std::size_t index, count;
    } rows[] = {
        {"0/1", true, 0, 1},     {"2/3", true, 2, 3},  {"3/3", false, 0, 0},   // K must be below N
        {"0/0", false, 0, 0},    {"1", false, 0, 0},   {"-1/3", false, 0, 0},
        {"1/3x", false, 0, 0},   {"/3", false, 0, 0},
    };
    for (const auto& row : rows) {
        const auto shard = parseShard(row.text);
        ASSERT_EQ(shard.has_value(), row.valid) << row.text;
        if (shard) {
            EXPECT_EQ(std::pair(shard->index, shard->count), std::pair(row.index, row.count)) << row.text;
        }
    }
}

TEST(DatabaseList, PathListsByLineOrNul) {
    std::istringstream lines("a.nsf\r\n\nb c.nsf\n");
    EXPECT_EQ(readPathList(lines, false), (std::vector<fs::path>{"a.nsf", "b c.nsf"}));
    std::istringstream nul(std::string("a\nb.nsf\0c.nsf\0", 14));
    EXPECT_EQ(readPathList(nul, true), (std::vector<fs::path>{"a\nb.nsf", "c.nsf"}));
}

// Byte order of the whole path, extensions of either case, links to folders not followed, a database
// named twice done once; a folder without -r is refused.
TEST(DatabaseList, FoldersExpandInByteOrderAndRepeatsAreDroppedOnce) {
    test::ScratchDir dir;
    for (const char* name : {"b/z.nsf", "b/a/y.NTF", "B.nsf", "a b/x.nsf", "b/notes.txt"}) {
        fs::create_directories((dir / name).parent_path());
        std::ofstream(dir / name) << name;
    }
    fs::create_directory_symlink(dir / "b", dir / "b/loop");
    const auto expanded = expandDatabases({dir.path(), dir / "B.nsf", dir / "b/../B.nsf"}, true);
    ASSERT_TRUE(expanded);
    EXPECT_EQ(*expanded, (std::vector<fs::path>{dir / "B.nsf", dir / "a b/x.nsf", dir / "b/a/y.NTF", dir / "b/z.nsf"}));
    EXPECT_FALSE(expandDatabases({dir.path()}, false));
}

}  // namespace
}  // namespace nsfrex
