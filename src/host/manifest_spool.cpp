#include "manifest_spool.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "extract_tree.h"
#include "text.h"

namespace nsfrex {
namespace {

constexpr std::size_t kFlushBytes = 64u << 10;

}  // namespace

Result<ManifestSpool> ManifestSpool::create(OutputFolder& folder) {
    auto fd = folder.createScratchFile();
    if (!fd) return std::unexpected(std::move(fd.error()));
    return ManifestSpool(std::move(*fd));
}

Result<void> ManifestSpool::add(const ManifestEntry& entry) {
    pending_ += manifestEntryJson(entry, empty_);
    empty_ = false;
    return pending_.size() >= kFlushBytes ? flush() : Result<void>{};
}

Result<void> ManifestSpool::flush() {
    auto written = writeAll(fd_.get(), pending_);
    pending_.clear();
    return written;
}

Result<void> ManifestSpool::publish(OutputFolder& folder, const Manifest& head) {
    if (auto flushed = flush(); !flushed) return failure(cat("index.json: ", flushed.error()));
    return folder.writeFileAtomically(kManifestName, kManifestTemporaryName, [&](int out) -> Result<void> {
        if (auto written = writeAll(out, manifestHeadJson(head)); !written) return written;
        std::string chunk(kFlushBytes, '\0');
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(fd_.get(), chunk.data(), chunk.size(), at);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return failure(std::generic_category().message(errno));
            if (n == 0) break;
            if (auto written = writeAll(out, std::string_view(chunk).substr(0, static_cast<std::size_t>(n))); !written)
                return written;
            at += n;
        }
        return writeAll(out, manifestTailJson(empty_));
    });
}

}  // namespace nsfrex
