#include "zapi.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "filetime.h"
#include "memory_stream.h"
#include "text.h"
#include "text_convert.h"

namespace nsfrex {
namespace {

// Copies as much of `text` as fits, always NUL-terminated; nothing when there is no room at all.
void copyTruncated(std::string_view text, char* out, std::uint32_t cbOut) {
    if (out == nullptr || cbOut == 0) return;
    const std::size_t n = std::min<std::size_t>(text.size(), cbOut - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

std::int32_t zLoadLibrary(ZAPI* zapi, const char* pszFileName, void** phLib) {
    if (zapi == nullptr || pszFileName == nullptr || phLib == nullptr) return 0;
    *phLib = nullptr;
    auto handle = HostServices::of(zapi).libraries().load(pszFileName);
    if (!handle) return 0;
    *phLib = *handle;
    return 1;
}

void* zGetEntry(ZAPI* zapi, void* hLib, const char* pszEntry) {
    if (zapi == nullptr || pszEntry == nullptr) return nullptr;
    return HostServices::of(zapi).libraries().entry(hLib, pszEntry);
}

std::int32_t zFreeLibrary(ZAPI* zapi, void* hLib) {
    if (zapi == nullptr) return 0;
    return HostServices::of(zapi).libraries().unload(hLib) ? 1 : 0;
}

std::int32_t zGetOption(ZAPI* zapi, const char* pszSection, const char* pszKey, const char* pszDefault,
                        char* pszOut, std::uint32_t cbOut, std::int32_t) {
    if (zapi == nullptr || pszSection == nullptr || pszKey == nullptr) {
        copyTruncated(pszDefault != nullptr ? pszDefault : "", pszOut, cbOut);
        return 0;
    }
    return HostServices::of(zapi).getOption(pszSection, pszKey, pszDefault, pszOut, cbOut);
}

MemoryStream* zOpenMemoryStream(ZAPI* zapi, std::int32_t, const char*) {
    if (zapi == nullptr) return nullptr;
    return openMemoryStream(HostServices::of(zapi).allocator(), zapi);
}

char* zStrdup(ZAPI* zapi, const char* psz) {
    if (zapi == nullptr || psz == nullptr) return nullptr;
    return HostServices::of(zapi).duplicate(psz);
}

std::int32_t zTextConvert(ZAPI* zapi, std::int32_t nConversion, TextPair* pIn, TextPair* pOut, std::int32_t) {
    if (zapi == nullptr) return 0;
    return HostServices::of(zapi).convertText(nConversion, pIn, pOut);
}

// The host's character sets have no two-byte characters in the sense of this test: UTF-8 is handled
// by the module itself.
std::int32_t zIsLeadByte(ZAPI*, std::uint8_t, std::int32_t) { return 0; }

std::int32_t zTextMode(ZAPI* zapi, std::int32_t nMode) {
    if (zapi == nullptr) return 0;
    return HostServices::of(zapi).setTextMode(nMode);
}

std::int32_t zTimeToFileTime(ZAPI*, std::int64_t nSeconds, std::uint8_t* pFileTime) {
    if (pFileTime == nullptr) return 0;
    // Out of range gives the zero file time ("no time"): the module copies the bytes whatever we return.
    const auto fileTime = fileTimeFromUnixSeconds(nSeconds);
    const auto bytes = fileTimeBytes(fileTime.value_or(0));
    std::memcpy(pFileTime, bytes.data(), bytes.size());
    return fileTime ? 1 : 0;
}

// The host owns the process and with it the heap's policy for large blocks. Every rich-text value and
// every Notes bitmap goes through blocks of a few megabytes (the result, the image's stream, its rows,
// the base64 text) that are freed when the value is done. By default the heap maps such blocks afresh
// from the kernel and returns them on free, so every value pays a page fault and a zeroed page per 4 KB
// it writes. Blocks below 4 MB come from the heap instead, and the heap keeps up to 8 MB of free space at
// its top: a few megabytes of resident memory for a third less time converting rich text with bitmaps.
void keepLargeBlocksInHeap() {
#if defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 4 << 20);
        mallopt(M_TRIM_THRESHOLD, 8 << 20);
    });
#endif
}

}  // namespace

HostServices::HostServices(Key, HostSettings settings)
    : libraries_(std::move(settings.libraryDirectory)), config_(std::move(settings.config)) {
    zapi_.cbSize = sizeof(ZAPI);
    zapi_.dwVersion = 1;
    zapi_.pHost = this;
    zapi_.fpLoadLibrary = zLoadLibrary;
    zapi_.fpGetEntry = zGetEntry;
    zapi_.fpFreeLibrary = zFreeLibrary;
    zapi_.fpGetOption = zGetOption;
    zapi_.fpOpenMemoryStream = zOpenMemoryStream;
    allocator_.bind(zapi_.memoryService);
    zapi_.fpStrdup = zStrdup;
    zapi_.fpTextConvert = zTextConvert;
    zapi_.fpIsLeadByte = zIsLeadByte;
    zapi_.fpTextMode = zTextMode;
    zapi_.fpTimeToFileTime = zTimeToFileTime;
}

HostServices::~HostServices() = default;

Result<std::unique_ptr<HostServices>> HostServices::create(HostSettings settings) {
    std::string tempPath = settings.tempPath.string();
    if (!tempPath.empty() && tempPath.back() != '/') tempPath.push_back('/');
    if (tempPath.size() >= ZAPI_TEMP_PATH_MAX)
        return failure(cat("temporary folder path longer than ", ZAPI_TEMP_PATH_MAX - 1, " bytes: ", tempPath));
    if (tempPath.find('\0') != std::string::npos) return failure("temporary folder path contains a NUL byte");

    keepLargeBlocksInHeap();
    auto host = std::make_unique<HostServices>(Key{}, std::move(settings));
    std::memcpy(host->zapi_.szTempPath, tempPath.c_str(), tempPath.size() + 1);
    return host;
}

HostServices& HostServices::of(ZAPI* zapi) noexcept { return *static_cast<HostServices*>(zapi->pHost); }

std::int32_t HostServices::getOption(std::string_view section, std::string_view key, const char* pszDefault,
                                     char* pszOut, std::uint32_t cbOut) const {
    const auto value = config_.find(section, key);
    if (!value) {
        copyTruncated(pszDefault != nullptr ? pszDefault : "", pszOut, cbOut);
        return 0;
    }
    // A value that cannot be delivered at all is no value for the caller.
    if (pszOut == nullptr || cbOut == 0) return 0;
    copyTruncated(*value, pszOut, cbOut);
    return 1;
}

std::int32_t HostServices::convertText(std::int32_t conversion, TextPair* in, TextPair* out) {
    if (out == nullptr) return 0;
    const std::int32_t capacity = out->cb;
    out->cb = 0;
    if (in == nullptr || out->pb == nullptr || capacity < 0 || in->cb < 0 || (in->pb == nullptr && in->cb > 0))
        return 0;
    if (conversion != kConvertLmbcsToUtf8 || zapi_.nCharsetIn != kCharsetUtf8 || zapi_.nCharsetOut != kCharsetLmbcs)
        return 0;
    const auto converted = convertLmbcsToUtf8({in->pb, static_cast<std::size_t>(in->cb)},
                                              {reinterpret_cast<char*>(out->pb), static_cast<std::size_t>(capacity)});
    out->cb = static_cast<std::int32_t>(converted.written);
    return converted.complete ? 1 : 0;
}

std::int32_t HostServices::setTextMode(std::int32_t mode) noexcept {
    // No conversion depends on the mode yet; it is kept so that callers can read back what they set.
    return std::exchange(textMode_, mode);
}

char* HostServices::duplicate(const char* psz) {
    const std::size_t cb = std::strlen(psz) + 1;
    auto* copy = static_cast<char*>(allocator_.allocate(cb));
    if (copy != nullptr) std::memcpy(copy, psz, cb);
    return copy;
}

}  // namespace nsfrex
