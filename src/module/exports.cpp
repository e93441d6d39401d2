// libnsfrex.so is the module's static library linked whole; the version script keeps every symbol
// but the entry point local. The entry point itself lives with the operation table (entry/entry.cpp),
// so that it is part of the static library the tests link; this file defines nothing.
#include <type_traits>

#include "entry/entry.h"

static_assert(std::is_same_v<decltype(&nsfGetContainerReaderInterfaceEx), GetContainerReaderInterfaceExFunc>,
              "the entry point has the type the host looks up");
