"""What every end-to-end script shares: its command line and how it reports."""
import argparse
import pathlib
import subprocess
import sys


def parse_options(parser=None):
    """--bin (the folder with nsfrex and its libraries) and --shared (the samples and the DTD)."""
    parser = parser or argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, type=pathlib.Path)
    parser.add_argument("--shared", required=True, type=pathlib.Path)
    return parser.parse_args()


def report(failures, summary=None):
    """One FAIL line per failure on stderr, the summary on stdout; the script's exit status."""
    for failure in failures:
        print(f"FAIL: {failure}", file=sys.stderr)
    if summary is not None:
        print(summary)
    return 1 if failures else 0


def listed_commands(nsfrex):
    """The commands that `nsfrex --help` lists."""
    overview = subprocess.run([str(nsfrex), "--help"], capture_output=True, text=True, check=True).stdout
    listed = overview.split("Commands:\n", 1)[1].split("\n\n", 1)[0]
    return [line.split()[0] for line in listed.splitlines()]
