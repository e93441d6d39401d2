#include "credentials.h"

namespace nsfrex {

void Credentials::add(std::uint32_t type, std::string value) {
    values_.push_back(std::move(value));
    items_.push_back(CredentialItem{type, values_.back().data()});
}

CredentialList* Credentials::list() {
    if (items_.empty()) return nullptr;
    pointers_.clear();
    for (auto& item : items_) pointers_.push_back(&item);
    list_.cItems = static_cast<std::int32_t>(pointers_.size());
    list_.rgpItems = pointers_.data();
    return &list_;
}

}  // namespace nsfrex
