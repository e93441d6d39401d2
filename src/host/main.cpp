#include <exception>
#include <cstdio>
#include <string_view>
#include <vector>

#include "cli.h"

int main(int argc, char** argv) {
    try {
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        return nsfrex::runCli(args);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "nsfrex: %s\n", error.what());
        return 1;
    }
}
