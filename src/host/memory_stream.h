// Growable in-memory byte streams that the module asks for (fpOpenMemoryStream), e.g. to hand an image
// to a sibling conversion library. The record and its bytes come from the host allocator, so a stream the
// module forgets to release shows up as a live block.
//
// Results follow the C library: read and write return the byte count (-1 on bad arguments or no memory),
// seek returns 0 on success like fseek, tell returns the position; prepare returns 1.
// Seeking past the end is allowed; a later write fills the gap with zero bytes.
#pragma once

#include <nsfrex/host.h>

namespace nsfrex {

class HostAllocator;

// Null when the allocator fails.
MemoryStream* openMemoryStream(HostAllocator& allocator, ZAPI* zapi);

}  // namespace nsfrex
