// nsfrex ls FILE: every subfile the module finds, with its type, name, parent, children and time, as
// text lines or one JSON array.
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "filetime.h"
#include "json_text.h"
#include "module.h"
#include "open_database.h"
#include "options.h"
#include "text.h"

namespace nsfrex {
namespace {

struct SubfileEntry {
    int index = 0;
    std::int32_t type = 0;
    std::optional<std::string> name;
    int parent = -1;
    std::vector<int> children;
    std::optional<std::string> time;  // ISO 8601 UTC
};

std::string_view typeName(std::int32_t type) {
    switch (type) {
    case TMSubFileType_Main: return "Main";
    case TMSubFileType_Attachment: return "Attachment";
    case TMSubFileType_OLE: return "OLE";
    case TMSubFileType_Folder: return "Folder";
    case TMSubFileType_Picture: return "Picture";
    default: return "Unknown";
    }
}

// A host file time as "YYYY-MM-DDTHH:MM:SSZ"; empty for a zero time.
std::optional<std::string> isoTime(const std::uint8_t (&bytes)[8]) {
    std::uint64_t ticks = 0;
    for (int i = 7; i >= 0; --i)
        ticks = (ticks << 8) | bytes[i];
    if (ticks == 0) return std::nullopt;
    const std::int64_t seconds = static_cast<std::int64_t>(ticks / kFileTimeTicksPerSecond) - kSecondsFrom1601To1970;
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) return std::nullopt;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return std::string(buf);
}

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
        if (info.childArray != nullptr)
            entry.children.assign(info.childArray, info.childArray + info.childCount);
        entry.time = isoTime(info.fileTime);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string childrenJson(const std::vector<int>& children) {
    std::string out = "[";
    for (std::size_t i = 0; i < children.size(); ++i)
        out += cat(i == 0 ? "" : ", ", children[i]);
    return out + "]";
}

void printText(const std::vector<SubfileEntry>& entries) {
    for (const SubfileEntry& e : entries) {
        std::string children;
        for (std::size_t i = 0; i < e.children.size(); ++i)
            children += cat(i == 0 ? "" : ",", e.children[i]);
        const std::string line =
            cat(e.index, "\t", typeName(e.type), "\t", e.name.value_or("-"), "\tparent=", e.parent, "\tchildren=[",
                children, "]\t", e.time.value_or("-"), "\n");
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
}

void printJson(const std::vector<SubfileEntry>& entries) {
    std::string out = "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SubfileEntry& e = entries[i];
        out += cat(i == 0 ? "\n" : ",\n", "  {\"index\": ", e.index, ", \"type\": ", jsonQuoted(typeName(e.type)),
                   ", \"name\": ", e.name ? jsonQuoted(*e.name) : std::string("null"), ", \"parent\": ", e.parent,
                   ", \"children\": ", childrenJson(e.children),
                   ", \"time\": ", e.time ? jsonQuoted(*e.time) : std::string("null"), "}");
    }
    out += entries.empty() ? "]\n" : "\n]\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

int usage(std::string_view message) {
    std::fprintf(stderr, "nsfrex ls: %.*s\nusage: nsfrex ls [OPTIONS] FILE [--json]\n", static_cast<int>(message.size()),
                 message.data());
    return 2;
}

}  // namespace

int runLs(Args args) {
    CommonOptions options;
    bool json = false;
    std::optional<std::string> database;
    ArgCursor cursor(args);
    while (!cursor.atEnd()) {
        auto common = takeCommonOption(cursor, options);
        if (!common) return usage(common.error());
        if (*common) continue;
        if (cursor.takeFlag("--json")) {
            json = true;
            continue;
        }
        const std::string_view arg = cursor.next();
        if (arg.size() > 1 && arg[0] == '-') return usage(cat("unknown option ", arg));
        if (database) return usage("expected one database file");
        database = std::string(arg);
    }
    if (!database) return usage("expected one database file");

    auto opened = openDatabase(options, *database);
    if (!opened) {
        std::fprintf(stderr, "nsfrex ls: %s\n", opened.error().c_str());
        return 1;
    }
    auto entries = listSubfiles(opened->session);
    if (!entries) {
        std::fprintf(stderr, "nsfrex ls: %s: %s\n", opened->session.databasePath().c_str(), entries.error().c_str());
        return 1;
    }
    if (json)
        printJson(*entries);
    else
        printText(*entries);
    return 0;
}

}  // namespace nsfrex
