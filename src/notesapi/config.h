// The runtime's configuration: a notes.ini-style file of NAME=value lines, and the start/stop
// state that goes with it.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace notesrt {

// Variable names compare without regard to ASCII case.
struct CaselessLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

using ConfigVariables = std::map<std::string, std::string, CaselessLess>;

// Parses the text of a configuration file. Lines without '=' and section headers ("[...]") are
// ignored; the first definition of a name wins; blanks around name and value are dropped.
ConfigVariables parseConfig(std::string_view text);

// Reads and parses a file; nullopt when it cannot be read.
std::optional<ConfigVariables> loadConfig(const std::filesystem::path& path);

// Start/stop state. Counted: every successful start needs one stop.
bool runtimeStarted() noexcept;
// The value of a variable while the runtime is started.
std::optional<std::string> configValue(std::string_view name);
// Sets a variable for the rest of this run (the file is not rewritten). False when not started.
bool setConfigValue(std::string_view name, std::string value);

}  // namespace notesrt
