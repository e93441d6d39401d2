// Replays the inputs kept under fuzz/regressions/fuzz_open/ (inputs the fuzzer once crashed on) the
// way fuzz/fuzz_open.cpp reads them: they must now open or fail cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "nsf/database.h"
#include "nsf/read_everything.h"

namespace {

namespace fs = std::filesystem;

TEST(FuzzRegressions, OpenInputsReplay) {
    const fs::path dir = fs::path(__FILE__).parent_path() / ".." / ".." / "fuzz" / "regressions" / "fuzz_open";
    std::size_t replayed = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        SCOPED_TRACE(entry.path().filename().string());
        for (const bool salvage : {false, true}) {
            auto db = nsf::openDatabaseBytes(bytes, entry.path().filename().string(), nsf::OpenOptions{.salvage = salvage});
            if (db) (void)nsf_test::readEverything(**db);
        }
        ++replayed;
    }
    RecordProperty("replayed", static_cast<int>(replayed));
}

}  // namespace
