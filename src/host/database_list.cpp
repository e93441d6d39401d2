#include "database_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>
#include <system_error>
#include <utility>

#include "text.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

bool isDatabaseName(const fs::path& path) {
    std::string extension = path.extension().string();
    std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".nsf" || extension == ".ntf";
}

Result<void> collectFolder(const fs::path& folder, std::vector<fs::path>& out) {
    std::vector<fs::path> found;
    std::error_code error;
    // Links to folders are not followed (no loops, nothing outside what was named); links to files are.
    fs::recursive_directory_iterator it(folder, fs::directory_options::none, error), end;
    for (; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        std::error_code statError;
        if (isDatabaseName(path) && fs::is_regular_file(path, statError)) found.push_back(path);
    }
    if (error) return failure(cat(folder.string(), ": ", error.message()));
    std::ranges::sort(found, [](const fs::path& a, const fs::path& b) { return a.native() < b.native(); });
    out.insert(out.end(), found.begin(), found.end());
    return {};
}

}  // namespace

std::optional<Shard> parseShard(std::string_view text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    Shard shard;
    const auto parse = [](std::string_view part, std::size_t& value) {
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        return !part.empty() && error == std::errc() && end == part.data() + part.size();
    };
    if (!parse(text.substr(0, slash), shard.index) || !parse(text.substr(slash + 1), shard.count)) return std::nullopt;
    if (shard.count == 0 || shard.index >= shard.count) return std::nullopt;
    return shard;
}

std::vector<fs::path> readPathList(std::istream& in, bool nulSeparated) {
    std::vector<fs::path> paths;
    std::string line;
    while (std::getline(in, line, nulSeparated ? '\0' : '\n')) {
        if (!nulSeparated && !line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) paths.emplace_back(line);
    }
    return paths;
}

Result<std::vector<fs::path>> expandDatabases(const std::vector<fs::path>& given, bool recursive) {
    std::vector<fs::path> expanded;
    for (const fs::path& path : given) {
        std::error_code error;
        if (fs::is_directory(path, error)) {
            if (!recursive) return failure(cat(path.string(), " is a folder (-r extracts every database below it)"));
            if (auto collected = collectFolder(path, expanded); !collected) return std::unexpected(collected.error());
        } else {
            expanded.push_back(path);  // a missing file is reported when its turn comes
        }
    }
    std::vector<fs::path> unique;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (fs::path& path : expanded) {
        struct stat info{};
        if (::stat(path.c_str(), &info) == 0 && !seen.insert({info.st_dev, info.st_ino}).second) continue;
        unique.push_back(std::move(path));
    }
    return unique;
}

}  // namespace nsfrex
