// Operations this runtime declares but does not provide yet. Each answers with a clear status
// (or the neutral value of its return type) instead of being absent, so that callers linking
// against the full API load and fail gracefully.
#include "api_guard.h"
#include "notesapi/notes.h"

using namespace notesrt;

namespace {
constexpr STATUS kNotImplemented = ERR_RUNTIME_NOT_IMPLEMENTED;
}

extern "C" {

STATUS NSFNoteExtractOLE2Object(NOTEHANDLE, const char*, const char*, ENCRYPTION_KEY*, BOOL, DWORD) {
    return guardStatus("NSFNoteExtractOLE2Object", [] { return kNotImplemented; });
}

}  // extern "C"
