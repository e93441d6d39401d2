// The nsfrex command line: picks the subcommand, answers --help, --version and help CMD.
#pragma once

#include "commands.h"

namespace nsfrex {

// Exit status: 0 success, 1 the command failed, 2 the command line was wrong.
int runCli(Args args);

}  // namespace nsfrex
