#include "database_alias.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <system_error>
#include <string_view>
#include <utility>

#include "text.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

std::string errnoText(int error) { return std::generic_category().message(error); }

constexpr std::string_view kFolderPrefix = "nsfrex-db-";

// Removes the private folders of processes that are gone (killed before they could clean up): only
// this user's, and only when they hold nothing but links.
void sweepAbandonedFolders(const fs::path& base) {
    std::error_code error;
    for (fs::directory_iterator it(base, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kFolderPrefix)) continue;
        int pid = 0;
        const char* digits = name.data() + kFolderPrefix.size();
        const auto [rest, failed] = std::from_chars(digits, name.data() + name.size(), pid);
        if (failed != std::errc() || rest == name.data() + name.size() || *rest != '-' || pid <= 0) continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
        struct stat info{};
        if (::lstat(it->path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) continue;
        std::error_code inner;
        bool onlyLinks = true;
        for (fs::directory_iterator entry(it->path(), inner); !inner && entry != fs::directory_iterator(); entry.increment(inner))
            onlyLinks = onlyLinks && entry->is_symlink(inner);
        if (inner || !onlyLinks) continue;
        for (fs::directory_iterator entry(it->path(), inner); !inner && entry != fs::directory_iterator(); entry.increment(inner))
            ::unlink(entry->path().c_str());
        ::rmdir(it->path().c_str());
    }
}

}  // namespace

fs::path dotFreeTempBase() {
    const char* configured = std::getenv("TMPDIR");
    if (configured != nullptr && configured[0] == '/') {
        const fs::path base = fs::path(configured).lexically_normal();
        if (base.string().find('.') == std::string::npos && fs::is_directory(base)) return base;
    }
    return "/tmp";
}

Result<DatabaseAlias> DatabaseAlias::create(const fs::path& database) {
    // O_NONBLOCK: a FIFO or a device in its place must not stall the run; only regular files pass.
    UniqueFd file(::open(database.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) return failure(errnoText(errno));
    struct stat info{};
    if (::fstat(file.get(), &info) != 0) return failure(errnoText(errno));
    if (!S_ISREG(info.st_mode)) return failure("not a regular file");

    std::string name = database.filename().string();
    if (name.empty() || name == "." || name == "..") return failure("not a file name");
    static bool swept = false;
    if (!std::exchange(swept, true)) sweepAbandonedFolders(dotFreeTempBase());
    std::string folder = (dotFreeTempBase() / cat(kFolderPrefix, ::getpid(), "-XXXXXX")).string();
    if (::mkdtemp(folder.data()) == nullptr)
        return failure(cat("cannot make a private folder in ", dotFreeTempBase().string(), ": ", errnoText(errno)));

    // Through /proc the link reaches the open descriptor; without /proc, the absolute path.
    std::string target = cat("/proc/self/fd/", file.get());
    struct stat viaProc{};
    if (::stat(target.c_str(), &viaProc) != 0 || viaProc.st_ino != info.st_ino || viaProc.st_dev != info.st_dev) {
        std::error_code error;
        target = fs::absolute(database, error).lexically_normal().string();
    }
    std::string path = cat(folder, "/", name);
    if (::symlink(target.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::rmdir(folder.c_str());
        return failure(cat("cannot make a link in ", folder, ": ", errnoText(error)));
    }
    return DatabaseAlias(std::move(file), std::move(folder), std::move(path));
}

DatabaseAlias::DatabaseAlias(DatabaseAlias&& other) noexcept
    : file_(std::move(other.file_)), folder_(std::exchange(other.folder_, {})), path_(std::move(other.path_)) {}

DatabaseAlias::~DatabaseAlias() {
    if (folder_.empty()) return;
    ::unlink(path_.c_str());
    ::rmdir(folder_.c_str());
}

}  // namespace nsfrex
