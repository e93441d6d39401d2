// The host's configuration: sections of key/value strings read from an INI file, overridden one value at
// a time from the command line (-c section.key=value). The module asks for values through fpGetOption.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "result.h"

namespace nsfrex {

class Config {
public:
    // Reads INI text: "[section]" lines, "key = value" lines, comments starting with ';' or '#'.
    // `origin` names the text in error messages ("host.ini", "-c").
    Result<void> parseIni(std::string_view text, std::string_view origin);
    Result<void> loadFile(const std::filesystem::path& file);
    // "section.key=value"; a later setting replaces an earlier one, so flags given after the file win.
    Result<void> set(std::string_view assignment);
    void set(std::string_view section, std::string_view key, std::string_view value);

    // Section and key are compared without regard to ASCII case, as INI readers usually do.
    std::optional<std::string_view> find(std::string_view section, std::string_view key) const;

private:
    struct CaseInsensitiveLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const noexcept;
    };
    std::map<std::string, std::string, CaseInsensitiveLess> values_;  // "section\nkey" -> value
};

}  // namespace nsfrex
