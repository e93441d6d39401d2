#!/usr/bin/env python3
"""Runs over many databases: -r and --files-from give one stable order; N shard runs into one folder
together equal one full run, each database done by one shard only; --resume skips what is complete and
redoes a database that changed; SIGINT and SIGTERM stop the run cleanly; the run manifest describes it."""
import json
import os
import pathlib
import signal
import shutil
import subprocess
import sys
import tempfile
import time
from e2e_support import parse_options, report, tree_digest

SAMPLES = ["notedata_MIMEMsg.nsf", "notedata_attachment.nsf", "sample.nsf", "notedata_discuss.nsf",
           "notedata_acls.nsf", "notedata_big_rich.nsf", "notedata_doclink1.nsf"]


def extract(nsfrex, *args, **kwargs):
    return subprocess.run([str(nsfrex), "extract", "-q", *map(str, args)], capture_output=True, text=True,
                          errors="replace", timeout=600, **kwargs)


def run_manifest(out, name="nsfrex-run.json"):
    return json.loads((out / name).read_text(encoding="utf-8"))


def main():
    options = parse_options()
    nsfrex = options.bin / "nsfrex"
    sources = [options.shared / "samples" / "nsf" / name for name in SAMPLES]
    options.require(nsfrex, *sources)
    failures = []
    fail = failures.append

    with tempfile.TemporaryDirectory(prefix="nsfrex-runs-") as scratch:
        root = pathlib.Path(scratch)
        # A collection in nested folders, with a file that is no database and two databases of one name.
        collection = root / "archive"
        for i, source in enumerate(sources):
            folder = collection / ("b" if i % 2 else "a") / ("deep" if i % 3 == 0 else "")
            folder.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(source, folder / source.name)
        shutil.copyfile(sources[0], collection / sources[0].name)
        (collection / "notes.txt").write_text("not a database\n")
        ordered = sorted((p for p in collection.rglob("*.nsf")), key=lambda p: os.fsencode(p))

        full = root / "full"
        result = extract(nsfrex, "-r", collection, "-o", full)
        manifest = run_manifest(full)
        listed = [d["path"] for d in manifest["databases"]]
        if listed != [str(p) for p in ordered]:
            fail(f"-r: order {listed[:3]}... is not the byte order of the paths")
        if result.returncode not in (0, 1) or any(d["state"] != "extracted" for d in manifest["databases"]):
            fail(f"-r: exit {result.returncode}, states {[d['state'] for d in manifest['databases']]}")
        expected = tree_digest(full)
        if sum(1 for k, v in expected.items() if k.endswith("/index.json")) != len(ordered):
            fail("-r: not every database has its folder")

        # The same list through --files-from, from a file and NUL-separated on stdin.
        listing = root / "list.txt"
        listing.write_text("".join(f"{p}\n" for p in ordered))
        for label, args, stdin in (("file", ["--files-from", listing], None),
                                   ("stdin -0", ["--files-from", "-", "-0"], "".join(f"{p}\0" for p in ordered))):
            out = root / f"from-{label.replace(' ', '')}"
            extract(nsfrex, *args, "-o", out, input=stdin)
            if tree_digest(out) != expected:
                fail(f"--files-from {label}: a different tree than -r")

        # Three shards into one folder: together the full run, each database in one shard's manifest.
        sharded = root / "sharded"
        done = []
        for k in range(3):
            result = extract(nsfrex, "-j", 2, "--shard", f"{k}/3", "-r", collection, "-o", sharded)
            shard = run_manifest(sharded, f"nsfrex-run-{k}-of-3.json")
            done += [d["path"] for d in shard["databases"] if d["state"] == "extracted"]
        if sorted(done) != sorted(str(p) for p in ordered):
            fail(f"shards did {len(done)} databases ({len(set(done))} distinct) of {len(ordered)}")
        if tree_digest(sharded) != expected:
            fail("the union of the shard runs differs from one full run")

        # --resume: nothing to do, then only the database that changed is done again.
        result = extract(nsfrex, "--resume", "-r", collection, "-o", full)
        states = {d["state"] for d in run_manifest(full)["databases"]}
        if result.returncode != 0 or states != {"unchanged"} or tree_digest(full) != expected:
            fail(f"--resume over a complete run: exit {result.returncode}, states {states}")
        changed = ordered[1]
        os.utime(changed, ns=(time.time_ns(), time.time_ns()))
        extract(nsfrex, "--resume", "-r", collection, "-o", full)
        redone = [d["path"] for d in run_manifest(full)["databases"] if d["state"] == "extracted"]
        if redone != [str(changed)]:
            fail(f"--resume after touching {changed.name}: redone {redone}")
        if {k: v for k, v in tree_digest(full).items() if not k.endswith("index.json")} != \
                {k: v for k, v in expected.items() if not k.endswith("index.json")}:
            fail("--resume changed the extracted files")

        # A stop signal in the middle of a run over every sample: exit 128 + signal, the summary, no
        # work-in-progress folder, every database folder complete; --resume then finishes the job.
        everything = options.shared / "samples" / "nsf"
        reference = root / "every-sample"
        extract(nsfrex, "-r", everything, "-o", reference)
        for sig in (signal.SIGINT, signal.SIGTERM):
            out = root / f"stopped-{sig.name}"
            process = subprocess.Popen([str(nsfrex), "extract", "-r", str(everything), "-o", str(out)],
                                       stderr=subprocess.PIPE, text=True, errors="replace")
            deadline = time.time() + 120
            while time.time() < deadline and not list(out.glob("*/index.json")):
                time.sleep(0.01)
            process.send_signal(sig)
            _, stderr = process.communicate(timeout=300)
            states = [d["state"] for d in run_manifest(out)["databases"]] if (out / "nsfrex-run.json").exists() else []
            leftovers = [p.name for p in out.iterdir() if p.name.startswith(".")]
            incomplete = [p.name for p in out.iterdir() if p.is_dir() and not (p / "index.json").is_file()]
            if process.returncode != 128 + sig or "interrupted" not in states or leftovers or incomplete:
                fail(f"{sig.name}: exit {process.returncode}, {states.count('extracted')} extracted, "
                     f"{states.count('interrupted')} interrupted, left {leftovers}, incomplete {incomplete}")
            if f"stopped by {sig.name}" not in stderr:
                fail(f"{sig.name}: no summary: {stderr[-300:]!r}")
            extract(nsfrex, "--resume", "-r", everything, "-o", out)
            if tree_digest(out) != tree_digest(reference):
                fail(f"{sig.name}: stopped and resumed, the tree differs from one uninterrupted run")
    return report(failures, f"{len(ordered)} databases, {len(failures)} failures")


if __name__ == "__main__":
    sys.exit(main())
