#!/usr/bin/env python3
"""nsfrex extract on every sample database, one database per run, in the text, fields and dxl formats: every run completes,
every published attachment comes out with its size and SHA-256, every DXL file is valid against the DTD
and every note file is UTF-8. Prints, per sample, the files each format produced and the subfiles that
failed with their reasons."""
import collections
import csv
import hashlib
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
from e2e_support import parse_options, report

FORMATS = ["text", "fields", "dxl"]
MIME_SAMPLE = "notedata_MIMEMsg.nsf"
# Body texts of its three MIME mails (their HTML choices) as the text rendering gives them, line ends as
# written (CR LF)
MIME_BODY_TEXTS = [
    "\r\n\r\nThis is a test message.",
    "\r\n\r\nThis is a text message, with a txt file attached.\r\n",
    "\r\n\r\nYou can get two types of Help in Notes:\r\nContext-sensitive Help, specific to the task you're performing\r\n",
    "In this release of Notes, many parts of your mail, Personal Address Book",
    "Help for IBM Lotus Domino Designer\u00ae 6 while in Notes) by using the Actions menu in the Help window.\r\n",
]
FAILED_LINE = re.compile(r"^nsfrex extract: .*?: subfile (\d+) \(.*?\): (.*)$")


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as stream:
        for chunk in iter(lambda: stream.read(1 << 16), b""):
            digest.update(chunk)
    return digest.hexdigest()


def main():
    options = parse_options()
    nsfrex = options.bin / "nsfrex"
    samples_dir = options.shared / "samples" / "nsf"
    expected_tsv = options.shared / "samples" / "expected-attachments.tsv"
    dtd = options.shared / "dxl" / "domino_9_0_1.dtd"
    for needed in (nsfrex, samples_dir, expected_tsv, dtd):
        if not needed.exists():
            print(f"FAIL: missing {needed}", file=sys.stderr)
            return 1
    if shutil.which("xmllint") is None:
        print("FAIL: xmllint is not installed", file=sys.stderr)
        return 1

    failures = []
    samples = sorted(samples_dir.glob("*.nsf"))
    if not samples:
        failures.append(f"no sample databases in {samples_dir}")

    with tempfile.TemporaryDirectory(prefix="nsfrex-extract-") as scratch:
        root = pathlib.Path(scratch)
        outputs = {}  # (sample name, format) -> folder
        for sample in samples:
            counts = {}
            failed = collections.defaultdict(list)
            for fmt in FORMATS:
                out = root / sample.stem / fmt
                outputs[(sample.name, fmt)] = out
                try:
                    result = subprocess.run([str(nsfrex), "extract", "-o", str(out), "--format", fmt, str(sample)],
                                            capture_output=True, text=True, errors="replace", timeout=900)
                except subprocess.TimeoutExpired:
                    failures.append(f"{sample.name} {fmt}: timed out")
                    continue
                if result.returncode not in (0, 1):
                    failures.append(f"{sample.name} {fmt}: exit status {result.returncode}: {result.stderr.strip()[:300]}")
                for line in result.stderr.splitlines():
                    match = FAILED_LINE.match(line)
                    if match:
                        failed[fmt].append((int(match.group(1)), match.group(2)))
                    elif result.returncode == 1 and line.strip():
                        failed[fmt].append((-1, line.strip()))
                files = [p for p in out.rglob("*") if p.is_file()] if out.exists() else []
                counts[fmt] = len(files)
                for path in files:
                    if not path.resolve().is_relative_to(out.resolve()):
                        failures.append(f"{sample.name} {fmt}: file outside the output folder: {path}")
                    if path.suffix in (".mail", ".tmp"):
                        try:
                            path.read_bytes().decode("utf-8")
                        except UnicodeDecodeError as error:
                            failures.append(f"{sample.name} {fmt}: {path.name} is not UTF-8 ({error})")
                    if path.suffix == ".dxl":
                        check = subprocess.run(["xmllint", "--noout", "--nonet", "--dtdvalid", str(dtd), str(path)],
                                               capture_output=True, text=True, errors="replace", timeout=300)
                        if check.returncode != 0:
                            failures.append(f"{sample.name} {fmt}: {path.name} is not valid DXL: "
                                            f"{check.stderr.strip()[:300]}")
            summary = ", ".join(f"{fmt} {counts.get(fmt, 0)}" for fmt in FORMATS)
            print(f"{sample.name}: files {summary}")
            for fmt in FORMATS:
                for index, reason in failed[fmt]:
                    where = f"subfile {index}" if index >= 0 else "run"
                    print(f"  {fmt}: {where} failed: {reason}")

        # every published attachment is among the files of its sample (the text run), byte for byte
        with open(expected_tsv, newline="", encoding="utf-8") as stream:
            for row in csv.DictReader(stream, delimiter="\t"):
                name, size, digest, found_in = row["file_name"], int(row["size"]), row["sha256"], row["found_in"]
                out = outputs.get((found_in, "text"))
                if out is None:
                    failures.append(f"attachment {name}: sample {found_in} not extracted")
                    continue
                stem, dot, ext = name.rpartition(".")
                # attachments sit in a folder beside their note; a clash adds " (N)" before the extension
                candidates = [p for p in out.rglob("*") if p.is_file() and
                              (p.name == name or (dot and p.name.startswith(stem + " (") and p.name.endswith("." + ext)))]
                if not any(p.stat().st_size == size and sha256(p) == digest for p in candidates):
                    got = ", ".join(f"{p.name} ({p.stat().st_size} bytes)" for p in candidates) or "no file"
                    failures.append(f"attachment {name} of {found_in}: expected {size} bytes {digest[:12]}..., got {got}")

        # the embedded OLE object of notedata_notesflo.nsf comes out as its OLE2 compound file: four
        # 8192-byte pages with the compound-file signature in front
        out = outputs.get(("notedata_notesflo.nsf", "text"))
        objects = [p for p in out.rglob("EXT05951") if p.is_file()] if out is not None and out.exists() else []
        if len(objects) != 1:
            failures.append(f"OLE object EXT05951 of notedata_notesflo.nsf: found {len(objects)} files")
        else:
            data = objects[0].read_bytes()
            if len(data) != 4 * 8192 or not data.startswith(bytes.fromhex("D0CF11E0A1B11AE1")):
                failures.append(f"OLE object EXT05951: {len(data)} bytes starting {data[:8].hex()}")

        # MIME mail bodies come out as their decoded text: quoted-printable and the character set undone,
        # the HTML alternative chosen, no markup
        out = outputs.get((MIME_SAMPLE, "text"))
        if out is not None:
            mails = "".join(p.read_bytes().decode("utf-8", "replace") for p in sorted(out.rglob("*.mail")))
            for expected in MIME_BODY_TEXTS:
                if expected not in mails:
                    failures.append(f"{MIME_SAMPLE} text: decoded body text {expected!r} not found")
            for artefact in ("=20", "=\r\n", "=AE", "<font", "<br>", "Content-Type:"):
                if artefact in mails:
                    failures.append(f"{MIME_SAMPLE} text: undecoded MIME {artefact!r} in the mail text")

    return report(failures, f"{len(samples)} samples, {len(failures)} failures")


if __name__ == "__main__":
    sys.exit(main())
