// nsfrex_mksample OUTDIR: builds the project's sample databases in memory and writes them with the
// engine's database writer: OUTDIR/nsfrex-sample.nsf (with the test ID file nsfrex-sample.id that
// opens its sealed mail) and OUTDIR/hostile-names.nsf.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>

#include "nsf/memory_database.h"
#include "nsf/writer.h"
#include "sample_db.h"

namespace {

bool write(void (*build)(nsf::MemoryDatabaseBuilder&), const std::filesystem::path& path) {
    nsf::MemoryDatabaseBuilder builder;
    build(builder);
    auto db = builder.build();
    auto ok = nsf::writeDatabaseFile(*db, path);
    if (!ok) {
        std::fprintf(stderr, "nsfrex_mksample: %s: %s\n", path.c_str(), ok.error().message().c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) try {
    if (argc != 2) {
        std::fprintf(stderr, "usage: nsfrex_mksample OUTDIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    if (!write(samplegen::buildSampleDatabase, dir / "nsfrex-sample.nsf")) return 1;
    if (!write(samplegen::buildHostileNamesDatabase, dir / "hostile-names.nsf")) return 1;
    const nsf::EncryptionKey keys[] = {samplegen::sampleKey()};
    const std::string id = nsf::writeTestIdFile(samplegen::kSampleIdUser, samplegen::kSampleIdPassword, keys);
    std::ofstream out(dir / "nsfrex-sample.id", std::ios::binary | std::ios::trunc);
    out << id;
    out.close();
    if (!out) {
        std::fprintf(stderr, "nsfrex_mksample: cannot write %s\n", (dir / "nsfrex-sample.id").c_str());
        return 1;
    }
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "nsfrex_mksample: %s\n", e.what());
    return 1;
}
