#include "manifest.h"

#include "damage_report.h"
#include "json_text.h"
#include "text.h"

namespace nsfrex {
namespace {

std::string quotedOrNull(const std::optional<std::string>& text) { return text ? jsonQuoted(*text) : "null"; }

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

std::string manifestJson(const Manifest& manifest) {
    std::string out = cat("{\n  \"database\": ", jsonQuoted(manifest.database), ",\n  \"format\": ",
                          jsonQuoted(manifest.format), ",\n  \"root\": ", manifest.root ? "true" : "false",
                          ",\n  \"damage\": ", damageJson(manifest.damage), ",\n  \"subfiles\": [");
    for (std::size_t i = 0; i < manifest.subfiles.size(); ++i) {
        const ManifestEntry& e = manifest.subfiles[i];
        const SubfileEntry& s = e.subfile;
        out += cat(i == 0 ? "\n" : ",\n", "    {\"index\": ", s.index, ", \"type\": ", jsonQuoted(subfileTypeName(s.type)),
                   ", \"name\": ", quotedOrNull(s.name), ", \"path\": ", quotedOrNull(e.path), ", \"parent\": ", s.parent,
                   ", \"children\": ", jsonIntegers(s.children),
                   ", \"size\": ", e.size ? std::to_string(*e.size) : std::string("null"),
                   ", \"time\": ", quotedOrNull(s.time), ", \"status\": ", jsonQuoted(e.status),
                   ", \"error\": ", quotedOrNull(e.error), ", \"metadata\": ", metadataJson(e), "}");
    }
    out += manifest.subfiles.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

}  // namespace nsfrex
