// Test-only fault injection: the n-th call of a named API function fails with a chosen status or
// throws. Every exported function consults it once at entry (see api_guard.h).
#pragma once

#include <stdexcept>
#include <string_view>

#include "notesapi/global.h"

namespace notesrt {

// Thrown in "throw" mode; it deliberately crosses the C boundary so callers' guards can be tested.
class InjectedFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Counts one call of `function`. Returns the status to fail with (0: run normally); throws
// InjectedFault when the matching rule asks for an exception.
STATUS consumeFault(std::string_view function);

}  // namespace notesrt
