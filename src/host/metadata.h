// The metadata elements the module gives for one subfile (slot 4), as plain values.
#pragma once

#include <cstdint>
#include <optional>
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

}  // namespace nsfrex
