#include <cstdio>

#include "commands.h"

namespace nsfrex {
int runDump(Args) { std::fputs("nsfrex dump: not available yet\n", stderr); return 1; }
}  // namespace nsfrex
