#!/usr/bin/env python3
"""nsfrex extract --format auto on every sample database and on the built sample: every mail comes out as an
MHT document that Python's email package (policy default) reads without a defect; its root is
multipart/related with a text/html first part in UTF-8; every image the page shows has its part; every image
part with a Content-Type decodes with Pillow to an image of that type. Notes bitmaps (image parts without a
Content-Type) are counted apart. Prints per sample the mails, the image parts and the time taken, and names
every place where the page's quoted-printable text holds an "=" that is not an escape (text written as it
stands: the decoded page differs from the text there).

For the MIME mails of notedata_MIMEMsg.nsf and of the built sample, the mail's own MIME message is read
through the Notes C API of libnotes.so (raw MIME parts, joined) and parsed with Python's email package:
the visible text of the MHT page (html5lib) equals the visible text of the mail's text/html part (or of its
text/plain part when it has no HTML), white space normalised, and the bold, italic, underlined, linked,
listed and tabular text and the images of the HTML part are there in the page."""
import ctypes
import email
import email.policy
import io
import json
import re
import subprocess
import sys
import tempfile
import time
import pathlib
from e2e_support import parse_options, report

import html5lib  # Debian package python3-html5lib
from PIL import Image  # Debian package python3-pil

MIME_SAMPLES = ("notedata_MIMEMsg.nsf", "nsfrex-sample.nsf")
OPEN_RAW_MIME = 0x03000000
TYPE_MIME_PART = 0x0019
HEADER_END = b"<BR>\r\n</FONT>\r\n</P>\r\n"
# HTML elements whose text must come out inside the page element of the same meaning
FORMATTING = {"b": "b", "strong": "b", "i": "i", "em": "i", "u": "u", "a": "a", "li": "li", "td": "td", "th": "td"}
INVISIBLE = {"script", "style", "head", "title"}


class BLOCKID(ctypes.Structure):
    _fields_ = [("pool", ctypes.c_uint32), ("block", ctypes.c_uint16)]


class NotesRuntime:
    """The raw MIME message of a note, as its stored MIME parts hold it, through libnotes.so."""

    def __init__(self, bin_dir):
        self.lib = ctypes.CDLL(str(bin_dir / "libnotes.so"))
        self.lib.OSLockObject.restype = ctypes.c_void_p
        self.lib.NSFItemInfoNext.argtypes = [ctypes.c_uint32, BLOCKID, ctypes.c_char_p, ctypes.c_uint16,
                                             ctypes.POINTER(BLOCKID), ctypes.POINTER(ctypes.c_uint16),
                                             ctypes.POINTER(BLOCKID), ctypes.POINTER(ctypes.c_uint32)]
        status = self.lib.NotesInitExtended(0, None)
        if status != 0:
            raise RuntimeError(f"NotesInitExtended: status {status}")

    def raw_mime(self, path, note_id):
        db, note = ctypes.c_uint32(), ctypes.c_uint32()
        if self.lib.NSFDbOpen(str(path).encode(), ctypes.byref(db)) != 0:
            raise RuntimeError(f"NSFDbOpen {path}")
        try:
            if self.lib.NSFNoteOpenExt(db, note_id, OPEN_RAW_MIME, ctypes.byref(note)) != 0:
                raise RuntimeError(f"NSFNoteOpenExt 0x{note_id:X}")
            item, value = BLOCKID(), BLOCKID()
            kind, length = ctypes.c_uint16(), ctypes.c_uint32()
            message = b""
            status = self.lib.NSFItemInfo(note, b"Body", 4, ctypes.byref(item), ctypes.byref(kind),
                                          ctypes.byref(value), ctypes.byref(length))
            while status == 0:
                if kind.value == TYPE_MIME_PART:
                    base = self.lib.OSLockObject(value.pool)
                    data = ctypes.string_at(base + value.block, length.value)
                    self.lib.OSUnlockObject(value.pool)
                    message += data[22:]  # after the part's fixed header
                previous = BLOCKID(item.pool, item.block)
                status = self.lib.NSFItemInfoNext(note, previous, b"Body", 4, ctypes.byref(item), ctypes.byref(kind),
                                                  ctypes.byref(value), ctypes.byref(length))
            self.lib.NSFNoteClose(note)
            return message
        finally:
            self.lib.NSFDbClose(db)


def normalise(text):
    return " ".join(text.replace("\xa0", " ").split())


def visible_text(html_text):
    """The text a browser shows, and the text inside each formatting element kind (page element names)."""
    tree = html5lib.parse(html_text, namespaceHTMLElements=False)
    pieces, inside = [], {kind: [] for kind in set(FORMATTING.values()) | {"img"}}

    def walk(element, kinds):
        tag = element.tag.lower() if isinstance(element.tag, str) else ""
        if tag in INVISIBLE:
            return
        if tag == "img":
            inside["img"].append(element.get("src", ""))
        mine = kinds | ({FORMATTING[tag]} if tag in FORMATTING else set())
        if element.text:
            pieces.append(element.text)
            for kind in mine:
                inside[kind].append(element.text)
        for child in element:
            walk(child, mine)
            if child.tail:
                pieces.append(child.tail)
                for kind in mine:
                    inside[kind].append(child.tail)
        if tag in ("p", "div", "br", "li", "tr", "td", "th", "h1", "h2", "h3", "h4", "h5", "h6", "table"):
            pieces.append(" ")

    walk(tree, set())
    return normalise("".join(pieces)), {kind: normalise(" ".join(texts)) for kind, texts in inside.items()}


def compare_mime_mail(name, mht_path, raw, failures, results):
    source = email.message_from_bytes(raw, policy=email.policy.default)
    html_part = next((p for p in source.walk() if p.get_content_type() == "text/html"
                      and not p.is_attachment()), None)
    plain_part = next((p for p in source.walk() if p.get_content_type() == "text/plain"
                       and not p.is_attachment()), None)
    page = email.message_from_bytes(mht_path.read_bytes(), policy=email.policy.default).get_payload()[0]
    page_bytes = page.get_payload(decode=True)
    cut = page_bytes.find(HEADER_END)
    page_html = page_bytes[cut + len(HEADER_END):] if cut >= 0 else page_bytes
    got, got_kinds = visible_text(page_html.decode("utf-8"))
    if html_part is not None:
        want, want_kinds = visible_text(html_part.get_content())
    elif plain_part is not None:
        want, want_kinds = normalise(plain_part.get_content()), {}
    else:
        return
    same = got == want
    same_letters = got.replace(" ", "") == want.replace(" ", "")
    results.append((name, "html" if html_part is not None else "plain", same, same_letters))
    if not same_letters:
        failures.append(f"{name}: visible text differs:\n    page {got[:300]!r}\n    mail {want[:300]!r}")
    for kind, text in want_kinds.items():
        if kind == "img":
            if len(got_kinds["img"]) < len([s for s in text.split() if s.startswith("cid:")]):
                failures.append(f"{name}: the mail's cid: images are not all in the page")
            continue
        for word in text.split():
            if word not in got_kinds[kind]:
                failures.append(f"{name}: {word!r} is inside <{kind}> in the mail but not in the page")
                break

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


def compare_mime_mails(nsfrex, sample, out, runtime, failures, comparisons):
    """Every mail of the sample whose Body is stored as MIME, against its own message."""
    dump = subprocess.run([str(nsfrex), "dump", str(sample)], capture_output=True, text=True, errors="replace",
                          timeout=300).stdout
    mime_notes, note = set(), None
    for line in dump.splitlines():
        if line.startswith("note 0x"):
            note = int(line.split()[1], 16)
        elif line.split()[:2] == ["Body", "TYPE_MIME_PART"]:
            mime_notes.add(note)
    out = out / sample.stem
    index = json.loads((out / "index.json").read_text(encoding="utf-8"))
    for subfile in index["subfiles"]:
        if not subfile["name"].endswith(".mail"):
            continue
        meta = subprocess.run([str(nsfrex), "meta", str(sample), str(subfile["index"]), "--field", "$$$TM_NoteID",
                               "--json"], capture_output=True, text=True, errors="replace", timeout=300)
        note_id = int(json.loads(meta.stdout)[0]["value"], 16)
        if note_id in mime_notes:
            compare_mime_mail(f"{sample.name} note 0x{note_id:X}", out / subfile["path"],
                              runtime.raw_mime(sample, note_id), failures, comparisons)


def main():
    options = parse_options()
    nsfrex = options.nsfrex
    built = options.built_samples / "nsfrex-sample.nsf"
    options.require(nsfrex, options.samples, built)
    failures = []
    samples = options.sample_databases() + [built]
    tally = {"images": 0, "bitmaps": 0, "bare_equals": []}
    comparisons = []
    runtime = NotesRuntime(options.bin)
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
            if sample.name in MIME_SAMPLES:
                compare_mime_mails(nsfrex, sample, out, runtime, failures, comparisons)
    for name, kind, same, same_letters in comparisons:
        print(f"  MIME {name} ({kind}): visible text {'equal' if same else 'equal but for spaces' if same_letters else 'DIFFERENT'}")
    for place in tally["bare_equals"]:
        print(f"  unescaped '=': {place}")
    summary = (f"{len(samples)} databases, {mails} mails, {failed_subfiles} failed subfiles, "
               f"{tally['images']} image parts, {tally['bitmaps']} Notes bitmaps without Content-Type, "
               f"{len(tally['bare_equals'])} unescaped '=', {elapsed:.1f} s, {len(failures)} failures")
    return report(failures, summary)


if __name__ == "__main__":
    sys.exit(main())
