#!/usr/bin/env python3
"""Per-sample counts through the reader module, for closing notes and reviews (a tool, not a test).

For every sample database: the subfiles nsfrex ls lists (notes, mails, attachments, OLE objects,
folders the notes are filed in, with --meta; notes again with ExtractAllFields), then for each extract format how many files were
written and which subfiles failed with which module status. With --meta, also every subfile whose
metadata (meta --all) fails.

usage: tools/report_counts.py --bin DIR --shared DIR [--work DIR] [--meta] [--formats text,fields,dxl,auto]
"""
import argparse
import json
import os
import pathlib
import re
import subprocess
import sys
import tempfile
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from e2e_support import parse_options  # noqa: E402

FORMATS = ["text", "fields", "dxl", "auto"]
ALL_FIELDS = ["-c", "nsfrex.ExtractAllFields=1"]
FAILED_LINE = re.compile(r"^nsfrex extract: (.*?): subfile (\d+) \((.*)\): (?:module )?status (\d+)")


def run(nsfrex, *args, timeout=1800):
    return subprocess.run([str(nsfrex), *args], capture_output=True, text=True, timeout=timeout)


def list_subfiles(nsfrex, path, extra=()):
    result = run(nsfrex, "ls", *extra, "--json", str(path))
    if result.returncode != 0:
        return None, result.stderr.strip()
    return json.loads(result.stdout), None


def count_subfiles(entries):
    counts = {"notes": 0, "mails": 0, "attachments": 0, "ole": 0, "folders": 0}
    for entry in entries:
        kind = entry["type"]
        if kind == "Main":
            counts["mails" if (entry["name"] or "").endswith(".mail") else "notes"] += 1
        elif kind == "Attachment":
            counts["attachments"] += 1
        elif kind == "OLE":
            counts["ole"] += 1
        elif kind == "Folder":
            counts["folders"] += 1
    return counts


def folder_count(nsfrex, path, entries):
    """Folders the notes are filed in, by the module's $$$TM_Folders (a note may be in several)."""
    names = set()
    for entry in entries:
        if entry["type"] != "Main":
            continue
        meta = run(nsfrex, "meta", *ALL_FIELDS, str(path), str(entry["index"]), "--field", "$$$TM_Folders", "--json")
        if meta.returncode == 0:
            value = json.loads(meta.stdout)[0]["value"]
            if value:
                names.update(value.split(", "))
    return len(names)


def extract_report(nsfrex, samples, fmt, work):
    """Database file name -> (files written, [(index, name, status)]), and the run's exit status."""
    out = pathlib.Path(work) / fmt
    result = run(nsfrex, "extract", "-q", "--force", "--format", fmt, "-o", str(out), *[str(p) for p in samples])
    failures = {}
    for line in result.stderr.splitlines():
        match = FAILED_LINE.match(line)
        if match:
            database = pathlib.Path(match.group(1)).name
            failures.setdefault(database, []).append((int(match.group(2)), match.group(3), int(match.group(4))))
    report = {}
    for path in samples:
        folder = out / path.stem
        files = 0
        if folder.is_dir():
            for _, _, names in os.walk(folder):
                files += sum(1 for n in names if n != "index.json")
        report[path.name] = (files, failures.get(path.name, []))
    return report, result.returncode, [l for l in result.stderr.splitlines() if not FAILED_LINE.match(l)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", type=pathlib.Path, help="folder for the extracted files (default: a temporary one)")
    parser.add_argument("--meta", action="store_true", help="also run meta --all on every note subfile")
    parser.add_argument("--formats", default=",".join(FORMATS))
    options = parse_options(parser)
    nsfrex = options.bin / "nsfrex"
    samples_dir = options.shared / "samples" / "nsf"
    if not nsfrex.is_file() or not samples_dir.is_dir():
        print(f"missing {nsfrex} or {samples_dir}", file=sys.stderr)
        return 1
    samples = sorted(p for p in samples_dir.iterdir() if p.suffix in (".nsf", ".ntf"))

    print("Subfiles (nsfrex ls; 'docs' = notes listed with ExtractAllFields; folders = distinct $$$TM_Folders of"
          " those notes, counted with --meta only)")
    header = f"{'database':42} {'notes':>5} {'mails':>5} {'attach':>6} {'ole':>4} {'docs':>5} {'folders':>7}"
    print(header)
    totals = dict.fromkeys(["notes", "mails", "attachments", "ole", "docs", "folders"], 0)
    problems = []
    for path in samples:
        entries, error = list_subfiles(nsfrex, path)
        every, error_all = list_subfiles(nsfrex, path, ALL_FIELDS)
        if entries is None or every is None:
            print(f"{path.name:42} ls failed: {error or error_all}")
            problems.append(f"{path.name}: ls failed: {error or error_all}")
            continue
        counts = count_subfiles(entries)
        counts["docs"] = count_subfiles(every)["notes"] + count_subfiles(every)["mails"]
        counts["folders"] = folder_count(nsfrex, path, every) if options.meta else 0
        for key in totals:
            totals[key] += counts[key]
        print(f"{path.name:42} {counts['notes']:5} {counts['mails']:5} {counts['attachments']:6} {counts['ole']:4} "
              f"{counts['docs']:5} {counts['folders']:7}")
        if options.meta:
            for entry in every:
                if entry["type"] != "Main":
                    continue
                meta = run(nsfrex, "meta", *ALL_FIELDS, str(path), str(entry["index"]), "--all", "--json")
                if meta.returncode != 0:
                    problems.append(f"{path.name}: meta --all {entry['index']}: {meta.stderr.strip()}")
    print(f"{'total':42} {totals['notes']:5} {totals['mails']:5} {totals['attachments']:6} {totals['ole']:4} "
          f"{totals['docs']:5} {totals['folders']:7}")
    if options.meta:
        print()
        print(f"meta --all (ExtractAllFields) failures: {sum(1 for p in problems if ': meta --all ' in p)}")
        for problem in problems:
            print(f"  {problem}")

    with tempfile.TemporaryDirectory(prefix="nsfrex-report-") as scratch:
        work = options.work or pathlib.Path(scratch)
        for fmt in [f for f in options.formats.split(",") if f]:
            report, code, other = extract_report(nsfrex, samples, fmt, work)
            written = sum(files for files, _ in report.values())
            failed = sum(len(f) for _, f in report.values())
            print()
            print(f"extract --format {fmt}: exit {code}, {written} files written, {failed} subfiles failed")
            for name in sorted(report):
                files, failures = report[name]
                line = f"  {name:42} {files:5} files"
                if failures:
                    line += "  failed: " + ", ".join(f"{i} ({n}) status {s}" for i, n, s in failures)
                print(line)
            for line in other:
                print(f"  stderr: {line}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
