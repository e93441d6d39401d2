// `nsfrex --version`: the version of the command and of each library it loads, as the libraries
// themselves state it in their version note (written at build time, see cmake/VersionNote.cmake).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace nsfrex {

// The version note of a loaded object: a handle from dlopen, or dlopen(nullptr)'s for the program.
std::optional<std::string> versionNote(void* handle);

// Prints the versions; exit status 1 when the module or the Notes runtime cannot be loaded.
int printVersions(std::FILE* out);

}  // namespace nsfrex
