// Libraries loaded on the module's behalf (fpLoadLibrary): the module names them as Windows DLLs,
// the host finds the matching shared object in the module's folder and nowhere else.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

#include "result.h"

namespace nsfrex {

// The folder holding the running executable (and with it libnsfrex.so and its siblings).
Result<std::filesystem::path> executableDirectory();

// "NAME.dll" (any case of the suffix) -> "libNAME.so". Refuses anything that could leave the library
// folder: directory separators, drive colons, a leading dot, empty names, control characters.
Result<std::string> sharedObjectName(std::string_view dllName);

class LibraryLoader {
public:
    explicit LibraryLoader(std::filesystem::path directory);
    LibraryLoader(const LibraryLoader&) = delete;
    LibraryLoader& operator=(const LibraryLoader&) = delete;
    ~LibraryLoader();

    // A library that fails to load is not tried again while this loader lives: the module asks for its
    // image library once per Notes bitmap, and a failing dlopen searches the disk each time.
    Result<void*> load(std::string_view dllName);
    // Only handles this loader gave out, and not yet freed as often as loaded, are looked up or freed;
    // others are refused.
    void* entry(void* handle, std::string_view name) const;
    bool unload(void* handle);

    std::size_t openLibraries() const noexcept { return handles_.size(); }
    const std::filesystem::path& directory() const noexcept { return directory_; }

private:
    std::filesystem::path directory_;
    std::unordered_map<void*, std::size_t> handles_;  // handle -> loads not yet freed
    std::unordered_map<std::string, std::string> failed_;  // file name -> why it did not load
    // A library stays mapped from its first load until the loader ends: the module loads and frees its
    // image library once per Notes bitmap, and each dlopen searches and checks it again.
    std::unordered_map<std::string, void*> resident_;  // file name -> handle
};

}  // namespace nsfrex
