#include "text.h"

#include "nsf/lmbcs.h"

namespace nsf::detail {

std::string decodeName(Bytes lmbcs) { return lmbcsToUtf8(lmbcs); }

}  // namespace nsf::detail
