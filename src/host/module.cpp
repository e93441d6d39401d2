#include "module.h"

#include <system_error>
#include <utility>

#include <dlfcn.h>

#include "credentials.h"
#include "file_stream.h"
#include "library_loader.h"
#include "text.h"
#include "zapi.h"

namespace nsfrex {
namespace {

// Slot 6 belongs to the host; the module must leave it alone, which this marker lets us check.
char hostSlotMarker;

}  // namespace

void ModuleLibrary::CloseLibrary::operator()(void* handle) const noexcept { dlclose(handle); }

Result<ModuleLibrary> ModuleLibrary::load(const std::filesystem::path& file) {
    ModuleLibrary module;
    module.file_ = file;
    module.handle_.reset(dlopen(file.c_str(), kModuleLoadFlags));
    if (!module.handle_) {
        const char* reason = dlerror();
        return failure(cat("cannot load the module ", file.string(), ": ", reason != nullptr ? reason : "unknown error"));
    }
    auto* entry = reinterpret_cast<GetContainerReaderInterfaceExFunc>(dlsym(module.handle_.get(), NSFREX_ENTRY_POINT_NAME));
    if (entry == nullptr)
        return failure(cat("the module ", file.string(), " has no entry point ", NSFREX_ENTRY_POINT_NAME));

    module.reader_.pHostSlot6 = &hostSlotMarker;
    ContainerReaderInterface* returned = entry(&module.reader_);
    const auto& r = module.reader_;
    if (returned != &module.reader_)
        return failure(cat("the module ", file.string(), " did not return the operation table it was given"));
    if (r.fpInit == nullptr || r.fpShutdown == nullptr || r.fpGetContainerInfo == nullptr ||
        r.fpGetSubFileInfo == nullptr || r.fpGetSubFileMetadata == nullptr || r.fpExtractSubFileToIOobj == nullptr ||
        r.fpExtractSubFileToIOobjEx == nullptr)
        return failure(cat("the module ", file.string(), " left operations of its table empty"));
    if (r.pHostSlot6 != &hostSlotMarker)
        return failure(cat("the module ", file.string(), " overwrote the host's slot of its table"));
    return module;
}

Result<std::filesystem::path> moduleDirectory() {
    auto directory = executableDirectory();
    if (!directory) return directory;
    std::error_code error;
    if (std::filesystem::exists(*directory / kModuleFileName, error)) return directory;
    return (*directory / NSFREX_LIBDIR_FROM_BINDIR).lexically_normal();
}

Result<ModuleLibrary> ModuleLibrary::loadInstalled() {
    auto directory = moduleDirectory();
    if (!directory) return std::unexpected(std::move(directory.error()));
    return load(*directory / kModuleFileName);
}

std::shared_ptr<void> preloadLibrary(std::string_view fileName, int flags) {
    auto directory = moduleDirectory();
    if (!directory) return nullptr;
    void* handle = dlopen((*directory / fileName).c_str(), flags);
    if (handle == nullptr) return nullptr;
    return std::shared_ptr<void>(handle, [](void* loaded) { dlclose(loaded); });
}

std::string_view describeModuleStatus(std::int32_t status) noexcept {
    switch (status) {
        case 0: return "success";
        case 2: return "out of memory";
        case 4: return "the database could not be opened or searched";
        case 6: return "a Notes operation failed or a value could not be read";
        case 12: return "no database path, or the Notes runtime did not start";
        case 16: return "a host stream or temporary file failed";
        case 28: return "a Notes operation raised an exception";
        case 33: return "access denied by the Notes runtime";
        case 34: return "invalid argument";
        default: return "unknown status";
    }
}

ModuleSession::ModuleSession(const ContainerReaderInterface& reader, HostServices& host,
                             std::unique_ptr<DatabaseAlias> alias, std::unique_ptr<FileStream> input)
    : reader_(reader), host_(&host), alias_(std::move(alias)), input_(std::move(input)) {}

ModuleSession::ModuleSession(ModuleSession&& other) noexcept
    : reader_(other.reader_), host_(other.host_), alias_(std::move(other.alias_)), input_(std::move(other.input_)),
      context_(std::exchange(other.context_, nullptr)) {}

ModuleSession& ModuleSession::operator=(ModuleSession&& other) noexcept {
    if (this != &other) {
        close();
        reader_ = other.reader_;
        host_ = other.host_;
        alias_ = std::move(other.alias_);
        input_ = std::move(other.input_);
        context_ = std::exchange(other.context_, nullptr);
    }
    return *this;
}

ModuleSession::~ModuleSession() { close(); }

const std::string& ModuleSession::databasePath() const noexcept { return input_->path(); }

void ModuleSession::close() noexcept {
    if (context_ != nullptr) reader_.fpShutdown(std::exchange(context_, nullptr));
    // The module closes the input itself at open; this only matters if it left it open.
    if (input_ && input_->isOpen()) input_->close();
}

Result<ModuleSession> ModuleSession::open(const ModuleLibrary& module, HostServices& host,
                                          const std::filesystem::path& database, std::uint32_t flags,
                                          Credentials* credentials) {
    auto alias = DatabaseAlias::create(database);
    if (!alias) return failure(cat("cannot open ", database.string(), ": ", alias.error()));
    auto owned = std::make_unique<DatabaseAlias>(std::move(*alias));
    auto input = FileStream::input(owned->path());
    ModuleSession session(module.reader(), host, std::move(owned), std::move(input));
    std::int32_t status = -1;
    session.context_ = session.reader_.fpInit(session.input_->io(), host.zapi(), flags, 0,
                                              credentials != nullptr ? credentials->list() : nullptr, &status);
    if (status != 0) {
        // A context comes back also when open fails half-way; the session's close releases it.
        return failure(cat("cannot open ", database.string(), ": module status ", status, " (", describeModuleStatus(status), ")"));
    }
    if (session.context_ == nullptr)
        return failure(cat("cannot open ", database.string(), ": the module returned no context"));
    return session;
}

Result<MainFileInfo> ModuleSession::containerInfo() const {
    MainFileInfo info{};
    const std::int32_t status = reader_.fpGetContainerInfo(context_, &info, host_);
    if (status != 0)
        return failure(cat("container information failed: module status ", status, " (", describeModuleStatus(status), ")"));
    return info;
}

}  // namespace nsfrex
