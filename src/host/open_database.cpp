#include "open_database.h"

namespace nsfrex {

Result<OpenDatabase> openDatabase(CommonOptions& options, const std::filesystem::path& database) {
    auto settings = hostSettings(options);
    if (!settings) return std::unexpected(std::move(settings.error()));
    if (auto logged = applyLogEnvironment(options); !logged) return std::unexpected(std::move(logged.error()));
    auto host = HostServices::create(std::move(*settings));
    if (!host) return std::unexpected(std::move(host.error()));
    auto module = ModuleLibrary::loadInstalled();
    if (!module) return std::unexpected(std::move(module.error()));
    auto session = ModuleSession::open(*module, **host, database, openFlags(options), &options.credentials);
    if (!session) return std::unexpected(std::move(session.error()));
    return OpenDatabase{std::move(*host), std::move(*module), std::move(*session)};
}

}  // namespace nsfrex
