#!/usr/bin/env python3
"""The nsfrex command line as scripts see it: help, version, exit codes, stdout versus stderr."""
import sys
from e2e_support import Checks, parse_options, run

COMMANDS = ("stat", "dump", "ls", "meta", "extract")


def main():
    options = parse_options()
    options.require(options.nsfrex)
    c = Checks()
    nsfrex = options.nsfrex

    result = run(nsfrex, "--help", timeout=60)
    c.check(result.returncode == 0 and result.stderr == "", f"--help: exit {result.returncode}, {result.stderr!r}")
    for command in COMMANDS:
        c.check(f"  {command} " in result.stdout, f"--help does not list {command}")
    words = run(nsfrex, "--version", timeout=60).stdout.split("\n")[0].split()
    c.check(len(words) >= 2 and words[0] == "nsfrex" and words[1].count(".") == 2, f"--version prints {words}")
    for command in COMMANDS:
        result = run(nsfrex, "help", command, timeout=60)
        c.check(result.returncode == 0 and result.stdout.startswith(f"NAME\n    nsfrex {command} - "),
                f"help {command}: {result.returncode} {result.stdout[:60]!r}")
        for section in ("SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "EXAMPLES"):
            c.check(f"\n{section}\n" in result.stdout, f"help {command} has no {section} section")

    # Wrong command lines: exit 2, nothing on stdout, the reason on stderr.
    for args, message in ((["no-such-command"], "no such command"), ([], ""), (["ls"], "usage: nsfrex"),
                          (["meta", "x.nsf"], "usage: nsfrex"), (["extract", "x.nsf"], "usage: nsfrex")):
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
