#!/usr/bin/env python3
"""The nsfrex command line as scripts see it: help, version, exit codes, stdout versus stderr."""
import sys
from e2e_support import Checks, parse_options, run

COMMANDS = ("stat", "dump", "ls", "meta", "extract")
SECTIONS = ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "EXAMPLES")


def main():
    options = parse_options()
    options.require(options.nsfrex)
    c = Checks()
    nsfrex = options.nsfrex

    result = run(nsfrex, "--help", timeout=60)
    c.check(result.returncode == 0 and result.stderr == "", f"--help: exit {result.returncode}, {result.stderr!r}")
    for command in COMMANDS:
        c.check(f"  {command} " in result.stdout, f"--help does not list {command}")
    # Each binary states its own version; the libraries reported are the ones beside the command.
    version = run(nsfrex, "--version", timeout=60)
    words = version.stdout.split("\n")[0].split()
    c.check(version.returncode == 0 and len(words) >= 2 and words[0] == "nsfrex" and words[1].count(".") == 2,
            f"--version prints {words}")
    number, folder = words[1] if len(words) > 1 else "?", options.bin.resolve()
    for line in (f"\nmodule: {number} ", f", {folder}/libnsfrex.so\n", f"\nNotes runtime: {number} ",
                 f", {folder}/libnotes.so\n", "\nimage library: ", "\nICU: "):
        c.check(line in version.stdout, f"--version lacks {line!r}: {version.stdout!r}")
    # Every command has a whole manual page, the same through both ways of asking.
    for command in COMMANDS:
        result = run(nsfrex, "help", command, timeout=60)
        c.check(result.returncode == 0 and result.stdout.startswith(f"NAME\n    nsfrex {command} - "),
                f"help {command}: {result.returncode} {result.stdout[:60]!r}")
        at = [result.stdout.find(f"\n{section}\n" if section != "NAME" else "NAME\n") for section in SECTIONS]
        c.check(-1 not in at and at == sorted(at), f"help {command}: sections {dict(zip(SECTIONS, at))}")
        c.equal(f"{command} --help", run(nsfrex, command, "--help", timeout=60).stdout, result.stdout)
    extract = run(nsfrex, "help", "extract", timeout=60).stdout
    c.check("-o DIR" in extract and "--id FILE" in extract, "help extract lacks -o DIR or --id FILE")
    c.check("\n    nsfrex stat DB" in run(nsfrex, "stat", "--help", timeout=60).stdout, "stat --help lacks its usage")

    # Wrong command lines: exit 2, nothing on stdout, the reason on stderr; a common option with a bad value
    # is one too.
    for args, message in ((["no-such-command"], "no such command: no-such-command"), ([], "nsfrex --help"),
                          (["help", "no-such-command"], "no such command"), (["ls"], "usage: nsfrex ls"),
                          (["meta", "x.nsf"], "usage: nsfrex meta"), (["extract", "x.nsf"], "usage: nsfrex extract"),
                          (["ls", "--bogus", "x.nsf"], "usage: nsfrex ls"),
                          (["ls", "--log-level", "loud", "x.nsf"], "unknown log level loud")):
        result = run(nsfrex, *args, timeout=60)
        c.check(result.returncode == 2 and result.stdout == "" and message in result.stderr,
                f"{args}: exit {result.returncode}, stderr {result.stderr[:80]!r}")
    missing = options.samples / "no-such-database.nsf"
    result = run(nsfrex, "ls", missing, timeout=60)
    c.check(result.returncode == 1 and "no-such-database.nsf" in result.stderr,
            f"ls of a missing file: exit {result.returncode}, stderr {result.stderr[:80]!r}")
    return c.report(f"{'FAILED' if c.failures else 'passed'}: host command line")


if __name__ == "__main__":
    sys.exit(main())
