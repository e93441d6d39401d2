#include "file_stream.h"

#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nsfrex {

FileStream::FileStream(Key, const std::filesystem::path& path, Direction direction)
    : path_(path.string()), direction_(direction) {
    io_.pHostData = this;
    io_.pFileName = path_.data();
    io_.twOpenFunc = ioOpen;
    io_.twReadFunc = ioRead;
    io_.twWriteFunc = ioWrite;
    io_.twSeekFunc = ioSeek;
    io_.twTellFunc = ioTell;
}

FileStream::~FileStream() = default;

std::unique_ptr<FileStream> FileStream::input(const std::filesystem::path& path) {
    return std::make_unique<FileStream>(Key{}, path, Direction::Input);
}

std::unique_ptr<FileStream> FileStream::output(const std::filesystem::path& path) {
    return std::make_unique<FileStream>(Key{}, path, Direction::Output);
}

FileStream& FileStream::of(IOobj64* io) noexcept { return *static_cast<FileStream*>(io->pHostData); }

bool FileStream::open() {
    if (file_) return true;
    int fd = -1;
    if (direction_ == Direction::Input) {
        fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    } else {
        fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    }
    if (fd < 0) return false;
    struct stat info {};
    // A directory opens for reading on Linux but is no database; devices and pipes are refused as well.
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    std::FILE* file = fdopen(fd, direction_ == Direction::Input ? "rb" : "wb");
    if (file == nullptr) {
        ::close(fd);
        return false;
    }
    file_.reset(file);
    io_.cbSize = direction_ == Direction::Input ? static_cast<std::int64_t>(info.st_size) : 0;
    io_.twCloseFunc = ioClose;
    return true;
}

bool FileStream::close() {
    if (!file_) return false;
    io_.twCloseFunc = nullptr;
    // fclose reports a failed final flush (a full disk), which matters for output.
    return std::fclose(file_.release()) == 0;
}

std::int32_t FileStream::ioOpen(IOobj64* io) { return of(io).open() ? 1 : 0; }

std::int32_t FileStream::ioClose(IOobj64* io) { return of(io).close() ? 1 : 0; }

std::int32_t FileStream::ioRead(IOobj64* io, std::uint8_t* pb, std::uint32_t cb) {
    FileStream& self = of(io);
    if (!self.file_ || self.direction_ != Direction::Input || (pb == nullptr && cb > 0)) return -1;
    if (cb == 0) return 0;
    const std::uint32_t limit = cb > INT32_MAX ? INT32_MAX : cb;
    const std::size_t n = std::fread(pb, 1, limit, self.file_.get());
    if (n < limit && std::ferror(self.file_.get())) return -1;
    return static_cast<std::int32_t>(n);
}

std::int32_t FileStream::ioWrite(IOobj64* io, const std::uint8_t* pb, std::uint32_t cb) {
    FileStream& self = of(io);
    if (!self.file_ || self.direction_ != Direction::Output || (pb == nullptr && cb > 0)) return 0;
    if (cb == 0) return 1;
    return std::fwrite(pb, 1, cb, self.file_.get()) == cb ? 1 : 0;
}

std::int64_t FileStream::ioSeek(IOobj64* io, std::int64_t off, std::int32_t origin) {
    FileStream& self = of(io);
    if (!self.file_ || origin < SEEK_SET || origin > SEEK_END) return -1;
    if (fseeko(self.file_.get(), static_cast<off_t>(off), origin) != 0) return -1;
    return ftello(self.file_.get());
}

std::int64_t FileStream::ioTell(IOobj64* io) {
    FileStream& self = of(io);
    if (!self.file_) return -1;
    return ftello(self.file_.get());
}

}  // namespace nsfrex
