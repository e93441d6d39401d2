#!/usr/bin/python3
"""Notes bitmaps in the rich text of every real sample and of the built sample database turn into BMP files:
every rich-text item converts (nsfrex-rt2html), no image part is left without a Content-Type (the mark of
a Notes bitmap the image library did not convert), and Pillow opens every BMP part and finds the width and
height that the image tag took from the bitmap's header. The same holds for the BMP parts of the mails that
nsfrex extract --format auto writes (MHT) for the databases with Notes bitmaps.

All converted Notes bitmaps are pasted into a contact sheet, <build>/test-artefacts/notes-bitmaps.png,
for a person to look at."""
import base64
import email
import email.policy
import io
import pathlib
import re
import sys
import tempfile

from PIL import Image, ImageDraw  # Debian package python3-pil
import e2e_support
from e2e_support import parse_options, report

TAG = re.compile(rb'<IMG src=3D"file:///([^"]+)" width=3D(\d+) height=3D(\d+)>')
DECODED_TAG = re.compile(rb'<IMG src="file:///([^"]+)" width=(\d+) height=(\d+)>')
BOUNDARY = re.compile(rb"\r\n------=_NextPart_[^\r]*\r\n")
CELL = 160
LABEL = 12


def run(program, *args):
    return e2e_support.run(program, *args, timeout=300, text=False)


def parts_of(body):
    """Content-Location -> (headers, decoded bytes) of the base64 parts of an MHT body."""
    parts = {}
    for part in BOUNDARY.split(body)[1:]:
        head, _, text = part.partition(b"\r\n\r\n")
        headers = dict(line.split(b": ", 1) for line in head.split(b"\r\n") if b": " in line)
        location = headers.get(b"Content-Location", b"").removeprefix(b"file:///")
        if headers.get(b"Content-Transfer-Encoding") == b"base64":
            parts[location] = (headers, base64.b64decode(text.split(b"\r\n\r\n")[0].replace(b"\r\n", b"")))
    return parts


def notes_bitmaps(rt2html, database, failures):
    """(label, PIL image) of every converted Notes bitmap of `database`; failures for the rest."""
    found = []
    listing = run(rt2html, "--list", str(database))
    if listing.returncode != 0:
        failures.append(f"{database.name}: rt2html --list: {listing.stderr.decode(errors='replace').strip()}")
        return found
    for line in listing.stdout.decode().splitlines():
        note, item = line.split("\t", 1)
        converted = run(rt2html, str(database), note, item)
        where = f"{database.name} note {note} {item}"
        if converted.returncode != 0:
            failures.append(f"{where}: rt2html: {converted.stderr.decode(errors='replace').strip()}")
            continue
        parts = parts_of(converted.stdout)
        for name, headers_bytes in parts.items():
            headers, data = headers_bytes
            if b"Content-Type" not in headers:
                failures.append(f"{where}: {name.decode()} has no Content-Type (records starting {data[:2].hex()})")
        for name, width, height in TAG.findall(converted.stdout):
            headers, data = parts.get(name, ({}, b""))
            if headers.get(b"Content-Type") != b"image/bmp" or not data.startswith(b"BM"):
                continue
            image = check_bmp(f"{where}: {name.decode()}", data, int(width), int(height), failures)
            if image is not None:
                found.append((f"{database.stem[:14]} {note}", image))
    return found


def check_bmp(where, data, width, height, failures):
    """The PIL image of BMP bytes whose header says width x height, or None after a failure."""
    try:
        image = Image.open(io.BytesIO(data))
        image.load()
    except Exception as error:  # Pillow raises many kinds; each is a failure here
        failures.append(f"{where}: Pillow cannot read it: {error}")
        return None
    if image.size != (width, height):
        failures.append(f"{where}: {image.size}, the header says {width} x {height}")
    return image


def extracted_bitmaps(nsfrex, database, failures):
    """BMP parts of the MHT mails extract writes for `database`, checked; None when it writes no MHT."""
    with tempfile.TemporaryDirectory() as out:
        result = run(nsfrex, "extract", "-q", "--format", "auto", "-o", out, str(database))
        if result.returncode not in (0, 1):
            failures.append(f"{database.name}: extract: {result.stderr.decode(errors='replace').strip()}")
            return 0
        count, mime = 0, False
        for path in sorted(pathlib.Path(out).rglob("*.mail")):
            message = email.message_from_bytes(path.read_bytes(), policy=email.policy.default)
            if not message.is_multipart():
                continue
            mime = True
            tags = {}
            for part in message.walk():
                if part.get_content_type() == "text/html":
                    html = part.get_content().encode("utf-8", "replace")
                    tags.update((n, (int(w), int(h))) for n, w, h in DECODED_TAG.findall(html))
            for part in message.walk():
                if part.get_content_type() != "image/bmp":
                    continue
                name = part.get("Content-Location", "").removeprefix("file:///").encode()
                if name not in tags:
                    failures.append(f"{path.name}: BMP part {name.decode()} has no image tag")
                    continue
                count += check_bmp(f"{path.name}: {name.decode()}", part.get_payload(decode=True), *tags[name],
                                   failures) is not None
        return count if mime else None


def contact_sheet(images, path):
    columns = 8
    rows = (len(images) + columns - 1) // columns
    sheet = Image.new("RGB", (columns * CELL, max(rows, 1) * (CELL + LABEL)), (200, 200, 200))
    draw = ImageDraw.Draw(sheet)
    for i, (label, image) in enumerate(images):
        thumb = image.convert("RGB")
        thumb.thumbnail((CELL - 4, CELL - 4))
        x, y = (i % columns) * CELL, (i // columns) * (CELL + LABEL)
        draw.text((x + 2, y), label, fill=(0, 0, 0))
        sheet.paste(thumb, (x + 2, y + LABEL))
    path.parent.mkdir(parents=True, exist_ok=True)
    sheet.save(path)


def main():
    options = parse_options()
    nsfrex, built = options.nsfrex, options.built_samples / "nsfrex-sample.nsf"
    databases = sorted(options.samples.glob("*.nsf"))
    options.require(nsfrex, options.rt2html, built, options.samples / "sample.nsf")
    failures = []
    images, extracted, mht = [], 0, True
    for database in databases + [built]:
        found = notes_bitmaps(options.rt2html, database, failures)
        images += found
        if found and mht:
            count = extracted_bitmaps(nsfrex, database, failures)
            mht = count is not None
            extracted += count or 0
    if len([1 for label, _ in images if label.startswith("nsfrex-sample")]) != 6:
        failures.append("the built sample database should hold 6 Notes bitmaps")
    sheet = options.bin.parent / "test-artefacts" / "notes-bitmaps.png"
    contact_sheet(images, sheet)
    if mht and extracted == 0:
        failures.append("the extracted mails hold no BMP part")
    extract = f"{extracted} BMP parts in extracted mails" if mht else "extract writes no MHT yet: its mails not checked"
    return report(failures, f"{len(images)} BMP images converted or stored; {extract}; contact sheet {sheet}")


if __name__ == "__main__":
    sys.exit(main())
