// Names that come from inside a database, made safe as single names in an output folder.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace nsfrex {

// The longest name handed out, in bytes: leaves room for a " (NNNN)" clash suffix under the 255 bytes
// that Linux file systems allow.
inline constexpr std::size_t kMaxSafeNameBytes = 200;

// `raw` as one file name: separators ('/', '\'), control characters and bytes that are not UTF-8 become
// '_'; names that Windows reserves for devices (CON, NUL, COM1, ...) get a leading '_' so the tree can be
// copied there; names over kMaxSafeNameBytes are cut on a character boundary, keeping a short extension.
// An empty result, "." or ".." is replaced by `fallback` (which must be safe itself).
std::string safeFileName(std::string_view raw, std::string_view fallback);

// A name split before its last dot; a leading dot (".profile") and a missing dot give no extension.
struct NameParts {
    std::string_view stem;
    std::string_view extension;  // with its dot
};
NameParts splitExtension(std::string_view name) noexcept;

// Hands out names unique within one folder: a name already given gets " (2)", " (3)", ... before its
// extension. Names are compared without ASCII case, so the tree stays whole on case-insensitive systems.
class FolderNames {
public:
    // `safeName` comes from safeFileName; the result is as safe and no longer than 255 bytes.
    std::string claim(std::string_view safeName);
    bool taken(std::string_view name) const;

private:
    std::set<std::string> folded_;
};

}  // namespace nsfrex
