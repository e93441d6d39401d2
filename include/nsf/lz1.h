// LZ1 compression of file attachments (FILEOBJECT compression type 2). Its coding is not known to this
// reader and no stored sample exists, so opening such a payload fails with ErrorKind::Unsupported.
#pragma once

#include <cstdint>
#include <memory>

#include "nsf/database.h"
#include "nsf/error.h"

namespace nsf {

Expected<std::unique_ptr<ObjectStream>> makeLz1Stream(std::unique_ptr<ObjectStream> raw, std::uint64_t expectedSize);

}  // namespace nsf
