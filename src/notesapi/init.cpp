// Start and stop. The runtime is reference counted: each successful NotesInitExtended is matched
// by one NotesTerm, and the last NotesTerm closes every handle still open.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "api_guard.h"
#include "config.h"
#include "current_id.h"
#include "handles.h"
#include "notesapi/init.h"
#include "notesapi/status.h"

namespace notesrt {
namespace {

struct RuntimeState {
    std::mutex mutex;
    int starts = 0;
    ConfigVariables config;
};

RuntimeState& state() {
    static RuntimeState instance;
    return instance;
}

// The configuration file named by "=PATH" after argv[0], else by NOTES_INI; none is fine.
std::optional<std::string> configPath(int argc, char** argv) {
    for (int i = 1; argv != nullptr && i < argc; ++i) {
        if (argv[i] != nullptr && argv[i][0] == '=' && argv[i][1] != '\0')
            return std::string(argv[i] + 1);
    }
    if (const char* env = std::getenv("NOTES_INI"); env != nullptr && *env != '\0')
        return std::string(env);
    return std::nullopt;
}

STATUS start(int argc, char** argv) {
    RuntimeState& s = state();
    std::lock_guard lock(s.mutex);
    if (s.starts > 0) {
        ++s.starts;  // the first start's configuration stays in force
        return NOERROR;
    }
    ConfigVariables config;
    if (const auto path = configPath(argc, argv)) {
        auto loaded = loadConfig(*path);
        if (!loaded)
            return ERR_NO_NOTESINI;
        config = std::move(*loaded);
    }
    s.config = std::move(config);
    s.starts = 1;
    return NOERROR;
}

}  // namespace

bool runtimeStarted() noexcept {
    RuntimeState& s = state();
    std::lock_guard lock(s.mutex);
    return s.starts > 0;
}

std::optional<std::string> configValue(std::string_view name) {
    RuntimeState& s = state();
    std::lock_guard lock(s.mutex);
    if (s.starts == 0)
        return std::nullopt;
    const auto it = s.config.find(name);
    if (it == s.config.end())
        return std::nullopt;
    return it->second;
}

bool setConfigValue(std::string_view name, std::string value) {
    RuntimeState& s = state();
    std::lock_guard lock(s.mutex);
    if (s.starts == 0)
        return false;
    s.config.insert_or_assign(std::string(name), std::move(value));
    return true;
}

}  // namespace notesrt

using namespace notesrt;

extern "C" {

STATUS NotesInitExtended(int argc, char** argv) {
    return guardStatus("NotesInitExtended", [&] { return start(argc, argv); });
}

STATUS NotesInit(void) {
    return guardStatus("NotesInit", [] { return start(0, nullptr); });
}

void NotesTerm(void) {
    guardVoid("NotesTerm", [] {
        RuntimeState& s = state();
        std::unique_lock lock(s.mutex);
        if (s.starts == 0 || --s.starts > 0)
            return;
        s.config.clear();
        lock.unlock();
        handles().clear();
        forgetCurrentId();
    });
}

STATUS NotesInitThread(void) {
    return guardStatus("NotesInitThread", [] { return runtimeStarted() ? NOERROR : ERR_RUNTIME_NOT_INITIALIZED; });
}

void NotesTermThread(void) {
    guardVoid("NotesTermThread", [] {});
}

BOOL OSGetEnvironmentString(const char* VariableName, char* retValueBuffer, WORD BufferLength) {
    return guardValue<BOOL>("OSGetEnvironmentString", FALSE, [&]() -> BOOL {
        if (VariableName == nullptr)
            return FALSE;
        const auto value = configValue(VariableName);
        if (retValueBuffer != nullptr) {
            // The NUL stays inside BufferLength bytes: some callers pass the whole buffer size.
            if (BufferLength == 0)
                return value ? TRUE : FALSE;
            const std::size_t n = value ? std::min<std::size_t>(value->size(), BufferLength - 1u) : 0;
            if (n > 0)
                std::memcpy(retValueBuffer, value->data(), n);
            retValueBuffer[n] = '\0';
        }
        return value ? TRUE : FALSE;
    });
}

long OSGetEnvironmentLong(const char* VariableName) {
    return guardValue<long>("OSGetEnvironmentLong", 0, [&]() -> long {
        if (VariableName == nullptr)
            return 0;
        const auto value = configValue(VariableName);
        return value ? std::strtol(value->c_str(), nullptr, 10) : 0;
    });
}

}  // extern "C"
