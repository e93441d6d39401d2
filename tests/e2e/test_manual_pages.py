#!/usr/bin/env python3
"""The manual pages that `nsfrex help --roff` writes: one per command and nsfrex(1), free of groff
warnings, and saying every word that `nsfrex help` says, in the same order."""
import re
import subprocess
import sys
import tempfile
import pathlib
from e2e_support import listed_commands, parse_options, report


def words(text):
    return re.findall(r"[^\s-]+", text)


def is_subsequence(needle, haystack):
    rest = iter(haystack)
    return all(word in rest for word in needle)


def main():
    nsfrex = str(parse_options().bin / "nsfrex")
    pages = {"nsfrex.1": ["--help"]} | {f"nsfrex-{name}.1": ["help", name] for name in listed_commands(nsfrex)}
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        folder = pathlib.Path(folder)
        subprocess.run([nsfrex, "help", "--roff", str(folder)], check=True)
        written = {path.name for path in folder.iterdir()}
        if written != set(pages):
            failures.append(f"pages written {sorted(written)}, expected {sorted(pages)}")
        for page, help_args in pages.items():
            path = folder / page
            if not path.is_file():
                continue
            lint = subprocess.run(["groff", "-ww", "-z", "-man", str(path)], capture_output=True, text=True)
            if lint.returncode != 0 or lint.stderr:
                failures.append(f"groff -ww on {page}: exit {lint.returncode}\n{lint.stderr}")
            # One long page without hyphenation, so that words come out whole.
            shown = subprocess.run(["groff", "-man", "-Tascii", "-P-cbou", "-rcR=1", "-rLL=300n", "-rHY=0",
                                    str(path)], capture_output=True, text=True, check=True).stdout
            helped = subprocess.run([nsfrex, *help_args], capture_output=True, text=True, check=True).stdout
            # Headings are laid out differently; every other word must come through, and in the same
            # order on the command pages (the overview puts its usage after the description).
            helped = re.sub(r"(?m)^(NAME|SYNOPSIS|DESCRIPTION|OPTIONS|EXIT STATUS|EXAMPLES|usage:|Exit status:|"
                            r"Example:|Commands:)", " ", helped)
            missing = [word for word in words(helped) if word not in words(shown)]
            if missing or (page != "nsfrex.1" and not is_subsequence(words(helped), words(shown))):
                failures.append(f"{page} does not say what `nsfrex {' '.join(help_args)}` says; "
                                f"missing {missing[:10]}")
    return report(failures, f"{len(pages)} manual pages render cleanly and match the help text")


if __name__ == "__main__":
    sys.exit(main())
