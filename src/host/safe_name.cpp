#include "safe_name.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "text.h"

namespace nsfrex {
namespace {

constexpr std::size_t kMaxExtensionBytes = 16;  // a longer "extension" is cut like the rest of the name

// C1 control characters (U+0080 to U+009F) are two bytes, C2 80 to C2 9F.
bool isC1Control(std::string_view text, std::size_t i) noexcept {
    return static_cast<unsigned char>(text[i]) == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool isWindowsDeviceName(std::string_view name) {
    // The device names are reserved whatever extension follows them ("nul.txt").
    const std::string base = lowerAscii(name.substr(0, name.find('.')));
    constexpr std::array<std::string_view, 4> kPlain{"con", "prn", "aux", "nul"};
    if (std::ranges::find(kPlain, base) != kPlain.end()) return true;
    return base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) && base[3] >= '1' && base[3] <= '9';
}

// The longest prefix of `text` of at most `limit` bytes that ends on a character boundary.
std::string_view cutAtCharacter(std::string_view text, std::size_t limit) noexcept {
    if (text.size() <= limit) return text;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

std::string cutToLength(const std::string& name, std::size_t limit) {
    if (name.size() <= limit) return name;
    const NameParts parts = splitExtension(name);
    if (!parts.extension.empty() && parts.extension.size() <= kMaxExtensionBytes)
        return cat(cutAtCharacter(parts.stem, limit - parts.extension.size()), parts.extension);
    return std::string(cutAtCharacter(name, limit));
}

}  // namespace

NameParts splitExtension(std::string_view name) noexcept {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

std::string safeFileName(std::string_view raw, std::string_view fallback) {
    std::string name;
    for (std::size_t i = 0; i < raw.size();) {
        const std::size_t length = utf8SequenceLength(raw, i);
        const auto c = static_cast<unsigned char>(raw[i]);
        if (length == 0 || c < 0x20 || c == 0x7F || c == '/' || c == '\\' || (length == 2 && isC1Control(raw, i))) {
            name.push_back('_');
            i += std::max<std::size_t>(length, 1);
            continue;
        }
        name.append(raw.substr(i, length));
        i += length;
    }
    if (isWindowsDeviceName(name)) name.insert(0, 1, '_');
    name = cutToLength(name, kMaxSafeNameBytes);
    if (name.empty() || name == "." || name == "..") return std::string(fallback);
    return name;
}

bool FolderNames::taken(std::string_view name) const { return folded_.contains(lowerAscii(name)); }

std::string FolderNames::claim(std::string_view safeName) {
    std::string name(safeName);
    const NameParts parts = splitExtension(safeName);
    for (int n = 2; taken(name); ++n) {
        const std::string suffix = cat(" (", n, ")");
        // The suffix always fits: safe names leave room for it, and a cut stem stays a whole character.
        name = cat(cutAtCharacter(parts.stem, kMaxSafeNameBytes - parts.extension.size()), suffix, parts.extension);
    }
    folded_.insert(lowerAscii(name));
    return name;
}

}  // namespace nsfrex
