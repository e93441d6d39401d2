#include "open_database.h"

#include "nsf/database.h"
#include "text.h"

namespace nsfrex {

Result<OpenDatabase> openDatabase(CommonOptions& options, const std::filesystem::path& database) {
    auto settings = hostSettings(options);
    if (!settings) return std::unexpected(std::move(settings.error()));
    if (auto logged = applyLogEnvironment(options); !logged) return std::unexpected(std::move(logged.error()));
    auto host = HostServices::create(std::move(*settings));
    if (!host) return std::unexpected(std::move(host.error()));
    auto module = ModuleLibrary::loadInstalled();
    if (!module) return std::unexpected(std::move(module.error()));
    for (const std::string& idFile : options.credentials.idFiles()) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(idFile, error)) return failure(cat("ID file not found: ", idFile));
    }
    auto session = ModuleSession::open(*module, **host, database, openFlags(options), &options.credentials);
    if (!session) {
        // The module's status says little; the engine, reading the file directly, says what is wrong with it.
        std::string message = std::move(session.error());
        if (message.find(database.string()) == std::string::npos) message = cat(database.string(), ": ", message);
        std::error_code error;
        if (std::filesystem::is_regular_file(database, error)) {
            if (auto direct = nsf::openDatabaseFile(database); !direct) message += cat(": ", direct.error().message());
        }
        return failure(std::move(message));
    }
    return OpenDatabase{std::move(*host), std::move(*module), std::move(*session)};
}

}  // namespace nsfrex
