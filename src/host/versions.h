// `nsfrex --version`: the version of the command and of each library it loads, as the libraries
// themselves state it in their version note (written at build time, see cmake/VersionNote.cmake).
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>

namespace nsfrex {

// The text of the version note among a binary's ELF notes (owner "nsfrex", type 1), or nullopt.
std::optional<std::string> findVersionNote(std::span<const unsigned char> notes, std::size_t alignment);

// The version note of a loaded object: a handle from dlopen, or dlopen(nullptr)'s for the program.
std::optional<std::string> versionNote(void* handle);

// Prints the versions; exit status 1 when the module or the Notes runtime cannot be loaded.
int printVersions(std::FILE* out);

}  // namespace nsfrex
