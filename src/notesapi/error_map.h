// The one place where engine errors become Notes status codes. The same engine error means
// different things depending on what the runtime was doing, so the operation is part of the input.
#pragma once

#include "notesapi/global.h"
#include "nsf/error.h"

namespace notesrt {

enum class Operation {
    OpenDatabase,  // opening a file as a database
    ReadNote,      // reading a note by ID
    ReadObject,    // reading an attachment or other object
    ReadFolder,    // reading a folder's note list
    Other,
};

STATUS toStatus(const nsf::Error& error, Operation operation) noexcept;

}  // namespace notesrt
