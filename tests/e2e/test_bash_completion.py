#!/usr/bin/env python3
"""The bash completion in a scripted bash: what each partial command line completes to, and for every
command exactly the options that `nsfrex help COMMAND` lists."""
import pathlib
import re
import subprocess
import sys
import tempfile
from e2e_support import listed_commands, parse_options, report

COMPLETION = pathlib.Path(__file__).resolve().parents[2] / "packaging" / "nsfrex.bash-completion"

# Each row: the command line up to the cursor, and the completions bash offers there.
CASES = [
    ("nsfrex ex", ["extract"]),
    ("nsfrex --v", ["--version"]),
    ("nsfrex help d", ["dump"]),
    ("nsfrex extract --fo", ["--force", "--format"]),
    ("nsfrex extract --format ", ["auto", "dxl", "eml", "fields", "mbox", "text"]),
    ("nsfrex ls --log-level D", ["DIAG", "DUMP"]),
    ("nsfrex extract ", ["Mail Box.nsf", "names.NTF", "sub folder"]),
    ("nsfrex extract -o out ", ["Mail Box.nsf", "names.NTF", "sub folder"]),
    ("nsfrex extract -o ", ["sub folder"]),
    ("nsfrex meta M", ["Mail Box.nsf"]),
    ("nsfrex extract -j ", []),
]


def complete(folder, line):
    """COMPREPLY of the completion function for `line`, split into words as bash would."""
    words = line.split(" ")
    script = (f"source '{COMPLETION}'\n"
              "COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); COMP_LINE=\"$*\"; COMP_POINT=${#COMP_LINE}\n"
              "_nsfrex nsfrex \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
              "printf '%s\\n' \"${COMPREPLY[@]}\"\n")
    result = subprocess.run(["bash", "--norc", "--noprofile", "-c", script, "bash", *words], cwd=folder,
                            capture_output=True, text=True, timeout=30, check=True)
    return sorted(filter(None, result.stdout.split("\n")))


def help_options(nsfrex, command):
    """The option names in the OPTIONS section of `nsfrex help COMMAND`."""
    page = subprocess.run([nsfrex, "help", command], capture_output=True, text=True, check=True).stdout
    section = page.split("\nOPTIONS\n", 1)[1].split("\nEXIT STATUS\n", 1)[0]
    names = set()
    for line in section.splitlines():
        tag = re.match(r"\s{4,6}(-\S.*?)(\s{2,}|$)", line)
        if tag:
            names |= set(re.findall(r"(?<![\w-])-{1,2}[\w-]+", tag.group(1)))
    return sorted(names)


def main():
    nsfrex = str(parse_options().bin / "nsfrex")
    commands = listed_commands(nsfrex)
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        folder = pathlib.Path(folder)
        for name in ("Mail Box.nsf", "names.NTF", "notes.txt"):
            (folder / name).write_bytes(b"")
        (folder / "sub folder").mkdir()
        for line, expected in CASES:
            offered = complete(folder, line)
            if offered != expected:
                failures.append(f"{line!r} completes to {offered}, expected {expected}")
        if complete(folder, "nsfrex ") != sorted(commands + ["help", "--help", "--version"]):
            failures.append(f"commands complete to {complete(folder, 'nsfrex ')}, `nsfrex --help` lists {commands}")
        for command in commands:
            offered, documented = complete(folder, f"nsfrex {command} -"), help_options(nsfrex, command)
            if offered != documented:
                failures.append(f"nsfrex {command} -: completes to {offered}, help lists {documented}")
    return report(failures, f"{len(CASES)} command lines and the options of every command complete as expected")


if __name__ == "__main__":
    sys.exit(main())
