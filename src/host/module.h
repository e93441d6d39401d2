// The container-reader module: loading libnsfrex.so, and one database opened through its operation table.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include <dlfcn.h>

#include <nsfrex/host.h>

#include "database_alias.h"
#include "result.h"

namespace nsfrex {

class Credentials;
class FileStream;
class HostServices;

inline constexpr std::string_view kModuleFileName = "libnsfrex.so";

// The folder holding libnsfrex.so and the libraries loaded for it: the running executable's own folder
// when the module is there (the build tree), otherwise the private library folder of the installed
// prefix, found relative to the executable so that the prefix can move.
Result<std::filesystem::path> moduleDirectory();

class ModuleLibrary {
public:
    static Result<ModuleLibrary> load(const std::filesystem::path& file);
    // libnsfrex.so from moduleDirectory().
    static Result<ModuleLibrary> loadInstalled();

    ModuleLibrary(ModuleLibrary&&) noexcept = default;
    ModuleLibrary& operator=(ModuleLibrary&&) noexcept = default;

    const ContainerReaderInterface& reader() const noexcept { return reader_; }
    const std::filesystem::path& file() const noexcept { return file_; }

private:
    struct CloseLibrary {
        void operator()(void* handle) const noexcept;
    };
    ModuleLibrary() = default;

    std::unique_ptr<void, CloseLibrary> handle_;
    ContainerReaderInterface reader_{};
    std::filesystem::path file_;
};

// A library of the module's folder (libnsfrex.so, the mail exporter) and the libraries it links, mapped
// and relocated but not started, while the result lives: processes forked meanwhile find them in place,
// and their own load (with the same `flags`) costs no symbol lookups. Null when it does not load; each
// process then says why.
std::shared_ptr<void> preloadLibrary(std::string_view fileName, int flags);

// The flags libnsfrex.so is loaded with.
inline constexpr int kModuleLoadFlags = RTLD_NOW | RTLD_LOCAL;

// What a module status code means, for messages.
std::string_view describeModuleStatus(std::int32_t status) noexcept;

// One database open in the module: opened through slot 0, closed through slot 1 when the session ends.
// The module library and the host services must outlive the session.
class ModuleSession {
public:
    static Result<ModuleSession> open(const ModuleLibrary& module, HostServices& host,
                                      const std::filesystem::path& database, std::uint32_t flags,
                                      Credentials* credentials);

    ModuleSession(ModuleSession&& other) noexcept;
    ModuleSession& operator=(ModuleSession&& other) noexcept;
    ~ModuleSession();

    void close() noexcept;

    void* context() const noexcept { return context_; }
    const ContainerReaderInterface& reader() const noexcept { return reader_; }
    HostServices& host() const noexcept { return *host_; }
    // The path as the module received it (a private alias, see DatabaseAlias).
    const std::string& databasePath() const noexcept;

    Result<MainFileInfo> containerInfo() const;

private:
    ModuleSession(const ContainerReaderInterface& reader, HostServices& host, std::unique_ptr<DatabaseAlias> alias,
                  std::unique_ptr<FileStream> input);

    ContainerReaderInterface reader_{};
    HostServices* host_ = nullptr;
    std::unique_ptr<DatabaseAlias> alias_;  // outlives the module's use of the path
    std::unique_ptr<FileStream> input_;  // the module keeps a pointer to its record until close
    void* context_ = nullptr;
};

}  // namespace nsfrex
