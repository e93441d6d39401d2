// The subfiles the module presents for an open database (slots 2 and 3), as plain values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "module.h"
#include "result.h"

namespace nsfrex {

struct SubfileEntry {
    int index = 0;
    std::int32_t type = 0;
    std::optional<std::string> name;
    int parent = -1;
    std::vector<int> children;
    std::optional<std::string> time;  // ISO 8601 UTC
};

// "Main", "Attachment", "OLE", "Folder", "Picture" or "Unknown".
std::string_view subfileTypeName(std::int32_t type) noexcept;

// A host file time as "YYYY-MM-DDTHH:MM:SSZ"; empty for a zero time or one beyond the calendar.
std::optional<std::string> isoTimeFromFileTime(const std::uint8_t (&bytes)[8]);

Result<std::vector<SubfileEntry>> listSubfiles(const ModuleSession& session);

}  // namespace nsfrex
