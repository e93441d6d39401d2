#include "output_folder.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "text.h"

namespace nsfrex {
namespace {

std::string errnoText(int error) { return std::generic_category().message(error); }

// Opens the folder `name` in `parent`, making it when `create`; a link or a file of that name is refused.
Result<UniqueFd> openChildFolder(int parent, const std::string& name, bool create) {
    UniqueFd fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid() && errno == ENOENT && create) {
        if (::mkdirat(parent, name.c_str(), 0755) != 0 && errno != EEXIST) return failure(errnoText(errno));
        fd = UniqueFd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    if (!fd.valid()) return failure(errnoText(errno));
    return fd;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

UniqueFd::~UniqueFd() { close(); }

bool UniqueFd::close() noexcept {
    if (fd_ < 0) return true;
    const bool ok = ::close(std::exchange(fd_, -1)) == 0;
    return ok;
}

bool outputExists(const std::filesystem::path& parent, std::string_view name) {
    struct stat info{};
    return ::fstatat(AT_FDCWD, (parent / name).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

Result<OutputFolder> OutputFolder::create(const std::filesystem::path& parent, std::string_view name, bool replace) {
    const std::filesystem::path path = parent / name;
    UniqueFd parentFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.valid()) return failure(cat(parent.string(), ": ", errnoText(errno)));
    if (outputExists(parent, name)) {
        if (!replace) return failure(cat(path.string(), " already exists (--force replaces it)"));
        std::error_code error;
        std::filesystem::remove_all(path, error);  // removes a link itself, never what it points to
        if (error) return failure(cat("cannot remove ", path.string(), ": ", error.message()));
    }
    const std::string folderName(name);
    if (::mkdirat(parentFd.get(), folderName.c_str(), 0755) != 0)
        return failure(cat("cannot make ", path.string(), ": ", errnoText(errno)));
    auto root = openChildFolder(parentFd.get(), folderName, false);
    if (!root) return failure(cat(path.string(), ": ", root.error()));
    return OutputFolder(path, std::move(parentFd), std::move(*root));
}

Result<int> OutputFolder::folderFd(std::string_view relative) {
    if (relative.empty()) return root_.get();
    if (const auto found = folders_.find(relative); found != folders_.end()) return found->second.get();
    const std::size_t slash = relative.rfind('/');
    auto parent = folderFd(slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash));
    if (!parent) return parent;
    const std::string name(relative.substr(slash == std::string_view::npos ? 0 : slash + 1));
    auto fd = openChildFolder(*parent, name, true);
    if (!fd) return failure(cat((path_ / relative).string(), ": ", fd.error()));
    const int raw = fd->get();
    folders_.emplace(std::string(relative), std::move(*fd));
    return raw;
}

Result<void> OutputFolder::createFolder(std::string_view relative) {
    auto fd = folderFd(relative);
    if (!fd) return std::unexpected(std::move(fd.error()));
    return {};
}

Result<UniqueFd> OutputFolder::openFile(std::string_view relative, int flags) {
    const std::size_t slash = relative.rfind('/');
    auto folder = folderFd(slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash));
    if (!folder) return std::unexpected(std::move(folder.error()));
    const std::string name(relative.substr(slash == std::string_view::npos ? 0 : slash + 1));
    UniqueFd fd(::openat(*folder, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.valid()) return failure(cat((path_ / relative).string(), ": ", errnoText(errno)));
    return fd;
}

Result<UniqueFd> OutputFolder::createFile(std::string_view relative) {
    return openFile(relative, O_WRONLY | O_CREAT | O_EXCL);
}

Result<void> writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return failure(errnoText(n < 0 ? errno : EIO));
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

Result<void> OutputFolder::writeFile(std::string_view relative, std::string_view content, bool append) {
    auto fd = append ? openFile(relative, O_WRONLY | O_APPEND) : createFile(relative);
    if (!fd) return std::unexpected(std::move(fd.error()));
    if (auto written = writeAll(fd->get(), content); !written)
        return failure(cat((path_ / relative).string(), ": ", written.error()));
    if (!fd->close()) return failure(cat((path_ / relative).string(), ": ", errnoText(errno)));
    return {};
}

Result<void> OutputFolder::writeFileAtomically(std::string_view relative, std::string_view temporary,
                                               std::string_view content) {
    return writeFileAtomically(relative, temporary, [&](int fd) { return writeAll(fd, content); });
}

Result<void> OutputFolder::writeFileAtomically(std::string_view relative, std::string_view temporary,
                                               const std::function<Result<void>(int fd)>& write) {
    auto written = [&]() -> Result<void> {
        auto fd = createFile(temporary);
        if (!fd) return std::unexpected(std::move(fd.error()));
        if (auto done = write(fd->get()); !done) return failure(cat((path_ / temporary).string(), ": ", done.error()));
        if (!fd->close()) return failure(cat((path_ / temporary).string(), ": ", errnoText(errno)));
        return {};
    }();
    if (!written) {
        removeFile(temporary);
        return written;
    }
    const std::size_t slash = relative.rfind('/');
    auto folder = folderFd(slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash));
    if (!folder) return std::unexpected(std::move(folder.error()));
    const std::string from(std::string_view(temporary).substr(slash == std::string_view::npos ? 0 : slash + 1));
    const std::string to(relative.substr(slash == std::string_view::npos ? 0 : slash + 1));
    if (::renameat(*folder, from.c_str(), *folder, to.c_str()) != 0) {
        const int error = errno;
        removeFile(temporary);
        return failure(cat((path_ / relative).string(), ": ", errnoText(error)));
    }
    return {};
}

Result<UniqueFd> OutputFolder::createScratchFile() {
    UniqueFd fd(::openat(root_.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd.valid()) return fd;
    // A file system without unnamed files: a unique name, removed at once.
    std::string name = (path_ / ".nsfrex-scratch-XXXXXX").string();
    fd = UniqueFd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid()) return failure(cat(name, ": ", errnoText(errno)));
    ::unlink(name.c_str());
    return fd;
}

Result<void> OutputFolder::publish(std::string_view finalName, bool replace) {
    const std::string from = path_.filename().string();
    const std::string to(finalName);
    const std::filesystem::path target = path_.parent_path() / finalName;
    const int parent = parent_.get();
    if (::renameat2(parent, from.c_str(), parent, to.c_str(), RENAME_NOREPLACE) == 0) {
        path_ = target;
        return {};
    }
    int error = errno;
    if (error == EEXIST && replace) {
        if (::renameat2(parent, from.c_str(), parent, to.c_str(), RENAME_EXCHANGE) == 0) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);  // now the previous output
            path_ = target;
            return {};
        }
        error = errno;
    }
    if (error == EINVAL || error == ENOSYS) {
        // A file system without these renames: the old folder goes first, then this one moves.
        std::error_code removed;
        if (replace) std::filesystem::remove_all(target, removed);
        if (!removed && !outputExists(path_.parent_path(), finalName) &&
            ::renameat(parent, from.c_str(), parent, to.c_str()) == 0) {
            path_ = target;
            return {};
        }
        error = removed ? removed.value() : errno;
    }
    return failure(cat("cannot rename ", path_.string(), " to ", target.string(), ": ", errnoText(error)));
}

void OutputFolder::abandon() noexcept {
    folders_.clear();
    root_.close();
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void OutputFolder::removeFile(std::string_view relative) noexcept {
    const std::size_t slash = relative.rfind('/');
    const auto found = slash == std::string_view::npos ? root_.get() : [&] {
        const auto it = folders_.find(relative.substr(0, slash));
        return it == folders_.end() ? -1 : it->second.get();
    }();
    if (found < 0) return;
    const std::string name(relative.substr(slash == std::string_view::npos ? 0 : slash + 1));
    ::unlinkat(found, name.c_str(), 0);
}

}  // namespace nsfrex
