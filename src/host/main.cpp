#include <string_view>
#include <vector>

#include "commands.h"

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "stat") return nsfrex::runStat(nsfrex::Args(args).subspan(1));
    if (!args.empty() && args[0] == "dump") return nsfrex::runDump(nsfrex::Args(args).subspan(1));
    return 2;
}
