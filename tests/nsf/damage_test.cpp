// Damaged real databases: about 1% of the bytes of each sample overwritten, many times over, then
// opened and read completely (every note, every object, $FILE objects decoded). Nothing may crash,
// hang or allocate without bound; errors are fine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "nsf/database.h"
#include "nsf/read_everything.h"
#include "nsf/values.h"

namespace {

namespace fs = std::filesystem;
const fs::path kSamples = fs::path(NSFREX_SHARED_DIR) / "samples" / "nsf";

std::vector<std::uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t readAll(nsf::Database& db) { return nsf_test::readEverything(db); }

// The byte ranges of the header, superblocks and BDBs (from DBINFO2), which 1% damage always hits:
// sparing them lets the damage reach the note, bucket and object readers.
std::vector<std::pair<std::size_t, std::size_t>> structureRanges(const std::vector<std::uint8_t>& file) {
    auto u32 = [&](std::size_t at) {
        return at + 4 <= file.size() ? std::uint32_t{file[at]} | std::uint32_t{file[at + 1]} << 8 |
                                           std::uint32_t{file[at + 2]} << 16 | std::uint32_t{file[at + 3]} << 24
                                     : 0u;
    };
    std::vector<std::pair<std::size_t, std::size_t>> r = {{0, 0x800}};
    for (int i = 0; i < 2; ++i) r.emplace_back(std::size_t{u32(560 + 8 * i)} * 256, u32(564 + 8 * i));
    for (int i = 0; i < 2; ++i) r.emplace_back(std::size_t{u32(628 + 8 * i)} * 256, u32(624 + 8 * i));
    return r;
}

TEST(Damage, SamplesWithOnePercentOfTheirBytesOverwritten) {
    ASSERT_TRUE(fs::is_directory(kSamples)) << "sample databases missing: " << kSamples;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(kSamples)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    std::mt19937_64 rng(20240611);
    std::size_t rounds = 0, opened = 0, notesRead = 0;
    for (std::size_t f = 0; f < files.size(); f += 3) {  // every third sample keeps the run short
        const auto original = readFile(files[f]);
        for (int round = 0; round < 12; ++round) {
            auto image = original;
            // Rounds alternate: 1% anywhere; 1% sparing the header, superblocks and BDBs; 16 bytes
            // sparing them (so RRV buckets usually survive and the note readers get the damage).
            const std::size_t hits = round % 3 == 2 ? 16 : image.size() / 100;
            std::uniform_int_distribution<std::size_t> where(0, image.size() - 1);
            const bool spareStructures = round % 3 != 0;
            const auto spared = structureRanges(original);
            for (std::size_t i = 0; i < hits; ++i) {
                const std::size_t at = where(rng);
                if (spareStructures &&
                    std::any_of(spared.begin(), spared.end(), [&](auto r) { return at >= r.first && at - r.first < r.second; }))
                    continue;
                image[at] = static_cast<std::uint8_t>(rng());
            }
            // Every other round with salvage, which reads what the damaged note table no longer reaches.
            auto db = nsf::openDatabaseBytes(image, files[f].filename().string(), nsf::OpenOptions{.salvage = round % 2 == 1});
            ++rounds;
            if (!db) continue;
            ++opened;
            notesRead += readAll(**db);
        }
    }
    // Report what survived; the point is reaching here.
    std::printf("damage: %zu rounds, %zu opened, %zu notes read\n", rounds, opened, notesRead);
    EXPECT_GT(rounds, 0u);
}

// Every sample cut short at several places opens or fails cleanly.
TEST(Damage, TruncatedSamples) {
    for (const auto& e : fs::directory_iterator(kSamples)) {
        const auto original = readFile(e.path());
        for (std::size_t cut : {std::size_t{1024}, original.size() / 4, original.size() / 2, original.size() - 1}) {
            std::vector<std::uint8_t> image(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(cut));
            auto db = nsf::openDatabaseBytes(image, e.path().filename().string());
            if (db) readAll(**db);
        }
    }
    SUCCEED();
}

}  // namespace
