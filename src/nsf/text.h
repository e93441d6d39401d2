// LMBCS to UTF-8 for item names and the database title (nsf/lmbcs.h, through ICU).
#pragma once

#include <string>

#include "nsf/byte_reader.h"

namespace nsf::detail {

std::string decodeName(Bytes lmbcs);

}  // namespace nsf::detail
