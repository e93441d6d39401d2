#!/usr/bin/env python3
"""`nsfrex stat` on every sample database agrees with samples/expected-counts.tsv; `nsfrex dump`
reads every sample; failures name the file on one stderr line."""
import csv
import json
import pathlib
import subprocess
import sys
from e2e_support import parse_options, report


def run(nsfrex, *args):
    return subprocess.run([str(nsfrex), *args], capture_output=True, text=True, timeout=120)


def main():
    options = parse_options()
    nsfrex = options.bin / "nsfrex"
    samples = options.shared / "samples"
    failures = []

    if not nsfrex.is_file():
        print(f"FAIL: {nsfrex} was not built", file=sys.stderr)
        return 1
    table = samples / "expected-counts.tsv"
    if not table.is_file():
        print(f"FAIL: {table} is missing", file=sys.stderr)
        return 1

    with open(table, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    if len(rows) != 59:
        failures.append(f"expected-counts.tsv has {len(rows)} rows, not 59")
    for row in rows:
        path = samples / "nsf" / row["file"]
        result = run(nsfrex, "stat", str(path))
        if result.returncode != 0:
            failures.append(f"stat {row['file']}: exit {result.returncode}: {result.stderr.strip()}")
            continue
        try:
            stat = json.loads(result.stdout)
        except json.JSONDecodeError as e:
            failures.append(f"stat {row['file']}: not JSON ({e}): {result.stdout[:80]!r}")
            continue
        want = {"ods": int(row["ods"]), "notes": int(row["notes"]), "documents": int(row["documents"]),
                "deletion_stubs": int(row["deletion_stubs"]), "objects": int(row["objects"]), "encrypted": False}
        for key, value in want.items():
            if stat.get(key) != value:
                failures.append(f"stat {row['file']}: {key} = {stat.get(key)!r}, expected {value!r}")
        if stat.get("title", "")[:30] != row["title"]:
            failures.append(f"stat {row['file']}: title {stat.get('title')!r}, expected {row['title']!r}")
        replica = stat.get("replica_id", "")
        if len(replica) != 16 or any(c not in "0123456789ABCDEF" for c in replica):
            failures.append(f"stat {row['file']}: replica_id {replica!r}")

        result = run(nsfrex, "dump", str(path))
        if result.returncode != 0 or not result.stdout.startswith("database "):
            failures.append(f"dump {row['file']}: exit {result.returncode}: {result.stderr.strip()[:200]}")

    result = run(nsfrex, "stat", str(samples / "expected-counts.tsv"))
    if result.returncode == 0 or result.stdout or "expected-counts.tsv" not in result.stderr \
            or len(result.stderr.strip().splitlines()) != 1:
        failures.append(f"stat on a non-database: exit {result.returncode}, stderr {result.stderr!r}")
    result = run(nsfrex, "stat")
    if result.returncode != 2:
        failures.append(f"stat without a file exits {result.returncode}")
    result = run(nsfrex, "dump", str(samples / "nsf" / "sample.nsf"), "--note", "0x17E")
    if result.returncode != 0 or "$FolderIDTable" not in result.stdout:
        failures.append(f"dump --note 0x17E: exit {result.returncode}")

    return report(failures, f"{'FAILED' if failures else 'passed'}: nsfrex stat and dump on {len(rows)} samples")


if __name__ == "__main__":
    sys.exit(main())
