#include "versions.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>

#include <dlfcn.h>
#include <link.h>
#include <unicode/uversion.h>

#include "library_loader.h"
#include "module.h"
#include "text.h"

namespace nsfrex {
namespace {

constexpr std::string_view kNoteOwner{"nsfrex\0", 7};
constexpr std::uint32_t kNoteType = 1;
// The library the module loads for Notes bitmaps (tmpixcnv.dll in its own terms), when installed.
constexpr std::string_view kImageLibraryDll = "tmpixcnv.dll";

struct CloseLibrary {
    void operator()(void* handle) const noexcept { dlclose(handle); }
};
using Library = std::unique_ptr<void, CloseLibrary>;

struct NoteSearch {
    ElfW(Addr) base = 0;
    std::optional<std::string> text;
};

std::uint32_t word(std::span<const unsigned char> bytes, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

std::size_t padded(std::size_t size, std::size_t alignment) { return (size + alignment - 1) / alignment * alignment; }

// The text of the version note among a binary's ELF notes (owner "nsfrex", type 1), or nullopt.
std::optional<std::string> findVersionNote(std::span<const unsigned char> notes, std::size_t alignment) {
    constexpr std::size_t header = 12;
    std::size_t at = 0;
    while (notes.size() - at >= header) {
        const std::size_t nameSize = word(notes, at);
        const std::size_t descriptionSize = word(notes, at + 4);
        const std::uint32_t type = word(notes, at + 8);
        at += header;
        const std::size_t nameSpace = padded(nameSize, alignment);
        if (nameSpace > notes.size() - at) return std::nullopt;
        const std::string_view name(reinterpret_cast<const char*>(notes.data() + at), nameSize);
        at += nameSpace;
        const std::size_t descriptionSpace = padded(descriptionSize, alignment);
        if (descriptionSpace > notes.size() - at) return std::nullopt;
        if (name == kNoteOwner && type == kNoteType)
            return std::string(reinterpret_cast<const char*>(notes.data() + at), descriptionSize);
        at += descriptionSpace;
    }
    return std::nullopt;
}

int searchObject(dl_phdr_info* info, std::size_t, void* data) {
    auto& search = *static_cast<NoteSearch*>(data);
    if (info->dlpi_addr != search.base) return 0;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum && !search.text; ++i) {
        const auto& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_NOTE) continue;
        const auto* bytes = reinterpret_cast<const unsigned char*>(info->dlpi_addr + segment.p_vaddr);
        search.text = findVersionNote({bytes, segment.p_memsz}, segment.p_align == 8 ? 8 : 4);
    }
    return 1;
}

// "VERSION, PATH" of a loaded library (its real path: the loader names libraries found through the
// run path as bin/../lib/...), or what is known when it has no version note.
std::string describe(void* handle) {
    const link_map* map = nullptr;
    std::filesystem::path path;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr) path = map->l_name;
    std::error_code error;
    if (auto real = std::filesystem::weakly_canonical(path, error); !error) path = std::move(real);
    return cat(versionNote(handle).value_or("no version note"), ", ", path.string());
}

std::string dlopenError() {
    const char* reason = dlerror();
    return reason != nullptr ? reason : "unknown error";
}

}  // namespace

std::optional<std::string> versionNote(void* handle) {
    const link_map* map = nullptr;
    if (handle == nullptr || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return std::nullopt;
    NoteSearch search{map->l_addr, std::nullopt};
    dl_iterate_phdr(searchObject, &search);
    return search.text;
}

int printVersions(std::FILE* out) {
    int status = 0;
    std::string text;
    {
        const Library program(dlopen(nullptr, RTLD_NOW));
        text = cat("nsfrex ", versionNote(program.get()).value_or(NSFREX_VERSION), "\n");
    }
    const auto directory = moduleDirectory();
    if (!directory) {
        text += cat("module: ", directory.error(), "\n");
        status = 1;
    } else {
        const Library module(dlopen((*directory / kModuleFileName).c_str(), RTLD_NOW | RTLD_LOCAL));
        text += cat("module: ", module ? describe(module.get()) : dlopenError(), "\n");
        // The runtime the module was linked against, found as the loader found it (for instance a
        // vendor's runtime first on LD_LIBRARY_PATH).
        const Library runtime(module ? dlopen("libnotes.so", RTLD_NOW | RTLD_NOLOAD) : nullptr);
        text += cat("Notes runtime: ", runtime ? describe(runtime.get()) : "not loaded", "\n");
        if (!module || !runtime) status = 1;

        const auto imageFile = *directory / *sharedObjectName(kImageLibraryDll);
        std::error_code error;
        if (!std::filesystem::exists(imageFile, error)) {
            text += cat("image library: not installed (", imageFile.string(), ")\n");
        } else {
            const Library images(dlopen(imageFile.c_str(), RTLD_NOW | RTLD_LOCAL));
            text += cat("image library: ", images ? describe(images.get()) : dlopenError(), "\n");
        }
    }
    UVersionInfo icu{};
    u_getVersion(icu);
    char icuText[U_MAX_VERSION_STRING_LENGTH] = {};
    u_versionToString(icu, icuText);
    text += cat("ICU: ", std::string_view(icuText), "\n");
    std::fwrite(text.data(), 1, text.size(), out);
    return status;
}

}  // namespace nsfrex
