#!/usr/bin/env python3
"""The nsfrex command line as scripts see it: help, version, exit codes, stdout versus stderr."""
import pathlib
import subprocess
import sys
from e2e_support import parse_options, report


def run(nsfrex, *args):
    return subprocess.run([str(nsfrex), *args], capture_output=True, text=True, timeout=60)


def main():
    options = parse_options()
    nsfrex = options.bin / "nsfrex"
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)

    if not nsfrex.is_file():
        print(f"FAIL: {nsfrex} was not built", file=sys.stderr)
        return 1

    result = run(nsfrex, "--help")
    check(result.returncode == 0, f"--help exits {result.returncode}")
    check(result.stderr == "", "--help writes to stderr")
    for command in ("stat", "dump", "ls", "meta", "extract"):
        check(f"  {command} " in result.stdout, f"--help does not list {command}")

    result = run(nsfrex, "--version")
    check(result.returncode == 0, "--version fails")
    words = result.stdout.split("\n")[0].split()
    check(len(words) >= 2 and words[0] == "nsfrex" and words[1].count(".") == 2,
          f"--version prints {result.stdout!r}")

    for command in ("stat", "dump", "ls", "meta", "extract"):
        result = run(nsfrex, "help", command)
        check(result.returncode == 0 and result.stdout.startswith(f"NAME\n    nsfrex {command} - "),
              f"help {command}: {result.returncode} {result.stdout[:60]!r}")
        for section in ("SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "EXAMPLES"):
            check(f"\n{section}\n" in result.stdout, f"help {command} has no {section} section")

    result = run(nsfrex, "no-such-command")
    check(result.returncode == 2, f"unknown command exits {result.returncode}")
    check(result.stdout == "" and "no such command" in result.stderr, "unknown command message")

    result = run(nsfrex)
    check(result.returncode == 2 and result.stdout == "", "no command")

    for args in (["ls"], ["meta", "x.nsf"], ["extract", "x.nsf"]):
        result = run(nsfrex, *args)
        check(result.returncode == 2 and "usage: nsfrex" in result.stderr and result.stdout == "",
              f"{' '.join(args)}: exit {result.returncode}, stderr {result.stderr[:80]!r}")

    missing = options.shared / "samples" / "nsf" / "no-such-database.nsf"
    result = run(nsfrex, "ls", str(missing))
    check(result.returncode == 1 and "no-such-database.nsf" in result.stderr,
          f"ls of a missing file: exit {result.returncode}, stderr {result.stderr[:80]!r}")

    return report(failures, f"{'FAILED' if failures else 'passed'}: host command line")


if __name__ == "__main__":
    sys.exit(main())
