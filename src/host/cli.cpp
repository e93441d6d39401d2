#include "cli.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "help_pages.h"
#include "text.h"

namespace nsfrex {
namespace {

struct Command {
    std::string_view name;
    int (*run)(Args);
};

constexpr std::array kCommands{
    Command{"extract", runExtract}, Command{"ls", runLs},     Command{"meta", runMeta},
    Command{"stat", runStat},       Command{"dump", runDump},
};

const Command* findCommand(std::string_view name) {
    const auto found = std::ranges::find(kCommands, name, &Command::name);
    return found == kCommands.end() ? nullptr : &*found;
}

const HelpPage& helpPage(const Command& command) {
    const auto pages = helpPages();
    return *std::ranges::find(pages, command.name, &HelpPage::name);
}

void print(std::FILE* stream, std::string_view text) { std::fwrite(text.data(), 1, text.size(), stream); }

std::string overview() {
    std::string text =
        "nsfrex reads Lotus Notes databases (.nsf, .ntf) and presents each one as a tree of files: notes as\n"
        "mail, field dumps or DXL, with their attachments beside them.\n\n"
        "usage: nsfrex COMMAND [ARGS...]\n"
        "       nsfrex help COMMAND | nsfrex COMMAND --help | nsfrex --help | nsfrex --version\n\n"
        "Commands:\n";
    for (const auto& command : kCommands) text += cat("  ", padRight(command.name, 9), helpPage(command).summary, "\n");
    text +=
        "\nExit status: 0 success, 1 failure (for extract: some subfiles failed), 2 wrong command line or a\n"
        "database that could not be opened.\n\n"
        "Example: nsfrex extract -o out mail.nsf\n";
    return text;
}

int usageError(std::string_view message) {
    print(stderr, cat("nsfrex: ", message, "\nTry 'nsfrex --help'.\n"));
    return 2;
}

int help(Args args) {
    if (args.empty()) {
        print(stdout, overview());
        return 0;
    }
    const Command* command = findCommand(args[0]);
    if (command == nullptr) return usageError(cat("no such command: ", args[0]));
    print(stdout, renderHelpPage(helpPage(*command)));
    return 0;
}

}  // namespace

int runCli(Args args) {
    if (args.empty()) return usageError("no command given");
    const std::string_view first = args[0];
    if (first == "--help" || first == "-h") return help({});
    if (first == "--version") {
        print(stdout, cat("nsfrex ", NSFREX_VERSION, "\n"));
        return 0;
    }
    if (first == "help") return help(args.subspan(1));

    const Command* command = findCommand(first);
    if (command == nullptr) return usageError(cat("no such command: ", first));
    const Args rest = args.subspan(1);
    if (std::ranges::any_of(rest, [](std::string_view arg) { return arg == "--help" || arg == "-h"; })) {
        print(stdout, renderHelpPage(helpPage(*command)));
        return 0;
    }
    return command->run(rest);
}

}  // namespace nsfrex
