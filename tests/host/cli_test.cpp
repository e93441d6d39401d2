// Runs the built nsfrex command as a user would.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "host_test_support.h"

namespace nsfrex {
namespace {

struct CommandRun {
    int status = -1;
    std::string out;  // stdout and stderr together
};

CommandRun runNsfrex(const std::string& arguments) {
    const std::string command = (test::binDir() / "nsfrex").string() + " " + arguments + " 2>&1";
    CommandRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

TEST(Cli, HelpAndVersionSucceed) {
    const CommandRun help = runNsfrex("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"stat", "dump", "ls", "meta", "extract"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command << " missing from:\n" << help.out;

    // Each binary states its own version; the libraries reported are the ones beside the command.
    const CommandRun version = runNsfrex("--version");
    EXPECT_EQ(version.status, 0);
    const std::string bin = std::filesystem::weakly_canonical(test::binDir()).string();
    for (const std::string& line : {"nsfrex " + std::string(NSFREX_VERSION), "\nmodule: " + std::string(NSFREX_VERSION),
                                    ", " + bin + "/libnsfrex.so\n", "\nNotes runtime: " + std::string(NSFREX_VERSION),
                                    ", " + bin + "/libnotes.so\n", std::string("\nimage library: "), std::string("\nICU: ")})
        EXPECT_NE(version.out.find(line), std::string::npos) << line << " missing from:\n" << version.out;

    const CommandRun extract = runNsfrex("help extract");
    EXPECT_EQ(extract.status, 0);
    EXPECT_NE(extract.out.find("-o DIR"), std::string::npos) << extract.out;
    EXPECT_NE(extract.out.find("--id FILE"), std::string::npos) << extract.out;

    const CommandRun statHelp = runNsfrex("stat --help");
    EXPECT_EQ(statHelp.status, 0);
    EXPECT_NE(statHelp.out.find("    nsfrex stat DB"), std::string::npos) << statHelp.out;

    // Every command has a whole manual page, the same through both ways of asking.
    for (const char* command : {"extract", "ls", "meta", "stat", "dump"}) {
        const CommandRun page = runNsfrex(std::string("help ") + command);
        EXPECT_EQ(page.status, 0) << command;
        std::size_t at = 0;
        for (const char* section : {"NAME\n", "\nSYNOPSIS\n", "\nDESCRIPTION\n", "\nOPTIONS\n", "\nEXIT STATUS\n", "\nEXAMPLES\n"}) {
            const std::size_t found = page.out.find(section, at);
            EXPECT_NE(found, std::string::npos) << command << " lacks " << section << " in order:\n" << page.out;
            if (found != std::string::npos) at = found;
        }
        EXPECT_EQ(runNsfrex(std::string(command) + " --help").out, page.out) << command;
    }
}

TEST(Cli, WrongCommandLinesExitWithTwo) {
    const CommandRun unknown = runNsfrex("frobnicate");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.out.find("no such command: frobnicate"), std::string::npos) << unknown.out;

    const CommandRun nothing = runNsfrex("");
    EXPECT_EQ(nothing.status, 2);
    EXPECT_NE(nothing.out.find("nsfrex --help"), std::string::npos) << nothing.out;

    EXPECT_EQ(runNsfrex("help frobnicate").status, 2);

    // Each command checks its own arguments and answers with its usage.
    for (const char* args : {"ls", "meta db.nsf", "extract db.nsf", "ls --bogus db.nsf"}) {
        const CommandRun run = runNsfrex(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.out.find("usage: nsfrex "), std::string::npos) << args << ":\n" << run.out;
    }
    // A common option with a bad value is a wrong command line too.
    EXPECT_EQ(runNsfrex("ls --log-level loud db.nsf").status, 2);
}

}  // namespace
}  // namespace nsfrex
