#include "cli.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "options.h"
#include "text.h"

namespace nsfrex {
namespace {

struct Command {
    std::string_view name;
    std::string_view summary;
    std::string_view usage;      // the lines after "usage: "
    std::string_view details;
    bool moduleOptions;          // takes the common options for reading through the module
    int (*run)(Args);            // null: not available yet
};

constexpr std::array kCommands{
    Command{"stat", "describe the structure of a database file", "nsfrex stat FILE",
            "Reads FILE directly and prints its structure version, title and note counts.\n", false, runStat},
    Command{"dump", "print the notes and items of a database", "nsfrex dump FILE [--note NOTEID]",
            "Reads FILE directly and prints its notes with their items; --note limits it to one note.\n", false,
            runDump},
    Command{"rt2html", "convert one rich-text item to HTML (development)",
            "nsfrex rt2html DB NOTEID [ITEM]\n       nsfrex rt2html --list DB",
            "Reads DB directly and prints the MHT body text that the reader module's rich-text converter makes of\n"
            "the rich-text item ITEM (default Body) of the note NOTEID (hexadecimal, with or without 0x).\n"
            "--list prints the note IDs and names of every rich-text item of DB, one per line.\n",
            false, runRt2Html},
    Command{"ls", "list the files a database holds", "nsfrex ls [OPTIONS] FILE [--json]",
            "Lists every subfile the reader module finds in FILE: index, type, name, parent, children and UTC\n"
            "time; --json prints one JSON array.\n",
            true, runLs},
    Command{"meta", "show the metadata of a subfile", "nsfrex meta [OPTIONS] FILE INDEX [--all | --field NAME ...] [--json]",
            "Prints the fields the reader module gives for subfile INDEX: the mail fields, every item (--all)\n"
            "or the named fields (--field, repeatable); --json prints one JSON array of {name, value}.\n",
            true, runMeta},
    Command{"extract", "write subfiles to a folder",
            "nsfrex extract [OPTIONS] -o DIR FILE [--index N ...] [--format auto|text|fields|dxl] [--with-attachments]",
            "Writes the chosen subfiles (all when no --index) of FILE into DIR under the names the module gives\n"
            "them; nothing is written outside DIR. --format: auto (formatted mail body), text (plain mail),\n"
            "fields (every item of a note), dxl (notes as DXL). --with-attachments extracts each note together\n"
            "with its attachments. Exit status 1 when some subfile failed, 2 when FILE could not be opened.\n",
            true, runExtract},
};

const Command* findCommand(std::string_view name) {
    const auto found = std::ranges::find(kCommands, name, &Command::name);
    return found == kCommands.end() ? nullptr : &*found;
}

void print(std::FILE* stream, std::string_view text) { std::fwrite(text.data(), 1, text.size(), stream); }

std::string overview() {
    std::string text =
        "nsfrex reads Lotus Notes databases (.nsf) and presents each one as a tree of files.\n\n"
        "usage: nsfrex COMMAND [ARGS...]\n"
        "       nsfrex help COMMAND | --help | --version\n\n"
        "Commands:\n";
    for (const auto& command : kCommands)
        text += cat("  ", padRight(command.name, 9), command.summary, command.run == nullptr ? " (not available yet)" : "", "\n");
    text += "\nExit status: 0 success, 1 failure, 2 wrong command line.\n";
    return text;
}

std::string commandHelp(const Command& command) {
    std::string text = cat("usage: ", command.usage, "\n\n", command.details);
    if (command.moduleOptions) text += cat("\n", kCommonOptionsHelp);
    if (command.run == nullptr) text += "\nThis command is not available yet.\n";
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
    print(stdout, commandHelp(*command));
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
        print(stdout, commandHelp(*command));
        return 0;
    }
    if (command->run == nullptr) {
        print(stderr, cat("nsfrex ", command->name, ": not available yet\n"));
        return 2;
    }
    return command->run(rest);
}

}  // namespace nsfrex
