#include "cli.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "help_pages.h"
#include "man_page.h"
#include "text.h"
#include "versions.h"

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

// nsfrex itself as a help page: `nsfrex --help` and the nsfrex(1) manual page.
constexpr HelpPage kOverview{
    "", "read Lotus Notes databases as trees of files",
    "nsfrex COMMAND [ARGS...]\n"
    "nsfrex help COMMAND | nsfrex COMMAND --help | nsfrex --help | nsfrex --version\n",
    "nsfrex reads Lotus Notes databases (.nsf, .ntf) and presents each one as a tree of files: notes as\n"
    "mail, field dumps or DXL, with their attachments beside them.\n",
    "  --version              print the versions of nsfrex and of the libraries it loads\n", false,
    "0 success, 1 failure (for extract: some subfiles failed), 2 wrong command line or a\n"
    "database that could not be opened.\n",
    "nsfrex extract -o out mail.nsf\n"};

std::string overview() {
    const std::string_view synopsis = kOverview.synopsis;
    const std::size_t secondLine = synopsis.find('\n') + 1;
    std::string text = cat(kOverview.description, "\nusage: ", synopsis.substr(0, secondLine), "       ",
                           synopsis.substr(secondLine), "\nCommands:\n");
    for (const auto& command : kCommands) text += cat("  ", padRight(command.name, 9), helpPage(command).summary, "\n");
    text += cat("\nExit status: ", kOverview.exitStatus, "\nExample: ", kOverview.examples);
    return text;
}

// `nsfrex help --roff DIR`, which the build runs: every manual page as DIR/nsfrex*.1.
int writeManPages(const std::filesystem::path& directory) {
    std::vector<HelpPage> commands;
    for (const auto& command : kCommands) commands.push_back(helpPage(command));
    std::vector<const HelpPage*> pages{&kOverview};
    for (const auto& command : commands) pages.push_back(&command);
    for (const HelpPage* page : pages) {
        const auto file = directory / manPageFileName(*page);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << renderManPage(*page, commands, NSFREX_VERSION);
        out.close();
        if (!out) {
            print(stderr, cat("nsfrex: cannot write ", file.string(), "\n"));
            return 1;
        }
    }
    return 0;
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
    if (args[0] == "--roff" && args.size() == 2) return writeManPages(std::filesystem::path(args[1]));
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
    if (first == "--version") return printVersions(stdout);
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
