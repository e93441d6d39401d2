#include "subfiles.h"

#include <cstdio>
#include <ctime>

#include "filetime.h"
#include "text.h"
#include "zapi.h"

namespace nsfrex {
namespace {

// The module's records belong to the host once returned: freed here through the host allocator.
class SubfileInfoRecord {
public:
    explicit SubfileInfoRecord(MemoryService& memory) : memory_(memory) {}
    SubfileInfoRecord(const SubfileInfoRecord&) = delete;
    SubfileInfoRecord& operator=(const SubfileInfoRecord&) = delete;
    ~SubfileInfoRecord() {
        memory_.fpFree(&memory_, info.subFileName);
        memory_.fpFree(&memory_, info.childArray);
    }
    SubFileInfo info{};

private:
    MemoryService& memory_;
};

}  // namespace

std::string_view subfileTypeName(std::int32_t type) noexcept {
    switch (type) {
    case TMSubFileType_Main: return "Main";
    case TMSubFileType_Attachment: return "Attachment";
    case TMSubFileType_OLE: return "OLE";
    case TMSubFileType_Folder: return "Folder";
    case TMSubFileType_Picture: return "Picture";
    default: return "Unknown";
    }
}

std::optional<std::string> isoTimeFromFileTime(const std::uint8_t (&bytes)[8]) {
    std::uint64_t ticks = 0;
    for (int i = 7; i >= 0; --i)
        ticks = (ticks << 8) | bytes[i];
    if (ticks == 0) return std::nullopt;
    const std::int64_t seconds = static_cast<std::int64_t>(ticks / kFileTimeTicksPerSecond) - kSecondsFrom1601To1970;
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr || tm.tm_year + 1900 > 9999) return std::nullopt;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return std::string(buf);
}

Result<std::vector<SubfileEntry>> listSubfiles(const ModuleSession& session) {
    auto container = session.containerInfo();
    if (!container) return std::unexpected(std::move(container.error()));
    MemoryService& memory = session.host().zapi()->memoryService;
    HostAllocatorRef allocator{session.host().zapi(), &memory};

    std::vector<SubfileEntry> entries;
    for (std::int32_t index = 0; index < container->numSubFiles; ++index) {
        SubfileInfoRecord record(memory);
        const std::int32_t status = session.reader().fpGetSubFileInfo(session.context(), index, &record.info, &allocator);
        if (status != 0)
            return failure(cat("subfile ", index, ": module status ", status, " (", describeModuleStatus(status), ")"));
        const SubFileInfo& info = record.info;
        SubfileEntry entry;
        entry.index = index;
        entry.type = info.subFileType;
        if (info.subFileName != nullptr) entry.name = info.subFileName;
        entry.parent = info.parentIndex;
        if (info.childArray != nullptr && info.childCount > 0)
            entry.children.assign(info.childArray, info.childArray + info.childCount);
        entry.time = isoTimeFromFileTime(info.fileTime);
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace nsfrex
