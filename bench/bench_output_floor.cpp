// What writing an extract's output costs before any decoding, against `cp -r` of the same tree.
//
// NSFREX_BENCH_TREE names a folder written by `nsfrex extract`. Each iteration writes its files into
// a fresh folder beside the tree, synced outside the timing and all removed at the end (creating files right after many were
// removed costs ext4 more, which would favour whichever case runs first):
//   /0  copied file by file with copy_file_range, as `cp -r` does;
//   /1  written from memory, one file each (the least an extractor must do);
//   /2  the same, but every attachment (a file one folder below its note) first goes through a
//       temporary file as the reader module hands attachments over: the file is written whole,
//       read back in pieces of the module's 8 KB work buffer (one read each, no buffering added)
//       and removed.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kModulePiece = 8192;
constexpr std::size_t kHostGather = 64 * 1024;

struct TreeFile {
    fs::path relative;
    std::vector<char> data;
    bool attachment = false;
};

struct Tree {
    fs::path root;
    std::vector<fs::path> folders;
    std::vector<TreeFile> files;
    std::int64_t bytes = 0;
};

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

bool readWhole(const fs::path& path, std::vector<char>& out) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    out.resize(fs::file_size(path));
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd.get(), out.data() + done, out.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeWhole(int fd, const char* p, std::size_t n) {
    while (n != 0) {
        const ssize_t w = ::write(fd, p, std::min(n, kHostGather));
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

const Tree* loadTree() {
    static const Tree tree = [] {
        Tree t;
        const char* root = std::getenv("NSFREX_BENCH_TREE");
        if (root == nullptr || *root == '\0') return t;
        t.root = root;
        for (const auto& entry : fs::recursive_directory_iterator(t.root)) {
            const fs::path relative = fs::relative(entry.path(), t.root);
            if (entry.is_directory()) {
                t.folders.push_back(relative);
            } else if (entry.is_regular_file()) {
                TreeFile file{relative, {}, std::distance(relative.begin(), relative.end()) > 2};
                if (!readWhole(entry.path(), file.data)) continue;
                t.bytes += static_cast<std::int64_t>(file.data.size());
                t.files.push_back(std::move(file));
            }
        }
        return t;
    }();
    return tree.files.empty() ? nullptr : &tree;
}

bool copyFile(const fs::path& from, const fs::path& to) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (in.get() < 0 || out.get() < 0) return false;
    for (;;) {
        const ssize_t n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, 1 << 30, 0);
        if (n < 0) return false;
        if (n == 0) return true;
    }
}

bool throughTemporaryFile(const TreeFile& file, const fs::path& temporary, int out) {
    {
        Fd tmp(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (tmp.get() < 0 || !writeWhole(tmp.get(), file.data.data(), file.data.size())) return false;
    }
    Fd tmp(::open(temporary.c_str(), O_RDWR | O_CLOEXEC));
    if (tmp.get() < 0) return false;
    std::vector<char> piece(kModulePiece);
    std::vector<char> gather;
    gather.reserve(kHostGather);
    for (;;) {
        const ssize_t n = ::read(tmp.get(), piece.data(), piece.size());
        if (n < 0) return false;
        if (n == 0) break;
        if (gather.size() + static_cast<std::size_t>(n) > kHostGather) {
            if (!writeWhole(out, gather.data(), gather.size())) return false;
            gather.clear();
        }
        gather.insert(gather.end(), piece.data(), piece.data() + n);
    }
    return writeWhole(out, gather.data(), gather.size()) && ::unlink(temporary.c_str()) == 0;
}

bool writeTree(const Tree& tree, const fs::path& target, int mode) {
    fs::create_directory(target);
    for (const fs::path& folder : tree.folders) fs::create_directory(target / folder);
    const fs::path temporary = target / ".tmp.TMP";
    for (const TreeFile& file : tree.files) {
        if (mode == 0) {
            if (!copyFile(tree.root / file.relative, target / file.relative)) return false;
            continue;
        }
        Fd out(::open((target / file.relative).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (out.get() < 0) return false;
        const bool ok = mode == 2 && file.attachment ? throughTemporaryFile(file, temporary, out.get())
                                                     : writeWhole(out.get(), file.data.data(), file.data.size());
        if (!ok) return false;
    }
    return true;
}

void BM_OutputFloor(benchmark::State& state) {
    const Tree* tree = loadTree();
    if (tree == nullptr) {
        state.SkipWithError("set NSFREX_BENCH_TREE to a folder written by nsfrex extract");
        return;
    }
    const fs::path base = tree->root.parent_path() / (tree->root.filename().string() + ".floor");
    std::error_code ignored;
    fs::remove_all(base, ignored);
    fs::create_directory(base);
    int copy = 0;
    for (auto _ : state) {
        if (!writeTree(*tree, base / std::to_string(copy++), static_cast<int>(state.range(0)))) {
            state.SkipWithError("cannot write the copy");
            break;
        }
        // Dirty pages left behind would slow the next copy's writes by throttling.
        state.PauseTiming();
        ::sync();
        state.ResumeTiming();
    }
    fs::remove_all(base, ignored);
    state.SetBytesProcessed(state.iterations() * tree->bytes);
    state.counters["files"] = static_cast<double>(tree->files.size());
}
BENCHMARK(BM_OutputFloor)->Arg(0)->Arg(1)->Arg(2)->Iterations(8)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace
