"""What every end-to-end script shares: its command line and how it reports."""
import argparse
import pathlib
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
