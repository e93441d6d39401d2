#!/usr/bin/env python3
"""Damage every sample database in fixed, seeded ways (an RRV bucket, a summary bucket's marker, every
superblock copy, the file's end) and extract the copies in each format. The rule for every copy:
everything the undamaged file gives is either extracted identically or reported as lost (stderr
names the database, and index.json lists the damage or a failed subfile, or the database is refused);
a copy reported as complete gives exactly the undamaged files."""
import collections
import hashlib
import json
import pathlib
import subprocess
import sys
import tempfile
from damage import KINDS, damage
from e2e_support import parse_options, report

FORMATS = ["auto", "text", "fields", "dxl"]
SEED = 20


def contents(folder):
    """The multiset of file contents of an output folder, index.json aside."""
    files = collections.Counter()
    if folder.is_dir():
        for path in folder.rglob("*"):
            if path.is_file() and path.name != "index.json":
                files[hashlib.sha256(path.read_bytes()).hexdigest()] += 1
    return files


def extract(nsfrex, fmt, out, databases):
    args = [str(nsfrex), "extract", "-q", "-j", "2", "--format", fmt, "-o", str(out), *map(str, databases)]
    return subprocess.run(args, capture_output=True, text=True, timeout=600)


def main():
    options = parse_options()
    nsfrex, samples = options.nsfrex, options.sample_databases()
    options.require(nsfrex)
    if len(samples) != 59:
        sys.exit(f"FAIL: {len(samples)} sample databases, not 59")
    failures = []
    checked = collections.Counter()
    with tempfile.TemporaryDirectory(prefix="nsfrex-damage-") as scratch:
        root = pathlib.Path(scratch)
        # Two kinds per sample, each copy extracted in one format, so that every kind meets every format.
        jobs = collections.defaultdict(list)  # format -> [(sample, kind, damaged copy)]
        for i, sample in enumerate(samples):
            for k in (i % len(KINDS), (i + 1) % len(KINDS)):
                data = damage(sample.read_bytes(), KINDS[k], f"{SEED}:{sample.name}")
                if data is None:
                    continue
                copy = root / "damaged" / f"{sample.stem}.{KINDS[k]}.nsf"
                copy.parent.mkdir(exist_ok=True)
                copy.write_bytes(data)
                jobs[FORMATS[(i + k) % len(FORMATS)]].append((sample, KINDS[k], copy))
        for fmt, copies in jobs.items():
            whole = extract(nsfrex, fmt, root / "whole" / fmt, sorted({s for s, _, _ in copies}))
            if whole.returncode != 0:
                failures.append(f"undamaged samples --format {fmt}: exit {whole.returncode}: {whole.stderr[:300]}")
            broken = extract(nsfrex, fmt, root / "broken" / fmt, [c for _, _, c in copies])
            for sample, kind, copy in copies:
                checked[kind] += 1
                expected = contents(root / "whole" / fmt / sample.stem)
                folder = root / "broken" / fmt / copy.stem
                got = contents(folder)
                missing, changed = expected - got, got - expected
                named = str(copy) in broken.stderr
                index = folder / "index.json"
                listed = False
                if index.is_file():
                    manifest = json.loads(index.read_text(encoding="utf-8"))
                    listed = bool(manifest["damage"]) or any(s["status"] == "failed" for s in manifest["subfiles"])
                refused = not index.is_file() and named
                where = f"{copy.name} --format {fmt}"
                checked["with losses"] += bool(missing or changed)
                if (missing or changed) and not (refused or (listed and named)):
                    failures.append(f"{where}: {sum(missing.values())} files missing, {sum(changed.values())} "
                                    f"changed, and no loss reported")
                if not (listed or refused) and (missing or changed):
                    failures.append(f"{where}: reported complete but differs from the undamaged file")
    summary = ", ".join(f"{kind}: {n}" for kind, n in sorted(checked.items()))
    return report(failures, f"damaged copies checked: {summary}")


if __name__ == "__main__":
    sys.exit(main())
