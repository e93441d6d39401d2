#include "metadata.h"

#include <charconv>
#include <set>

#include "text.h"
#include "zapi.h"

namespace nsfrex {
namespace {

// The record and every element in it belong to the host once returned: freed through the host allocator.
class MetadataRecord {
public:
    explicit MetadataRecord(MemoryService& memory) : memory_(memory) {}
    MetadataRecord(const MetadataRecord&) = delete;
    MetadataRecord& operator=(const MetadataRecord&) = delete;
    ~MetadataRecord() {
        for (std::int32_t i = 0; record.ppElem != nullptr && i < record.nElem; ++i) {
            SubFileMetaElem* element = record.ppElem[i];
            if (element == nullptr) continue;
            memory_.fpFree(&memory_, element->strType);
            memory_.fpFree(&memory_, element->data);
            memory_.fpFree(&memory_, element);
        }
        memory_.fpFree(&memory_, record.ppElem);
    }
    SubFileMetaData record{};

private:
    MemoryService& memory_;
};

}  // namespace

Result<std::vector<MetadataElement>> readMetadata(const ModuleSession& session, std::int32_t index,
                                                  MetadataRequest request, const std::vector<std::string>& fields) {
    MemoryService& memory = session.host().zapi()->memoryService;
    HostAllocatorRef allocator{session.host().zapi(), &memory};

    std::vector<MetaName> names(fields.size());
    std::vector<MetaName*> pointers;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        names[i].nType = TMMetaNameType_String;
        names[i].pszName = const_cast<char*>(fields[i].c_str());
        pointers.push_back(&names[i]);
    }
    const auto count =
        request == MetadataRequest::AllItems ? -1 : request == MetadataRequest::Fields ? static_cast<std::int32_t>(pointers.size()) : 0;
    MetaName** requested = request == MetadataRequest::Fields ? pointers.data() : nullptr;

    MetadataRecord metadata(memory);
    const std::int32_t status = session.reader().fpGetSubFileMetadata(session.context(), index, count, requested,
                                                                      &metadata.record, &allocator);
    if (status != 0)
        return failure(cat("subfile ", index, ": module status ", status, " (", describeModuleStatus(status), ")"));

    std::vector<MetadataElement> elements;
    for (std::int32_t i = 0; metadata.record.ppElem != nullptr && i < metadata.record.nElem; ++i) {
        const SubFileMetaElem* e = metadata.record.ppElem[i];
        MetadataElement element;
        if (e != nullptr && e->strType != nullptr) element.name = e->strType;
        if (e != nullptr && e->isDataValid && e->data != nullptr && e->dataSize > 0)
            element.value = std::string(reinterpret_cast<const char*>(e->data), static_cast<std::size_t>(e->dataSize - 1));
        elements.push_back(std::move(element));
    }
    return elements;
}

// The note ID of a note subfile, from the module's "$$$TM_NoteID" metadata (eight hexadecimal digits).
Result<std::uint32_t> noteId(const ModuleSession& session, std::int32_t index) {
    auto elements = readMetadata(session, index, MetadataRequest::Fields, {"$$$TM_NoteID"});
    if (!elements) return std::unexpected(std::move(elements.error()));
    if (elements->empty() || !elements->front().value) return failure("the module gave no note ID");
    const std::string& text = *elements->front().value;
    std::uint32_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id, 16);
    if (error != std::errc() || end != text.data() + text.size() || id == 0)
        return failure(cat("the module gave a bad note ID ", text));
    return id;
}

// The default mail fields of a note, the way `nsfrex meta` reads them; a repeated name keeps its first value.
Result<std::vector<std::pair<std::string, std::optional<std::string>>>> mailFields(const ModuleSession& session,
                                                                                   std::int32_t index) {
    auto elements = readMetadata(session, index, MetadataRequest::MailFields);
    if (!elements) return std::unexpected(std::move(elements.error()));
    std::vector<std::pair<std::string, std::optional<std::string>>> fields;
    std::set<std::string> seen;
    for (auto& element : *elements)
        if (element.name && seen.insert(*element.name).second) fields.emplace_back(*element.name, std::move(element.value));
    return fields;
}

}  // namespace nsfrex
