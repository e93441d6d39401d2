#include <cstdio>

#include "commands.h"

namespace nsfrex {
int runStat(Args) { std::fputs("nsfrex stat: not available yet\n", stderr); return 1; }
}  // namespace nsfrex
