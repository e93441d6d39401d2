// The process-wide current user ID, whose keys open sealed notes.
#pragma once

#include <memory>

#include "nsf/id_file.h"

namespace notesrt {

// The ID last switched to; before any switch, the ID file named by KeyFileName when it opens
// without a password. nullptr when there is none (then no sealed note can be opened).
std::shared_ptr<const nsf::IdFile> currentId();

// Forgets the current ID; called when the runtime stops for good.
void forgetCurrentId();

}  // namespace notesrt
