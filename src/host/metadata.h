// The metadata elements the module gives for one subfile (slot 4), as plain values.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "module.h"
#include "result.h"

namespace nsfrex {

struct MetadataElement {
    std::optional<std::string> name;
    std::optional<std::string> value;  // empty when the module gave none
};

// MailFields: the module's default mail fields; AllItems: every item; Fields: the names in `fields`.
enum class MetadataRequest { MailFields, AllItems, Fields };

Result<std::vector<MetadataElement>> readMetadata(const ModuleSession& session, std::int32_t index,
                                                  MetadataRequest request, const std::vector<std::string>& fields = {});

// The note ID of a note subfile, from the module's "$$$TM_NoteID" metadata (eight hexadecimal digits).
Result<std::uint32_t> noteId(const ModuleSession& session, std::int32_t index);

// The default mail fields of a note, the way `nsfrex meta` reads them; a repeated name keeps its first value.
Result<std::vector<std::pair<std::string, std::optional<std::string>>>> mailFields(const ModuleSession& session,
                                                                                   std::int32_t index);

}  // namespace nsfrex
