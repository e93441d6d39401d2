#!/usr/bin/env python3
"""nsfrex extract --format auto on every sample database and on the built sample: every mail comes out as an
MHT document that Python's email package (policy default) reads without a defect; its root is
multipart/related with a text/html first part in UTF-8; every image the page shows has its part; every image
part with a Content-Type decodes with Pillow to an image of that type. Notes bitmaps (image parts without a
Content-Type) are counted apart. Prints per sample the mails, the image parts and the time taken, and names
every place where the page's quoted-printable text holds an "=" that is not an escape (text written as it
stands: the decoded page differs from the text there)."""
import email
import email.policy
import io
import re
import subprocess
import sys
import tempfile
import time
import pathlib
from e2e_support import parse_options, report

try:
    from PIL import Image
except ImportError:  # reported as a failure below
    Image = None

IMG_SRC = re.compile(rb'<IMG src=3D"file:///([^"]+)"', re.IGNORECASE)
# an "=" that is neither the escape of "=" nor a soft line break
BARE_EQUALS = re.compile(rb"=(?!3D|\r\n)")
PIL_FORMATS = {"gif": "GIF", "jpeg": "JPEG", "bmp": "BMP", "png": "PNG", "jfif": "JPEG"}
FAILED_LINE = re.compile(r"^nsfrex extract: .*?: subfile (\d+) \(.*?\): (.*)$")


def check_mail(path, failures, tally):
    raw = path.read_bytes()
    name = f"{path.parent.name}/{path.name}"
    message = email.message_from_bytes(raw, policy=email.policy.default)
    for part in message.walk():
        for defect in part.defects:
            failures.append(f"{name}: {type(defect).__name__}: {defect}")
    if message.get_content_type() != "multipart/related" or not message.is_multipart():
        failures.append(f"{name}: root is {message.get_content_type()}, not multipart/related")
        return
    parts = message.get_payload()
    if not parts or parts[0].get_content_type() != "text/html":
        failures.append(f"{name}: first part is not text/html")
        return
    try:
        parts[0].get_payload(decode=True).decode("utf-8")
    except UnicodeDecodeError as error:
        failures.append(f"{name}: HTML part is not UTF-8 ({error})")

    # the HTML part as written: from its headers' end to the next delimiter
    start = raw.index(b"\r\n\r\n", raw.index(b"Content-Location: file://C:\\1.htm")) + 4
    end = raw.find(b"\r\n------=_NextPart_000_0004_01CB58DD.164505B0", start)
    html = raw[start:end if end >= 0 else len(raw)]
    for match in BARE_EQUALS.finditer(html):
        context = html[max(0, match.start() - 30):match.start() + 30].decode("utf-8", "replace")
        tally["bare_equals"].append(f"{name} at {match.start()}: {context!r}")

    locations = {}
    for part in parts[1:]:
        location = part.get("Content-Location", "")
        locations[location] = part
        if part.get("Content-Type") is None:
            tally["bitmaps"] += 1
            continue
        tally["images"] += 1
        subtype = part.get_content_subtype()
        expected = PIL_FORMATS.get(subtype)
        if Image is None:
            continue
        try:
            with Image.open(io.BytesIO(part.get_payload(decode=True))) as image:
                image.load()
                got = image.format
        except Exception as error:  # Pillow raises many kinds for bad data
            failures.append(f"{name}: image part {location} does not decode as {subtype}: {error}")
            continue
        if got != expected:
            failures.append(f"{name}: image part {location} is {got}, its Content-Type says {subtype}")
    for src in IMG_SRC.findall(html):
        if f"file:///{src.decode('utf-8', 'replace')}" not in locations:
            failures.append(f"{name}: <IMG> {src!r} has no part")


def main():
    options = parse_options()
    nsfrex = options.bin / "nsfrex"
    samples_dir = options.shared / "samples" / "nsf"
    built = options.bin.parent / "samples" / "nsfrex-sample.nsf"
    for needed in (nsfrex, samples_dir, built):
        if not needed.exists():
            print(f"FAIL: missing {needed}", file=sys.stderr)
            return 1
    failures = []
    if Image is None:
        failures.append("Pillow (python3-pil) is not installed")
    samples = sorted(samples_dir.glob("*.nsf")) + [built]
    tally = {"images": 0, "bitmaps": 0, "bare_equals": []}
    mails = 0
    failed_subfiles = 0
    elapsed = 0.0
    with tempfile.TemporaryDirectory(prefix="nsfrex-mht-") as scratch:
        for sample in samples:
            out = pathlib.Path(scratch) / sample.stem
            command = [str(nsfrex), "extract", "-q", "-o", str(out), "--format", "auto", str(sample)]
            if sample == built:
                command[2:2] = ["--id", str(built.with_suffix(".id")), "--password", "sample"]
            began = time.monotonic()
            result = subprocess.run(command, capture_output=True, text=True, errors="replace", timeout=900)
            elapsed += time.monotonic() - began
            if result.returncode not in (0, 1):
                failures.append(f"{sample.name}: exit status {result.returncode}: {result.stderr.strip()[:300]}")
            for line in result.stderr.splitlines():
                if FAILED_LINE.match(line):
                    failed_subfiles += 1
                    print(f"  {sample.name}: {line}")
            files = sorted(out.rglob("*.mail"))
            mails += len(files)
            for path in files:
                check_mail(path, failures, tally)
    for place in tally["bare_equals"]:
        print(f"  unescaped '=': {place}")
    summary = (f"{len(samples)} databases, {mails} mails, {failed_subfiles} failed subfiles, "
               f"{tally['images']} image parts, {tally['bitmaps']} Notes bitmaps without Content-Type, "
               f"{len(tally['bare_equals'])} unescaped '=', {elapsed:.1f} s, {len(failures)} failures")
    return report(failures, summary)


if __name__ == "__main__":
    sys.exit(main())
