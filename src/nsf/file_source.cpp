#include "file_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nsf::detail {
namespace {

class MappedSource final : public FileSource {
public:
    MappedSource(void* base, std::size_t size) : base_(base), size_(size) {}
    ~MappedSource() override {
        if (base_ != nullptr) ::munmap(base_, size_);
    }
    MappedSource(const MappedSource&) = delete;
    MappedSource& operator=(const MappedSource&) = delete;
    Bytes bytes() const noexcept override { return {static_cast<const std::uint8_t*>(base_), size_}; }

    // The mapping is private and never written, so every page is a clean copy of the file: dropping
    // one loses nothing, even one that other bytes share. The page holding the range's end stays (the
    // next range of a sequential reader starts there).
    void release(Bytes range) const noexcept override {
        static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto base = reinterpret_cast<std::uintptr_t>(base_);
        const auto from = std::max(reinterpret_cast<std::uintptr_t>(range.data()), base);
        const auto to = std::min(reinterpret_cast<std::uintptr_t>(range.data()) + range.size(), base + size_);
        const std::uintptr_t first = from / page * page;
        const std::uintptr_t last = to / page * page;
        if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
    }

private:
    void* base_;
    std::size_t size_;
};

class OwnedSource final : public FileSource {
public:
    explicit OwnedSource(std::vector<std::uint8_t> data) : data_(std::move(data)) {}
    Bytes bytes() const noexcept override { return data_; }

private:
    std::vector<std::uint8_t> data_;
};

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

std::string sysError(const std::filesystem::path& path, const char* what) {
    return path.string() + ": " + what + ": " + std::strerror(errno);
}

}  // namespace

void releaseRead(const FileSource* source, Bytes file, std::uint64_t offset, std::size_t size) noexcept {
    if (source == nullptr || offset >= file.size()) return;
    const std::uint64_t from = offset > kFaultAroundBytes ? offset - kFaultAroundBytes : 0;
    const std::uint64_t to = std::min<std::uint64_t>(file.size(), offset + size + kFaultAroundBytes);
    source->release(file.subspan(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from)));
}

Expected<std::unique_ptr<FileSource>> openFileSource(const std::filesystem::path& path) {
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (f.fd < 0) return fail(ErrorKind::Io, "file", sysError(path, "cannot open"));
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) return fail(ErrorKind::Io, "file", sysError(path, "cannot stat"));
    if (S_ISDIR(st.st_mode)) return fail(ErrorKind::Io, "file", path.string() + ": is a directory");
    if (S_ISREG(st.st_mode)) {
        if (st.st_size == 0) return std::unique_ptr<FileSource>(new OwnedSource({}));
        const auto size = static_cast<std::size_t>(st.st_size);
        void* base = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, f.fd, 0);
        if (base != MAP_FAILED) return std::unique_ptr<FileSource>(new MappedSource(base, size));
    }
    // Not mappable (a pipe, a special file): read it in chunks, up to 4 GiB.
    constexpr std::size_t kMaxRead = std::size_t{4} << 30;
    std::vector<std::uint8_t> data;
    for (;;) {
        if (data.size() >= kMaxRead) return fail(ErrorKind::Io, "file", path.string() + ": larger than 4 GiB");
        const std::size_t old = data.size();
        data.resize(old + (1u << 20));
        ssize_t got = ::read(f.fd, data.data() + old, 1u << 20);
        if (got < 0) {
            if (errno == EINTR) { data.resize(old); continue; }
            return fail(ErrorKind::Io, "file", sysError(path, "cannot read"));
        }
        data.resize(old + static_cast<std::size_t>(got));
        if (got == 0) break;
    }
    return std::unique_ptr<FileSource>(new OwnedSource(std::move(data)));
}

std::unique_ptr<FileSource> copySource(Bytes image) {
    return std::make_unique<OwnedSource>(std::vector<std::uint8_t>(image.begin(), image.end()));
}

}  // namespace nsf::detail
