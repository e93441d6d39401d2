// Message texts of status codes.
#pragma once

#include <string_view>

#include "notesapi/global.h"

namespace notesrt {

// The text of ERR(code); empty for a code this runtime has no text for.
std::string_view statusText(STATUS code) noexcept;

}  // namespace notesrt
