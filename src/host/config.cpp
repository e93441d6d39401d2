#include "config.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "text.h"

namespace nsfrex {
namespace {

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// A value may be quoted to keep leading or trailing blanks.
std::string_view unquote(std::string_view s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

std::string joinKey(std::string_view section, std::string_view key) {
    std::string joined;
    joined.reserve(section.size() + 1 + key.size());
    joined.append(section).append(1, '\n').append(key);
    return joined;
}

bool validName(std::string_view name) {
    return !name.empty() && std::ranges::none_of(name, [](char c) { return c == '\n' || c == '\0'; });
}

}  // namespace

bool Config::CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const noexcept {
    return std::ranges::lexicographical_compare(a, b, [](unsigned char x, unsigned char y) {
        return std::tolower(x) < std::tolower(y);
    });
}

Result<void> Config::parseIni(std::string_view text, std::string_view origin) {
    std::string section;
    int lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || !validName(trim(line.substr(1, line.size() - 2))))
                return failure(cat(origin, ":", lineNumber, ": bad section header: ", line));
            section = trim(line.substr(1, line.size() - 2));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos)
            return failure(cat(origin, ":", lineNumber, ": expected key = value: ", line));
        const std::string_view key = trim(line.substr(0, equals));
        if (!validName(key)) return failure(cat(origin, ":", lineNumber, ": empty key"));
        if (section.empty())
            return failure(cat(origin, ":", lineNumber, ": key ", key, " outside any [section]"));
        set(section, key, unquote(trim(line.substr(equals + 1))));
    }
    return {};
}

Result<void> Config::loadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return failure(cat("cannot read configuration file ", file.string()));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return failure(cat("cannot read configuration file ", file.string()));
    return parseIni(text.str(), file.string());
}

Result<void> Config::set(std::string_view assignment) {
    const auto equals = assignment.find('=');
    const auto dot = assignment.substr(0, equals).find('.');
    if (equals == std::string_view::npos || dot == std::string_view::npos)
        return failure(cat("-c ", assignment, ": expected section.key=value"));
    const std::string_view section = assignment.substr(0, dot);
    const std::string_view key = assignment.substr(dot + 1, equals - dot - 1);
    if (!validName(section) || !validName(key))
        return failure(cat("-c ", assignment, ": empty section or key"));
    set(section, key, assignment.substr(equals + 1));
    return {};
}

void Config::set(std::string_view section, std::string_view key, std::string_view value) {
    values_.insert_or_assign(joinKey(section, key), std::string(value));
}

std::optional<std::string_view> Config::find(std::string_view section, std::string_view key) const {
    const auto found = values_.find(joinKey(section, key));
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

}  // namespace nsfrex
