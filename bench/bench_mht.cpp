// Mail as MHT: every mail of every sample database extracted with the formatted body, through the host and
// the module loaded beside the program, in MB of MHT written per second; against copying the same bytes
// file by file as cp does. Each pass also runs once in a child process, whose peak resident set is
// reported (the whole process: code, runtime and buffers).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bench_samples.h"
#include "extract_database.h"

namespace {

namespace fs = std::filesystem;

struct MailSet {
    fs::path scratch;
    std::map<fs::path, std::vector<std::int32_t>> mails;  // database -> indexes of its mail subfiles
    std::vector<fs::path> files;                          // the MHT files of one pass
    std::uint64_t bytes = 0;
};

nsfrex::ExtractRequest request(const fs::path& scratch) {
    nsfrex::ExtractRequest r;
    r.format = nsfrex::ExtractFormat::Auto;
    r.verbosity = nsfrex::Verbosity::Quiet;
    r.force = true;
    r.options.tempDir = scratch;
    return r;
}

// The scratch folder goes when the program ends (children leave through _exit and keep it).
struct RemoveAtExit {
    fs::path path;
    ~RemoveAtExit() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// One pass over every mail of every sample into `out`.
void extractMails(const MailSet& set, const fs::path& out) {
    nsfrex::ExtractRequest r = request(set.scratch);
    fs::create_directories(out);
    for (const auto& [database, indexes] : set.mails) {
        r.indexes = indexes;
        nsfrex::extractDatabase(database, out, database.stem().string(), r);
    }
}

// The samples' mails, found by extracting everything once.
const MailSet& mailSet() {
    static const MailSet set = [] {
        MailSet s;
        s.scratch = fs::temp_directory_path() / ("nsfrex-bench-mht-" + std::to_string(getpid()));
        fs::create_directories(s.scratch / "all");
        const std::regex mailEntry(R"re("index": (\d+), "type": "Main", "name": "[^"]*\.mail")re");
        for (const fs::path& database : nsfrex_bench::sampleDatabases()) {
            if (database.extension() != ".nsf")
                continue;
            nsfrex::ExtractRequest everything = request(s.scratch);
            nsfrex::extractDatabase(database, s.scratch / "all", database.stem().string(), everything);
            std::ifstream in(s.scratch / "all" / database.stem() / "index.json");
            std::stringstream text;
            text << in.rdbuf();
            const std::string index = text.str();
            std::vector<std::int32_t> mails;
            for (std::sregex_iterator it(index.begin(), index.end(), mailEntry), end; it != end; ++it)
                mails.push_back(std::stoi((*it)[1]));
            if (!mails.empty())
                s.mails[database] = std::move(mails);
        }
        extractMails(s, s.scratch / "mht");
        for (const auto& entry : fs::recursive_directory_iterator(s.scratch / "mht"))
            if (entry.is_regular_file() && entry.path().extension() == ".mail") {
                s.files.push_back(entry.path());
                s.bytes += entry.file_size();
            }
        if (s.files.empty()) {
            std::fprintf(stderr, "bench_mht: no mail in the samples under %s\n", NSFREX_SHARED_DIR);
            std::abort();
        }
        return s;
    }();
    static const RemoveAtExit remover{set.scratch};
    return set;
}

void copyFiles(const MailSet& set, const fs::path& out) {
    fs::create_directories(out);
    std::size_t n = 0;
    for (const fs::path& file : set.files)
        fs::copy_file(file, out / (std::to_string(n++) + ".mail"), fs::copy_options::overwrite_existing);
}

// Peak resident set of a child that runs `pass` once, in MB.
template <typename Pass>
double childPeakMegabytes(Pass pass) {
    const pid_t child = fork();
    if (child == 0) {
        pass();
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return -1;
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void BM_ExtractMailsAsMht(benchmark::State& state) {
    const MailSet& set = mailSet();
    for (auto _ : state)
        extractMails(set, set.scratch / "mht");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.bytes));
    state.counters["mails"] = static_cast<double>(set.files.size());
    state.counters["mht_bytes"] = static_cast<double>(set.bytes);
    state.counters["peak_rss_mb"] = childPeakMegabytes([&set] { extractMails(set, set.scratch / "child"); });
}
BENCHMARK(BM_ExtractMailsAsMht)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CopySameBytes(benchmark::State& state) {
    const MailSet& set = mailSet();
    for (auto _ : state)
        copyFiles(set, set.scratch / "copy");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.bytes));
    state.counters["peak_rss_mb"] = childPeakMegabytes([&set] { copyFiles(set, set.scratch / "copy-child"); });
}
BENCHMARK(BM_CopySameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
