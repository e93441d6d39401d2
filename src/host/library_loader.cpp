#include "library_loader.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include <dlfcn.h>

#include "text.h"

namespace nsfrex {

Result<std::filesystem::path> executableDirectory() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return failure(cat("cannot find the running executable: ", error.message()));
    return self.parent_path();
}

Result<std::string> sharedObjectName(std::string_view dllName) {
    std::string_view stem = dllName;
    if (stem.size() > 4) {
        const std::string_view suffix = stem.substr(stem.size() - 4);
        if (std::ranges::equal(suffix, std::string_view(".dll"),
                               [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; }))
            stem.remove_suffix(4);
    }
    const bool safe = !stem.empty() && stem.front() != '.' && std::ranges::all_of(stem, [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return std::isalnum(u) || c == '_' || c == '-' || c == '.';
    });
    if (!safe) return failure(cat("refusing to load library \"", dllName, "\""));
    return cat("lib", stem, ".so");
}

LibraryLoader::LibraryLoader(std::filesystem::path directory) : directory_(std::move(directory)) {}

LibraryLoader::~LibraryLoader() {
    for (const auto& [fileName, handle] : resident_) dlclose(handle);
}

Result<void*> LibraryLoader::load(std::string_view dllName) {
    auto fileName = sharedObjectName(dllName);
    if (!fileName) return std::unexpected(std::move(fileName.error()));
    if (const auto known = failed_.find(*fileName); known != failed_.end()) return failure(known->second);
    if (const auto loaded = resident_.find(*fileName); loaded != resident_.end()) {
        ++handles_[loaded->second];
        return loaded->second;
    }
    const auto path = directory_ / *fileName;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        std::string message = cat("cannot load ", path.string(), ": ", reason != nullptr ? reason : "unknown error");
        failed_.emplace(std::move(*fileName), message);
        return failure(std::move(message));
    }
    // A second load of the same library gives the same handle; each load needs its own free.
    resident_.emplace(std::move(*fileName), handle);
    ++handles_[handle];
    return handle;
}

void* LibraryLoader::entry(void* handle, std::string_view name) const {
    if (!handles_.contains(handle)) return nullptr;
    return dlsym(handle, std::string(name).c_str());
}

bool LibraryLoader::unload(void* handle) {
    const auto found = handles_.find(handle);
    if (found == handles_.end()) return false;
    if (--found->second == 0) handles_.erase(found);
    return true;
}

}  // namespace nsfrex
