#!/usr/bin/python3
"""The rich-text converter on the real samples: every rich-text item of the chosen databases converts
(nsfrex rt2html), the result has the MHT body frame, its text is valid UTF-8, every image tag has its
MIME part, and every complaint of an HTML5 parser comes from a rule of the converter's defined output."""
import argparse
import collections
import pathlib
import re
import subprocess
import sys

import html5lib  # Debian package python3-html5lib

SAMPLES = [
    "notedata_richtext.nsf", "notedata_big_rich.nsf", "apiug.nsf",
    "notedata_attachment.nsf", "notedata_namelook.nsf", "notedata_billdrv.nsf",
    "notedata_history.nsf", "notedata_doclink1.nsf", "notedata_normal.nsf",
]
BODY_END = b"</BODY></HTML>\r\n"
BOUNDARY = b"------=_NextPart_000_0004_01CB58DD.164505B0"

# Parse errors that the converter's defined output produces, with the rule behind each.
ACCEPTED = {
    ("expected-named-entity", None):
        "text runs escape only '<': an '&' of the stored text stays as it is",
    ("named-entity-without-semicolon", None):
        "text runs escape only '<': stored text such as '&para,' reads as an entity",
    ("invalid-codepoint", None):
        "control characters of the stored text (DEL, C0 and C1 codes) pass through unchanged",
    ("unexpected-end-tag", "p"):
        "a horizontal rule or table is written inside the open paragraph, which HTML closes there; "
        "the paragraph's own </P> then stands alone",
    ("unexpected-start-tag-implies-table-voodoo", "p"):
        "paragraphs between a table's begin record and its first cell record are written where they stand",
    ("unexpected-start-tag-implies-table-voodoo", "br"): "as above, the paragraph's line break",
    ("unexpected-start-tag-implies-table-voodoo", "font"): "as above, the paragraph's text run",
    ("unexpected-end-tag-implies-table-voodoo", "font"): "as above, the end of that text run",
    ("unexpected-end-tag-implies-table-voodoo", "p"): "as above, the end of that paragraph",
    ("expected-closing-tag-but-got-eof", None):
        "a table is closed only by its end record; stored rich text without one leaves the table open",
}


def convert(nsfrex, *args):
    return subprocess.run([str(nsfrex), "rt2html", *map(str, args)], capture_output=True, timeout=120)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, type=pathlib.Path)
    parser.add_argument("--shared", required=True, type=pathlib.Path)
    options = parser.parse_args()
    nsfrex = options.bin / "nsfrex"
    samples = options.shared / "samples" / "nsf"
    failures = []
    seen = collections.Counter()
    items = 0
    if not nsfrex.is_file():
        print(f"FAIL: {nsfrex} was not built", file=sys.stderr)
        return 1
    for name in SAMPLES:
        db = samples / name
        if not db.is_file():
            failures.append(f"{db}: sample missing")
            continue
        listed = convert(nsfrex, "--list", db)
        if listed.returncode != 0:
            failures.append(f"{name}: --list exits {listed.returncode}: {listed.stderr[:200]!r}")
        entries = [line.split("\t", 1) for line in listed.stdout.decode("utf-8").splitlines()]
        if not entries:
            failures.append(f"{name}: no rich-text items listed")
        for note_id, item in entries:
            items += 1
            where = f"{name} note {note_id} item {item}"
            result = convert(nsfrex, db, note_id, item)
            if result.returncode != 0:
                failures.append(f"{where}: exits {result.returncode}: {result.stderr[:300]!r}")
                continue
            if result.stderr:
                failures.append(f"{where}: writes to stderr: {result.stderr[:300]!r}")
            out = result.stdout
            end = out.find(BODY_END)
            if end < 0 or not out.endswith(BOUNDARY + b"--"):
                failures.append(f"{where}: not an MHT body (no </BODY></HTML> or closing boundary)")
                continue
            # Tags write their equals signs quoted-printable; text keeps its own '=' as it is.
            try:
                text = out[:end].replace(b"=3D", b"=").decode("utf-8")
            except UnicodeDecodeError as error:
                failures.append(f"{where}: body is not UTF-8: {error}")
                continue
            parts = set(re.findall(rb"Content-Location: file:///(\S+)\r\n", out[end:]))
            for src in re.findall(r'<IMG src="file:///([^"]+)"', text):
                if src.encode() not in parts:
                    failures.append(f"{where}: image {src} has no MIME part")
            html = html5lib.HTMLParser(strict=False)
            html.parseFragment(text, container="body")
            for position, code, data in html.errors:
                key = (code, data.get("name") if isinstance(data, dict) else None)
                seen[key] += 1
                if key not in ACCEPTED:
                    failures.append(f"{where}: parse error {key} at {position}")
    for key, count in sorted(seen.items(), key=lambda kv: -kv[1]):
        print(f"accepted {count:5} x {key}: {ACCEPTED.get(key, 'NOT ACCEPTED')}")
    print(f"{items} rich-text items converted")
    if items < 150:
        failures.append(f"only {items} rich-text items found")
    for failure in failures[:50]:
        print(f"FAIL: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
