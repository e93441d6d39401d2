#include "fault_injection.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "notesapi/status.h"
#include "notesapi/testing.h"

namespace notesrt {
namespace {

struct Rule {
    int remaining = 0;  // calls still to let through before failing
    STATUS status = 0;
    bool shouldThrow = false;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, Rule, std::less<>> rules;
    std::atomic<bool> armed{false};  // fast path: no lock while no rule exists
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

STATUS consumeFault(std::string_view function) {
    Registry& reg = registry();
    if (!reg.armed.load(std::memory_order_acquire))
        return NOERROR;
    std::unique_lock lock(reg.mutex);
    auto it = reg.rules.find(function);
    if (it == reg.rules.end())
        return NOERROR;
    if (--it->second.remaining > 0)
        return NOERROR;
    const Rule rule = it->second;
    reg.rules.erase(it);
    reg.armed.store(!reg.rules.empty(), std::memory_order_release);
    lock.unlock();
    if (rule.shouldThrow)
        throw InjectedFault("injected fault in " + std::string(function));
    return rule.status;
}

}  // namespace notesrt

extern "C" {

void NotesTestInjectFault(const char* function, int nthCall, STATUS status, int bThrow) {
    if (function == nullptr || nthCall < 1)
        return;
    // A status rule without a status would be a silent no-op; make it visible.
    const STATUS effective = (status == NOERROR && !bThrow) ? ERR_RUNTIME_INJECTED : status;
    auto& reg = notesrt::registry();
    std::lock_guard lock(reg.mutex);
    reg.rules.insert_or_assign(std::string(function), notesrt::Rule{nthCall, effective, bThrow != 0});
    reg.armed.store(true, std::memory_order_release);
}

void NotesTestClearFaults(void) {
    auto& reg = notesrt::registry();
    std::lock_guard lock(reg.mutex);
    reg.rules.clear();
    reg.armed.store(false, std::memory_order_release);
}

}  // extern "C"
