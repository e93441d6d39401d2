// The nsfrex subcommands. Each takes the arguments after its name and returns the process exit status.
#pragma once

#include <span>
#include <string_view>

namespace nsfrex {

using Args = std::span<const std::string_view>;

int runStat(Args args);   // nsfrex stat FILE
int runDump(Args args);   // nsfrex dump FILE [--note NOTEID]
int runLs(Args args);     // nsfrex ls [OPTIONS] FILE [--json]
int runMeta(Args args);   // nsfrex meta [OPTIONS] FILE INDEX [--all | --field NAME ...] [--json]
int runExtract(Args args);  // nsfrex extract [OPTIONS] DB... -o DIR [--format F] [--force] [-j N] [-q | -v] ...

}  // namespace nsfrex
