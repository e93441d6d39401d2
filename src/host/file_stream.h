// IOobj64 streams over files: the input names the database for the module (it reads it by path), the output
// receives what the module extracts.
//
// twCloseFunc is set only while the file is open: the module tells an opened stream from a fresh one
// by it. The other operations are always present and fail on a closed stream. Results: open, write and
// close return 1 on success and 0 on failure; read returns the byte count or -1; seek returns the new
// position or -1; tell returns the position or -1. Opening an open stream succeeds and changes nothing.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <nsfrex/host.h>

namespace nsfrex {

class FileStream {
public:
    enum class Direction { Input, Output };

    // The record points back at this object, so it lives at a fixed address: hence the factory.
    static std::unique_ptr<FileStream> input(const std::filesystem::path& path);
    // Opening creates the file or truncates it; a symbolic link in its place is refused.
    static std::unique_ptr<FileStream> output(const std::filesystem::path& path);

    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    ~FileStream();

    IOobj64* io() noexcept { return &io_; }
    const std::string& path() const noexcept { return path_; }
    bool isOpen() const noexcept { return file_ != nullptr; }
    Direction direction() const noexcept { return direction_; }

    bool open();
    bool close();

    // Only the factories can make the key.
    class Key {
        friend class FileStream;
        Key() = default;
    };
    FileStream(Key, const std::filesystem::path& path, Direction direction);

private:
    static FileStream& of(IOobj64* io) noexcept;

    static std::int32_t ioOpen(IOobj64* io);
    static std::int32_t ioRead(IOobj64* io, std::uint8_t* pb, std::uint32_t cb);
    static std::int32_t ioWrite(IOobj64* io, const std::uint8_t* pb, std::uint32_t cb);
    static std::int64_t ioSeek(IOobj64* io, std::int64_t off, std::int32_t origin);
    static std::int64_t ioTell(IOobj64* io);
    static std::int32_t ioClose(IOobj64* io);

    struct CloseFile {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };

    IOobj64 io_{};
    std::string path_;  // pFileName points into it
    Direction direction_;
    std::unique_ptr<std::FILE, CloseFile> file_;
};

}  // namespace nsfrex
