// Helpers shared by the host tests: the folders of the build and of the samples, and scratch folders.
#pragma once

#include <filesystem>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

namespace nsfrex::test {

inline std::filesystem::path binDir() { return NSFREX_BIN_DIR; }

// The samples are not part of the project; a missing folder is a broken set-up, never a reason to skip.
inline std::filesystem::path sampleDatabase(const std::string& name) {
    const std::filesystem::path path = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf" / name;
    if (!std::filesystem::is_regular_file(path)) ADD_FAILURE() << "sample database missing: " << path;
    return path;
}

// A fresh folder per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                (std::string("nsfrex_host_") + info->test_suite_name() + "_" + info->name() + "_" +
                 std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace nsfrex::test
