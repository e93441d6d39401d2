#include "error_map.h"

#include <new>

#include "api_guard.h"
#include "notesapi/status.h"

namespace notesrt {

STATUS toStatus(const nsf::Error& error, Operation operation) noexcept {
    using K = nsf::ErrorKind;
    switch (error.kind()) {
    case K::Io:
        return operation == Operation::OpenDatabase ? ERR_NOACCESS : ERR_RUNTIME_IO;
    case K::Truncated:
    case K::BadSignature:
    case K::BadChecksum:
    case K::Corrupt:
        return operation == Operation::OpenDatabase ? ERR_NOT_NSF : ERR_RUNTIME_CORRUPT;
    case K::Unsupported:
        if (operation == Operation::OpenDatabase)
            return ERR_NSF_VERSION;
        return operation == Operation::ReadObject ? ERR_ENCODING : ERR_RUNTIME_NOT_IMPLEMENTED;
    case K::Encrypted:
        if (operation == Operation::OpenDatabase)
            return ERR_LOCALSEC_DBOPENFAILURE;
        return operation == Operation::ReadObject ? ERR_NOEXTRACT_ENCRYPTED : ERR_NOACCESS;
    case K::NotFound:
        switch (operation) {
        case Operation::OpenDatabase: return ERR_NOEXIST;
        case Operation::ReadNote: return ERR_INVALID_NOTE;
        case Operation::ReadFolder: return ERR_NOTE_NOT_FOLDER;
        default: return ERR_NOT_FOUND;
        }
    }
    return ERR_RUNTIME_INTERNAL;
}

STATUS statusOfCurrentException() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return ERR_RUNTIME_NO_MEMORY;
    } catch (...) {
        return ERR_RUNTIME_INTERNAL;
    }
}

}  // namespace notesrt
