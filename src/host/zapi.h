// The host's service record handed to the module at open: configuration, memory, strings, temporary path,
// file times, text conversion, libraries and memory streams. One HostServices object owns one ZAPI and
// everything its entries use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include <nsfrex/host.h>

#include "config.h"
#include "library_loader.h"
#include "memory_service.h"
#include "result.h"

namespace nsfrex {

// Conversion numbers and character sets of fpTextConvert. The host numbers character sets itself: 53 is
// UTF-8 (the set every name from the module is in) and 28 is Notes LMBCS. The fields are named from
// the module's side: nCharsetOut is what the module hands out (28), nCharsetIn what it takes back (53).
// Conversion 50 is the one conversion the host offers, LMBCS to UTF-8, and requires exactly that pair.
inline constexpr std::int32_t kConvertLmbcsToUtf8 = 50;
inline constexpr std::int32_t kCharsetUtf8 = TM_CHARSET_UTF8;
inline constexpr std::int32_t kCharsetLmbcs = 28;

struct HostSettings {
    Config config;
    // Where the module makes its temporary folder; empty leaves the choice to it. A trailing '/' is
    // added, because the module appends its folder name directly.
    std::filesystem::path tempPath;
    // Where fpLoadLibrary looks; normally the executable's folder.
    std::filesystem::path libraryDirectory;
};

class HostServices {
public:
    // The ZAPI points back at this object, so it lives at a fixed address: hence the factory.
    static Result<std::unique_ptr<HostServices>> create(HostSettings settings);

    HostServices(const HostServices&) = delete;
    HostServices& operator=(const HostServices&) = delete;
    ~HostServices();

    ZAPI* zapi() noexcept { return &zapi_; }
    HostAllocator& allocator() noexcept { return allocator_; }
    LibraryLoader& libraries() noexcept { return libraries_; }
    const Config& config() const noexcept { return config_; }
    std::int32_t textMode() const noexcept { return textMode_; }

    static HostServices& of(ZAPI* zapi) noexcept;

    // The ZAPI entries, reachable for tests through zapi().
    std::int32_t getOption(std::string_view section, std::string_view key, const char* pszDefault, char* pszOut,
                           std::uint32_t cbOut) const;
    std::int32_t convertText(std::int32_t conversion, TextPair* in, TextPair* out);
    std::int32_t setTextMode(std::int32_t mode) noexcept;
    char* duplicate(const char* psz);

    class Key {
        friend class HostServices;
        Key() = default;
    };
    HostServices(Key, HostSettings settings);

private:
    ZAPI zapi_{};
    HostAllocator allocator_;
    LibraryLoader libraries_;
    Config config_;
    std::int32_t textMode_ = 0;
};

}  // namespace nsfrex
