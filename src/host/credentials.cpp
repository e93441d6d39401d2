#include "credentials.h"

namespace nsfrex {

void Credentials::add(std::uint32_t type, std::string value) {
    values_.push_back(std::move(value));
    items_.push_back(CredentialItem{type, values_.back().data()});
}

std::vector<std::string> Credentials::idFiles() const {
    std::vector<std::string> files;
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].dwType == CRED_USER_ID_FILE) files.push_back(values_[i]);
    return files;
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
