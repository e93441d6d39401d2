// One database's output folder, and everything created inside it relative to open folder descriptors:
// folders and files are made new (never through an existing name or a symbolic link), so nothing can be
// written outside the folder whatever the names are or whatever appears in the folder meanwhile.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "result.h"

namespace nsfrex {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    // Closes now; false when close reported an error (a write that did not reach the disk).
    bool close() noexcept;

private:
    int fd_ = -1;
};

// Writes all of `content` to `fd`; the error is the system's message.
Result<void> writeAll(int fd, std::string_view content);

// Whether `parent` already holds an entry called `name` (of any kind, a dangling link included).
bool outputExists(const std::filesystem::path& parent, std::string_view name);

class OutputFolder {
public:
    // Makes the folder `name` in `parent`. An existing entry of that name is an error unless `replace`,
    // which removes it first (a link is removed, not followed).
    static Result<OutputFolder> create(const std::filesystem::path& parent, std::string_view name, bool replace);

    const std::filesystem::path& path() const noexcept { return path_; }

    // Renames the folder to `finalName` in the same parent. An entry of that name is an error unless
    // `replace`; then the two are swapped in one step where the file system can, and the old one removed,
    // so that the name never stands for a half-written folder.
    Result<void> publish(std::string_view finalName, bool replace);
    // Removes the folder and everything in it.
    void abandon() noexcept;

    // `relative` is '/'-separated with safe names; missing folders on the way are made.
    Result<void> createFolder(std::string_view relative);
    Result<UniqueFd> createFile(std::string_view relative);
    // With `append`, `content` goes at the end of a file made earlier in this folder.
    Result<void> writeFile(std::string_view relative, std::string_view content, bool append = false);
    // Writes `content` as `temporary` (a name of the same folder that nothing else uses) and renames it
    // to `relative`: never seen half-written.
    Result<void> writeFileAtomically(std::string_view relative, std::string_view temporary, std::string_view content);
    // The same with the content written by `write` into the open temporary file.
    Result<void> writeFileAtomically(std::string_view relative, std::string_view temporary,
                                     const std::function<Result<void>(int fd)>& write);
    // A file without a name, on the folder's file system where it can be, for data that is put
    // together before it is written out; it goes away when closed.
    Result<UniqueFd> createScratchFile();
    void removeFile(std::string_view relative) noexcept;

private:
    OutputFolder(std::filesystem::path path, UniqueFd parent, UniqueFd root)
        : path_(std::move(path)), parent_(std::move(parent)), root_(std::move(root)) {}
    Result<int> folderFd(std::string_view relative);
    Result<UniqueFd> openFile(std::string_view relative, int flags);

    std::filesystem::path path_;
    UniqueFd parent_;
    UniqueFd root_;
    std::map<std::string, UniqueFd, std::less<>> folders_;  // open folders below the root, by relative path
};

}  // namespace nsfrex
