// Opening and closing databases, and their version.
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <unistd.h>

#include "api_guard.h"
#include "config.h"
#include "error_map.h"
#include "handles.h"
#include "notesapi/nsfdb.h"
#include "notesapi/status.h"
#include "objects.h"
#include "testing_db.h"

namespace notesrt {
namespace {

struct TestRegistry {
    std::mutex mutex;
    std::map<std::string, NotesTestDatabaseFactory> factories;
};

TestRegistry& testRegistry() {
    static TestRegistry instance;
    return instance;
}

// Relative paths are relative to the configured data directory; ".nsf" may be left off.
std::filesystem::path resolvePath(const std::string& given) {
    namespace fs = std::filesystem;
    fs::path path(given);
    if (path.is_relative()) {
        if (const auto dir = configValue("Directory"); dir && !dir->empty())
            path = fs::path(*dir) / path;
    }
    std::error_code ec;
    if (!fs::exists(path, ec) && !path.has_extension()) {
        fs::path withExtension = path;
        withExtension += ".nsf";
        if (fs::exists(withExtension, ec))
            return withExtension;
    }
    return path;
}

nsf::Expected<std::unique_ptr<nsf::Database>> openEngine(const std::string& given, STATUS& status) {
    if (auto factory = registeredDatabase(given.c_str()))
        return factory();
    namespace fs = std::filesystem;
    const fs::path path = resolvePath(given);
    std::error_code ec;
    const auto type = fs::status(path, ec).type();
    if (type == fs::file_type::not_found || type == fs::file_type::none) {
        status = ERR_NOEXIST;
        return nsf::fail(nsf::ErrorKind::NotFound, "database file");
    }
    if (type != fs::file_type::regular) {
        status = ERR_NOT_NSF;
        return nsf::fail(nsf::ErrorKind::BadSignature, "database file", "not a regular file");
    }
    if (::access(path.c_str(), R_OK) != 0) {
        status = ERR_NOACCESS;
        return nsf::fail(nsf::ErrorKind::Io, "database file", "not readable");
    }
    // Salvage (NSFREX_SALVAGE=1 in the environment, or in the configuration file) also reads the notes
    // that only a scan of the buckets still finds.
    const char* env = std::getenv("NSFREX_SALVAGE");
    const auto configured = configValue("NSFREX_SALVAGE");
    const bool salvage = (env != nullptr && std::string_view(env) == "1") || (configured && *configured == "1");
    return nsf::openDatabaseFile(path, nsf::OpenOptions{.salvage = salvage});
}

// The code level of the release that introduced a database's on-disk structure version.
BUILDVERSION versionForOds(std::uint16_t ods) {
    struct Level {
        std::uint16_t firstOds;
        DWORD major;
        DWORD minor;
    };
    static constexpr Level kLevels[] = {
        {55, 12, 0}, {53, 10, 0}, {52, 9, 0}, {51, 8, 5}, {48, 8, 0},
        {43, 6, 5},  {41, 6, 0},  {20, 5, 0}, {17, 4, 0}, {0, 3, 0},
    };
    BUILDVERSION v{};
    for (const Level& level : kLevels) {
        if (ods >= level.firstOds) {
            v.MajorVersion = level.major;
            v.MinorVersion = level.minor;
            break;
        }
    }
    return v;
}

}  // namespace

NotesTestDatabaseFactory registeredDatabase(const char* path) {
    if (path == nullptr)
        return {};
    TestRegistry& reg = testRegistry();
    std::lock_guard lock(reg.mutex);
    const auto it = reg.factories.find(path);
    return it == reg.factories.end() ? NotesTestDatabaseFactory{} : it->second;
}

}  // namespace notesrt

using namespace notesrt;

void NotesTestRegisterDatabase(const char* path, NotesTestDatabaseFactory factory) {
    if (path == nullptr)
        return;
    TestRegistry& reg = testRegistry();
    std::lock_guard lock(reg.mutex);
    if (factory)
        reg.factories.insert_or_assign(path, std::move(factory));
    else
        reg.factories.erase(path);
}

void NotesTestUnregisterDatabases() {
    TestRegistry& reg = testRegistry();
    std::lock_guard lock(reg.mutex);
    reg.factories.clear();
}

extern "C" {

STATUS NSFDbOpen(const char* PathName, DBHANDLE* rethDB) {
    return guardStatus("NSFDbOpen", [&]() -> STATUS {
        if (rethDB == nullptr)
            return ERR_MISC_INVALID_ARGS;
        *rethDB = NULLHANDLE;
        if (!runtimeStarted())
            return ERR_RUNTIME_NOT_INITIALIZED;
        if (PathName == nullptr || *PathName == '\0')
            return ERR_RUNTIME_NOT_IMPLEMENTED;  // the data directory itself cannot be listed
        STATUS status = NOERROR;
        auto engine = openEngine(PathName, status);
        if (!engine)
            return status != NOERROR ? status : toStatus(engine.error(), Operation::OpenDatabase);
        if (!*engine)
            return ERR_RUNTIME_INTERNAL;
        if ((*engine)->info().locallyEncrypted)
            return ERR_LOCALSEC_DBOPENFAILURE;
        const DBHANDLE h = handles().add(std::make_shared<DatabaseObject>(std::move(*engine), PathName));
        if (h == NULLHANDLE)
            return ERR_RUNTIME_NO_MEMORY;
        *rethDB = h;
        return NOERROR;
    });
}

STATUS NSFDbClose(DBHANDLE hDB) {
    return guardStatus("NSFDbClose", [&]() -> STATUS {
        // Notes still open keep the database object alive until they are closed.
        return handles().remove(hDB, HandleKind::Database) ? NOERROR : ERR_RUNTIME_BAD_HANDLE;
    });
}

STATUS NSFDbGetMajMinVersion(DBHANDLE hDb, BUILDVERSION* retVersion) {
    return guardStatus("NSFDbGetMajMinVersion", [&]() -> STATUS {
        if (retVersion == nullptr)
            return ERR_MISC_INVALID_ARGS;
        const auto db = handles().get<DatabaseObject>(hDb);
        if (!db)
            return ERR_RUNTIME_BAD_HANDLE;
        const std::uint16_t ods = db->withEngine([](nsf::Database& e) { return e.info().ods; });
        *retVersion = versionForOds(ods);
        return NOERROR;
    });
}

}  // extern "C"
