// The entry point of every exported function: consult fault injection, then run the body and turn
// any exception into a status, so that nothing but a deliberately injected fault leaves the C API.
#pragma once

#include <new>
#include <utility>

#include "fault_injection.h"
#include "notesapi/status.h"

namespace notesrt {

// Status of an exception caught at the boundary.
STATUS statusOfCurrentException() noexcept;

// For functions that return a STATUS.
template <typename Body>
STATUS guardStatus(const char* function, Body&& body) {
    if (const STATUS injected = consumeFault(function))
        return injected;
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return statusOfCurrentException();
    }
}

// For functions that return a value (BOOL, WORD, pointer, ...): `failure` stands for any error.
template <typename R, typename Body>
R guardValue(const char* function, R failure, Body&& body) {
    if (consumeFault(function) != NOERROR)
        return failure;
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

// For functions that return nothing.
template <typename Body>
void guardVoid(const char* function, Body&& body) {
    if (consumeFault(function) != NOERROR)
        return;
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

}  // namespace notesrt
