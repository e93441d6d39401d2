#include "manifest.h"

#include <charconv>

#include "damage_report.h"
#include "json_text.h"
#include "text.h"

namespace nsfrex {
namespace {

std::string quotedOrNull(const std::optional<std::string>& text) { return text ? jsonQuoted(*text) : "null"; }
std::string boolOrNull(const std::optional<bool>& flag) { return flag ? (*flag ? "true" : "false") : "null"; }
std::string numberOrNull(const std::optional<std::uint64_t>& n) { return n ? std::to_string(*n) : "null"; }

// The value of a top-level line `  "key": value,` as written by manifestJson.
std::optional<std::string_view> headerValue(std::string_view json, std::string_view key) {
    const std::string prefix = cat("\n  \"", key, "\": ");
    const std::size_t at = json.find(prefix);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view value = json.substr(at + prefix.size());
    value = value.substr(0, value.find('\n'));
    if (value.ends_with(',')) value.remove_suffix(1);
    return value;
}

// A JSON string this host wrote without escapes (digits, letters and punctuation).
std::optional<std::string> plainString(std::optional<std::string_view> value) {
    if (!value || value->size() < 2 || value->front() != '"' || value->back() != '"') return std::nullopt;
    const std::string_view inner = value->substr(1, value->size() - 2);
    if (inner.find_first_of("\\\"") != std::string_view::npos) return std::nullopt;
    return std::string(inner);
}

std::string metadataJson(const ManifestEntry& entry) {
    if (!entry.metadata) return "null";
    std::string out = "{";
    for (std::size_t i = 0; i < entry.metadata->size(); ++i) {
        const auto& [name, value] = (*entry.metadata)[i];
        out += cat(i == 0 ? "" : ", ", jsonQuoted(name), ": ", quotedOrNull(value));
    }
    return out + "}";
}

}  // namespace

std::string manifestHeadJson(const Manifest& manifest) {
    return cat("{\n  \"database\": ", jsonQuoted(manifest.database), ",\n  \"path\": ", jsonQuoted(manifest.path),
               ",\n  \"size\": ", std::to_string(manifest.stamp.size), ",\n  \"modified\": ",
               jsonQuoted(manifest.stamp.modified), ",\n  \"format\": ", jsonQuoted(manifest.format),
               ",\n  \"root\": ", manifest.root ? "true" : "false", ",\n  \"complete\": true",
               ",\n  \"documents\": ", numberOrNull(manifest.documents),
               ",\n  \"notPresented\": ", numberOrNull(manifest.notPresented),
               ",\n  \"encryptedNotDecrypted\": ", std::to_string(manifest.encryptedNotDecrypted),
               ",\n  \"damage\": ", damageJson(manifest.damage), ",\n  \"subfiles\": [");
}

std::string manifestEntryJson(const ManifestEntry& e, bool first) {
    const SubfileEntry& s = e.subfile;
    return cat(first ? "\n" : ",\n", "    {\"index\": ", s.index, ", \"type\": ", jsonQuoted(subfileTypeName(s.type)),
               ", \"name\": ", quotedOrNull(s.name), ", \"path\": ", quotedOrNull(e.path), ", \"parent\": ", s.parent,
               ", \"children\": ", jsonIntegers(s.children),
               ", \"size\": ", e.size ? std::to_string(*e.size) : std::string("null"),
               ", \"time\": ", quotedOrNull(s.time), ", \"status\": ", jsonQuoted(e.status),
               ", \"error\": ", quotedOrNull(e.error), ", \"encrypted\": ", boolOrNull(e.encrypted),
               ", \"decrypted\": ", boolOrNull(e.decrypted), ", \"metadata\": ", metadataJson(e), "}");
}

std::string_view manifestTailJson(bool noSubfiles) { return noSubfiles ? "]\n}\n" : "\n  ]\n}\n"; }

std::string manifestJson(const Manifest& manifest) {
    std::string out = manifestHeadJson(manifest);
    for (std::size_t i = 0; i < manifest.subfiles.size(); ++i) out += manifestEntryJson(manifest.subfiles[i], i == 0);
    out += manifestTailJson(manifest.subfiles.empty());
    return out;
}

std::optional<ManifestHeader> readManifestHeader(std::string_view json) {
    if (headerValue(json, "complete") != "true") return std::nullopt;
    ManifestHeader header;
    const auto size = headerValue(json, "size");
    if (!size) return std::nullopt;
    const auto [end, error] = std::from_chars(size->data(), size->data() + size->size(), header.stamp.size);
    if (error != std::errc() || end != size->data() + size->size()) return std::nullopt;
    auto modified = plainString(headerValue(json, "modified"));
    auto format = plainString(headerValue(json, "format"));
    const auto root = headerValue(json, "root");
    if (!modified || !format || !root || (*root != "true" && *root != "false")) return std::nullopt;
    header.stamp.modified = std::move(*modified);
    header.format = std::move(*format);
    header.root = *root == "true";
    return header;
}

}  // namespace nsfrex
