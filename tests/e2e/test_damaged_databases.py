#!/usr/bin/env python3
"""Damaged databases lose nothing in silence. Damages that once lost notes or attachment data with exit
status 0: a changed byte in an RRV bucket, a summary bucket whose marker is zeroed (the notes it
holds unreachable), and a cut file whose attachment data runs past its end (DXL export once dropped
it and succeeded). Each exits 1 in every format, names the loss on stderr and lists it in index.json,
and `stat` says so too. --salvage brings back the notes of an RRV bucket by scanning the buckets."""
import hashlib
import json
import pathlib
import sys
import tempfile
from damage import buckets, note_records, rrv_buckets, u32
from e2e_support import parse_options, report, run

FORMATS = ["auto", "text", "fields", "dxl"]
TWOKEY = "samples_views_findbykeyextend_twokey.nsf"


def note_files(folder):
    """index.json of an output folder and the SHA-256 of each note written."""
    index = json.loads((folder / "index.json").read_text(encoding="utf-8"))
    notes = sorted(hashlib.sha256((folder / s["path"]).read_bytes()).hexdigest()
                   for s in index["subfiles"] if s["type"] == "Main" and s["status"] == "ok")
    return index, notes


def damaged_copies(samples, root):
    """(name, damaged copy, sample, words stderr must hold, whether some notes or files must be missing)."""
    copies = []

    def write(name, data):
        path = root / f"{name}.nsf"
        path.write_bytes(data)
        return path

    twokey = samples / TWOKEY
    data = bytearray(twokey.read_bytes())
    assert data[0x289CF] == 0xFF, "the RRV bucket example's byte has changed"
    data[0x289CF] = 0xD5  # the bucket's entries are all unused: nothing is missing, its loss is still said
    copies.append(("rrv", write("rrv", data), twokey, ["RRV bucket at offset 0x28012"], False))

    # The RRV bucket that reaches the eight documents (IDs from 8442).
    data = bytearray(twokey.read_bytes())
    at = max(b for b in rrv_buckets(data) if u32(data, b + 6) <= 8442)
    data[at + 100] ^= 0x33
    copies.append(("documents", write("documents", data), twokey, ["8 notes", "RRV bucket"], True))

    # The summary bucket holding the most note records, its marker zeroed.
    srch = samples / "notedata_srch_all.nsf"
    data = bytearray(srch.read_bytes())
    at = max(buckets(data), key=lambda b: note_records(data, b))
    data[at:at + 2] = b"\0\0"
    copies.append(("marker", write("marker", data), srch, ["16 notes", "summary bucket"], True))

    # Cut inside the data of the attachment tms.log.
    attachment = samples / "notedata_attachment.nsf"
    data = attachment.read_bytes()
    copies.append(("cut", write("cut", data[:len(data) - 110 * 4096]), attachment, ["attachment tms.log"], True))
    return copies


def main():
    options = parse_options()
    nsfrex, samples = options.nsfrex, options.samples
    options.require(nsfrex, samples / TWOKEY)
    failures = []
    with tempfile.TemporaryDirectory(prefix="nsfrex-damaged-") as scratch:
        root = pathlib.Path(scratch)
        copies = damaged_copies(samples, root)
        for fmt in FORMATS:
            run(nsfrex, "extract", "-q", "--format", fmt, "-o", str(root / "whole" / fmt),
                *sorted({str(sample) for _, _, sample, _, _ in copies}))
        for name, damaged, sample, words, costs in copies:
            for fmt in FORMATS:
                where = f"{name} --format {fmt}"
                whole = root / "whole" / fmt
                _, whole_notes = note_files(whole / sample.stem)
                out = root / fmt / name
                result = run(nsfrex, "extract", "-q", "--format", fmt, "-o", str(out), str(damaged))
                if result.returncode != 1:
                    failures.append(f"{where}: exit {result.returncode}, expected 1")
                for word in ["lost", *words]:
                    if word not in result.stderr:
                        failures.append(f"{where}: stderr does not say {word!r}: {result.stderr[:400]!r}")
                index, notes = note_files(out / damaged.stem)
                if not index["damage"]:
                    failures.append(f"{where}: index.json lists no damage")
                failed = [s for s in index["subfiles"] if s["status"] == "failed"]
                if not costs and (notes != whole_notes or failed):
                    failures.append(f"{where}: {len(notes)} notes, {len(failed)} failed; the undamaged file gives "
                                    f"{len(whole_notes)} and the damage costs none")
            stat = run(nsfrex, "stat", str(damaged))
            if stat.returncode != 1 or not json.loads(stat.stdout or "{}").get("damage"):
                failures.append(f"stat {name}: exit {stat.returncode}, {stat.stdout[-300:]!r}")

        # Salvage reads the documents of the lost RRV bucket from the buckets, as they were.
        _, whole_notes = note_files(root / "whole" / "fields" / pathlib.Path(TWOKEY).stem)
        result = run(nsfrex, "extract", "-q", "--format", "fields", "--salvage", "-o", str(root / "salvage"),
                     str(root / "documents.nsf"))
        index, notes = note_files(root / "salvage" / "documents")
        if len(whole_notes) != 8 or notes != whole_notes:
            failures.append(f"--salvage: {len(notes)} notes, not the undamaged file's {len(whole_notes)} (8)")
        if sum(d["recovered"] for d in index["damage"]) != 8 or "8 notes recovered" not in result.stderr:
            failures.append(f"--salvage: the 8 notes are not listed as recovered: {result.stderr[:300]!r}")
        stat = json.loads(run(nsfrex, "stat", "--salvage", str(root / "documents.nsf")).stdout or "{}")
        if stat.get("documents") != 8:
            failures.append(f"stat --salvage: {stat.get('documents')} documents, expected 8")
    return report(failures, f"{len(copies)} damaged copies, each extracted in {len(FORMATS)} formats")


if __name__ == "__main__":
    sys.exit(main())
