// The user ID files and passwords the host hands to the module at open, in the order they were given.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <nsfrex/host.h>

namespace nsfrex {

class Credentials {
public:
    void addIdFile(std::string path) { add(CRED_USER_ID_FILE, std::move(path)); }
    void addPassword(std::string password) { add(CRED_PASSWORD, std::move(password)); }

    bool empty() const noexcept { return values_.empty(); }
    // The ID file paths, in order.
    std::vector<std::string> idFiles() const;
    std::size_t size() const noexcept { return values_.size(); }

    // Valid until the next add or until this object goes; null when there is nothing to hand over, so that
    // the module keeps the runtime's current ID.
    CredentialList* list();

private:
    void add(std::uint32_t type, std::string value);

    std::deque<std::string> values_;  // a deque keeps the strings in place as items are added
    std::vector<CredentialItem> items_;
    std::vector<CredentialItem*> pointers_;
    CredentialList list_{};
};

}  // namespace nsfrex
