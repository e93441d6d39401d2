#include "nsf/lz1.h"

namespace nsf {

Expected<std::unique_ptr<ObjectStream>> makeLz1Stream(std::unique_ptr<ObjectStream> /*raw*/,
                                                      std::uint64_t expectedSize) {
    // The superblock's LZ77 coder does not decode any stored attachment, so it is not tried here: a
    // wrong guess would hand out garbage instead of a clear error.
    return fail(ErrorKind::Unsupported, "attachment", "unsupported compression LZ1 (" +
                                                          std::to_string(expectedSize) + " bytes when expanded)");
}

}  // namespace nsf
