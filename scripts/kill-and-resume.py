#!/usr/bin/env python3
"""Kills `nsfrex extract` with SIGKILL at random points and resumes it; the final tree must equal that of
an uninterrupted run byte for byte, with no work-in-progress folder left. Not part of the unit suite: it
takes as long as the databases take.

    scripts/kill-and-resume.py [--kills 10] [--seed 1] [--jobs 2] [--format fields] [--bin build/bin] DB...
    scripts/kill-and-resume.py --generate 1G [--generate-seed 1] [--scratch DIR] ...

With --generate, nsfrex_mkmail writes a mail database of that size into the scratch folder first (and it
is removed with the rest).
"""
import argparse
import hashlib
import os
import pathlib
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time


def tree(root):
    """Relative path -> SHA-256 (or 'folder') of everything but the run manifests."""
    found = {}
    for path in sorted(root.rglob("*")):
        relative = path.relative_to(root).as_posix()
        if not relative.startswith("nsfrex-run"):
            found[relative] = "folder" if path.is_dir() else hashlib.sha256(path.read_bytes()).hexdigest()
    return found


def session_alive(sid):
    """Whether any process of session `sid` is still there (the killed command's children included)."""
    for stat in pathlib.Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[3]) == sid and fields[0] != "Z":
            return True
    return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("databases", nargs="*", type=pathlib.Path)
    parser.add_argument("--generate", metavar="SIZE", help="also run on a generated mail database of this size")
    parser.add_argument("--generate-seed", type=int, default=1)
    parser.add_argument("--bin", type=pathlib.Path, default=pathlib.Path(__file__).resolve().parent.parent / "build" / "bin")
    parser.add_argument("--kills", type=int, default=10)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--format", default="fields")
    parser.add_argument("--scratch", type=pathlib.Path, help="where the two output trees go (default: a temporary folder)")
    options = parser.parse_args()
    if not options.databases and not options.generate:
        parser.error("name databases or --generate SIZE")
    nsfrex = options.bin / "nsfrex"
    command = [str(nsfrex), "extract", "-q", "--format", options.format, "-j", str(options.jobs)]
    rng = random.Random(options.seed)

    scratch = pathlib.Path(tempfile.mkdtemp(prefix="nsfrex-kill-", dir=options.scratch))
    try:
        if options.generate:
            generated = scratch / "generated" / "mail.nsf"
            generated.parent.mkdir()
            subprocess.run([str(options.bin / "nsfrex_mkmail"), "--size", options.generate, "--seed",
                            str(options.generate_seed), str(generated)], check=True)
            options.databases.append(generated)
        reference = scratch / "reference"
        started = time.monotonic()
        first = subprocess.run([*command, "-o", str(reference), *map(str, options.databases)])
        span = time.monotonic() - started
        if first.returncode not in (0, 1):
            print(f"kill-and-resume: the uninterrupted run exits {first.returncode}", file=sys.stderr)
            return 1
        print(f"uninterrupted run: {span:.2f} s, {len(tree(reference))} entries")

        # Each trial starts afresh: a run killed at a random point, a resumed run killed again (it may
        # finish first), then a resumed run to the end, compared with the uninterrupted one. A fresh run
        # that ends before its kill shortens the span the points are drawn from: on a shared machine
        # one run can take twice as long as the next.
        kills, failed = 0, 0
        for trial in range(options.kills):
            resumed = scratch / f"trial-{trial + 1}"
            notes = []
            for attempt, share in enumerate((rng.uniform(0.05, 0.95), rng.uniform(0, 0.5))):
                delay = share * span
                started = time.monotonic()
                process = subprocess.Popen([*command, *(["--resume"] if attempt else []), "-o", str(resumed),
                                            *map(str, options.databases)], start_new_session=True)
                try:
                    process.wait(timeout=delay)
                    notes.append(f"finished before {delay:.2f} s")
                    if attempt == 0:
                        span = min(span, time.monotonic() - started)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
                    kills += 1
                    notes.append(f"killed at {delay:.2f} s")
                while session_alive(process.pid):
                    time.sleep(0.02)
            final = subprocess.run([*command, "--resume", "-o", str(resumed), *map(str, options.databases)])
            a, b = tree(reference), tree(resumed)
            partial = [name for name in b if name.startswith(".nsfrex-partial.")]
            differ = sorted(k for k in set(a) | set(b) if a.get(k) != b.get(k))
            ok = not differ and not partial and final.returncode in (0, 1)
            failed += 0 if ok else 1
            print(f"trial {trial + 1}: {', '.join(notes)}; resumed run exits {final.returncode}; "
                  f"{len(differ)} entries differ, {len(partial)} work-in-progress entries left")
            for name in differ[:10]:
                print(f"  differs: {name}", file=sys.stderr)
            shutil.rmtree(resumed, ignore_errors=True)
        print(f"{options.kills} trials, {kills} kills, {failed} trials with a different tree")
        return 1 if failed else 0
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
