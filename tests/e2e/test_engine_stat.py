#!/usr/bin/env python3
"""`nsfrex stat` on every sample database agrees with samples/expected-counts.tsv; `nsfrex dump`
reads every sample; failures name the file on one stderr line."""
import csv
import json
import sys
from e2e_support import Checks, parse_options, run


def main():
    options = parse_options()
    table = options.shared / "samples" / "expected-counts.tsv"
    options.require(options.nsfrex, table)
    nsfrex = options.nsfrex
    c = Checks()
    with open(table, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    c.equal("rows of expected-counts.tsv", len(rows), 59)
    for row in rows:
        path = options.samples / row["file"]
        result = run(nsfrex, "stat", path, timeout=120)
        if not c.check(result.returncode == 0, f"stat {row['file']}: exit {result.returncode}: {result.stderr}"):
            continue
        stat = json.loads(result.stdout)
        want = {"ods": int(row["ods"]), "notes": int(row["notes"]), "documents": int(row["documents"]),
                "deletion_stubs": int(row["deletion_stubs"]), "objects": int(row["objects"]), "encrypted": False}
        c.equal(f"stat {row['file']}", {key: stat.get(key) for key in want}, want)
        c.equal(f"stat {row['file']}: title", stat.get("title", "")[:30], row["title"])
        replica = stat.get("replica_id", "")
        c.check(len(replica) == 16 and all(ch in "0123456789ABCDEF" for ch in replica),
                f"stat {row['file']}: replica_id {replica!r}")
        result = run(nsfrex, "dump", path, timeout=120)
        c.check(result.returncode == 0 and result.stdout.startswith("database "),
                f"dump {row['file']}: exit {result.returncode}: {result.stderr.strip()[:200]}")

    result = run(nsfrex, "stat", table, timeout=120)
    c.check(result.returncode != 0 and not result.stdout and "expected-counts.tsv" in result.stderr
            and len(result.stderr.strip().splitlines()) == 1, f"stat on a non-database: {result.stderr!r}")
    c.equal("stat without a file: exit", run(nsfrex, "stat", timeout=120).returncode, 2)
    result = run(nsfrex, "dump", options.samples / "sample.nsf", "--note", "0x17E", timeout=120)
    c.check(result.returncode == 0 and "$FolderIDTable" in result.stdout, f"dump --note 0x17E: {result.returncode}")
    return c.report(f"{'FAILED' if c.failures else 'passed'}: nsfrex stat and dump on {len(rows)} samples")


if __name__ == "__main__":
    sys.exit(main())
