#!/usr/bin/env python3
"""The project's own sample database (<build>/samples/nsfrex-sample.nsf, written at build time by
nsfrex_mksample) read back through the command: nsfrex ls --json, meta and extract show exactly what the
generator put in: subjects, senders and recipients, attachment names, times and bytes, folder membership,
the mail logo and its image resource, the MIME mail, the sealed mail (closed without its ID, open with
it) and the document that is not mail. Also checks that hostile-names.nsf lists every attachment."""
import base64
import json
import re
import sys
from e2e_support import Checks, parse_options, run as run_program, scratch, staged

REPORT_SUMMARY = "Übersicht März\r\nUmsatz: 1,2 Mio. EUR\r\nKunden: 312\r\n".encode("utf-8")
REPORT_PDF = (b"%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
              b"2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n")

# (type, name suffix or attachment name, parent, time) per subfile, in note ID order.
EXPECTED_LS = [
    ("Main", ".mail", -1, "2024-04-02T09:30:00Z"),
    ("Attachment", "Übersicht März.txt", 0, "2024-03-31T17:05:00Z"),
    ("Attachment", "報告.pdf", 0, "2024-04-01T08:20:00Z"),
    ("Main", ".mail", -1, "2024-04-03T08:00:00Z"),
    ("Main", ".mail", -1, "2024-04-05T16:45:00Z"),
    ("Main", ".mail", -1, "2024-04-08T11:15:00Z"),
    ("Main", ".mail", -1, "2024-04-09T15:20:00Z"),
    ("Main", ".tmp", -1, None),  # the meeting notes: not mail, no posted date
]

# The mail fields the module gives for each note subfile.
EXPECTED_META = {
    0: {"From": "CN=Anna Schmidt/OU=Sales/O=Example",
        "To": "CN=Ben Okafor/O=Example\r\nChloé Martin <chloe.martin@example.org>",
        "Cc": "CN=Dana Ito/O=Example", "Subject": "Quarterly report Q1", "Sent": "04/02/2024 09:30:00 AM"},
    3: {"From": "CN=Erik Larsen/OU=HR/O=Example", "To": "CN=Ben Okafor/O=Example", "Cc": None,
        "Subject": "Welcome to the team", "Sent": "04/03/2024 08:00:00 AM"},
    4: {"From": "news@example.org", "To": "CN=Ben Okafor/O=Example", "Cc": None,
        "Subject": "Newsletter: spring edition", "Sent": "04/05/2024 04:45:00 PM"},
    5: {"From": "CN=Erik Larsen/OU=HR/O=Example", "To": "CN=Sample Reader/O=nsfrex", "Cc": None,
        "Subject": "Confidential: salary review", "Sent": "04/08/2024 11:15:00 AM"},
    6: {"From": "CN=Dana Ito/O=Example", "To": "CN=Anna Schmidt/OU=Sales/O=Example", "Cc": None,
        "Subject": "Screenshots of the new layout", "Sent": "04/09/2024 03:20:00 PM"},
    7: {"From": None, "To": None, "Cc": None, "Subject": None, "Sent": None},
}

EXPECTED_FOLDERS = {0: "Projects", 3: "", 4: "Newsletters", 5: "", 6: "", 7: "Projects"}

# Text the plain mail body of each note must show, in this order.
EXPECTED_TEXT = {
    0: ["Quarterly report", "Sales grew in every region. Highlights are below; risks are in red.",
        "New customers: 312", "Returning customers: 1,204", "Churn below 2 %", "Open the attached summary",
        "Reply with questions by Friday", "Region", "Revenue", "North", "0.7 M EUR", "South", "0.5 M EUR",
        "Details on the report site.", 'status = "on track"'],
    3: ["Hello Ben,", "welcome aboard! Your desk is on the second floor.", "Erik"],
    4: ["Spring edition", "Our numbers at a glance:"],
    6: ["Here are the screenshots:", "mono", "mono-banner", "standard-colours", "shades", "colour", "colour-tables"],
    7: ["Meeting notes", "Budget approved", "Next review in June"],
}
SEALED_TEXT = "The salary review meeting is on 12 April at 10:00."


def run(nsfrex, *args, expect=0):
    result = run_program(nsfrex, *args, timeout=300, text=False)
    if result.returncode != expect:
        raise RuntimeError(f"nsfrex {' '.join(map(str, args))}: exit {result.returncode}, expected {expect}\n"
                           + result.stderr.decode("utf-8", "replace"))
    return result.stdout.decode("utf-8")


def in_order(text, parts):
    at = 0
    for part in parts:
        found = text.find(part, at)
        if found < 0:
            return part
        at = found + len(part)
    return None


def note_ids(nsfrex, sample):
    """Subject (or title) -> note ID in hexadecimal, from the engine's dump."""
    ids = {}
    for block in re.split(r"^(?=note 0x)", run(nsfrex, "dump", sample), flags=re.M):
        head = re.match(r"note 0x([0-9A-F]+)", block)
        title = re.search(r'^  (?:Subject|\$TITLE) +TYPE_TEXT .*?"(.*)"$', block, re.M)
        if head and title:
            ids[title.group(1)] = "0x" + head.group(1)
    return ids


def image_in_mht(mht):
    """The bytes of the first base64 image part of an MHT text."""
    part = re.search(r"Content-Type: image/\w+\r?\nContent-Transfer-Encoding: base64\r?\n[^\n]*\n\r?\n([A-Za-z0-9+/=\r\n]+)",
                     mht)
    return base64.b64decode(part.group(1)) if part else b""


def check_ls(nsfrex, sample, c):
    listing = json.loads(run(nsfrex, "ls", "--json", sample))
    c.equal("ls: number of subfiles", len(listing), len(EXPECTED_LS))
    for entry, (kind, name, parent, time) in zip(listing, EXPECTED_LS):
        where = f"ls subfile {entry['index']}"
        c.equal(f"{where} type", entry["type"], kind)
        c.equal(f"{where} parent", entry["parent"], parent)
        c.equal(f"{where} time", entry["time"], time)
        if kind == "Attachment":
            c.equal(f"{where} name", entry["name"], name)
        else:
            c.check((entry["name"] or "").endswith(name), f"{where} name {entry['name']!r} does not end with {name}")
    if listing:
        c.equal("ls: children of the report", listing[0]["children"], [1, 2])


def check_meta(nsfrex, sample, c):
    for index, fields in EXPECTED_META.items():
        meta = {f["name"]: f["value"] for f in json.loads(run(nsfrex, "meta", "--json", sample, index))}
        for name, value in fields.items():
            c.equal(f"meta {index} {name}", meta.get(name), value)
        folders = json.loads(run(nsfrex, "meta", "--json", sample, index, "--field", "$$$TM_Folders"))
        c.equal(f"meta {index} folders", folders[0]["value"] or "", EXPECTED_FOLDERS[index])


def check_extract(nsfrex, sample, id_file, root, c):
    out = root / "text"  # the mails as text; test_extract_mht checks them as MHT
    run(nsfrex, "extract", "--format", "text", "-o", out, sample)
    folder = out / sample.stem
    index = json.loads((folder / "index.json").read_text(encoding="utf-8"))
    paths = {s["index"]: folder / s["path"] for s in index["subfiles"]}
    c.equal("extract: statuses", [s["status"] for s in index["subfiles"]], ["ok"] * len(EXPECTED_LS))
    c.equal("extract: summary attachment bytes", paths[1].read_bytes(), REPORT_SUMMARY)
    c.equal("extract: PDF attachment bytes (Huffman-compressed in the database)", paths[2].read_bytes(), REPORT_PDF)
    c.equal("extract: attachment folder", paths[1].parent.name, paths[0].stem)
    for note, parts in EXPECTED_TEXT.items():
        missing = in_order(paths[note].read_text(encoding="utf-8"), parts)
        c.check(missing is None, f"extract: note {note} lacks {missing!r} (in order)")
    report = paths[0].read_text(encoding="utf-8")
    c.check("Attachments: Übersicht März.txt, 報告.pdf" in report, "extract: report lists its attachments")
    c.check(SEALED_TEXT not in paths[5].read_text(encoding="utf-8"), "extract: sealed mail readable without its ID")

    # With the test ID that holds the key, the sealed mail opens; a wrong password refuses the ID.
    opened = root / "sealed"
    run(nsfrex, "extract", "--id", id_file, "--password", "sample", "-o", opened, "--index", 5, sample)
    sealed = next((opened / sample.stem).glob("*.mail")).read_text(encoding="utf-8")
    c.check(SEALED_TEXT in sealed, "extract --id: sealed mail body missing")
    run(nsfrex, "extract", "--id", id_file, "--password", "wrong", "-o", root / "wrong", "--index", 5, sample,
        expect=2)


def check_design_and_mime(nsfrex, rt2html, sample, root, c):
    # Every note, design notes included, as field dumps: the logo names its image resource.
    fields = root / "fields"
    run(nsfrex, "extract", "--format", "fields", "-c", "nsfrex.ExtractAllNotes=1", "-o", fields, sample)
    dumps = {p.name: p.read_text(encoding="utf-8") for p in (fields / sample.stem).glob("*.*") if p.suffix != ".json"}
    welcome = [t for t in dumps.values() if "Subject: Welcome to the team" in t]
    c.check(len(welcome) == 1, "fields: welcome mail not found")
    c.check(any("Logo: NsfrexLogo" in t for t in welcome), "fields: welcome mail has no logo")
    c.check(any("$TITLE: nsfrex-logo.gif;NsfrexLogo" in t for t in dumps.values()), "fields: image resource of the logo not found")
    folders = sorted(re.findall(r"^\$Title: (.*)$", "\n".join(dumps.values()), re.M))
    c.equal("fields: folders", folders, ["Newsletters", "Projects"])

    # The rich-text converter on the engine's items: fonts of the font table, lists, the table, the
    # link and the image of the report; the logo image of the resource the welcome mail names.
    notes = note_ids(nsfrex, sample)
    report = run(rt2html, sample, notes["Quarterly report Q1"])
    for needle in ('FACE=3D"Verdana', 'FACE=3D"Courier New', "<UL><LI", '<OL STYLE=3D"list-style-type: decimal;">',
                   "<TABLE", "<TD STYLE", '<A href=3D"https://example.com/reports/q1">', "report site",
                   "<IMG src=3D", "Content-Type: image/gif"):
        c.check(needle in report, f"rt2html report: {needle!r} missing")
    c.equal("rt2html report: table cells", report.count("<TD STYLE"), 6)
    c.equal("rt2html report: image size", image_in_mht(report)[6:10], bytes([16, 0, 16, 0]))
    logo = run(rt2html, sample, notes["nsfrex-logo.gif;NsfrexLogo"], "$ImageData")
    c.check("width=3D48 height=3D16" in logo, "rt2html logo: no image tag of 48 x 16")
    c.equal("rt2html logo: GIF size", image_in_mht(logo)[:10], b"GIF87a" + bytes([48, 0, 16, 0]))

    # DXL keeps the raw values: the MIME mail's four parts.
    dxl = root / "dxl"
    run(nsfrex, "extract", "--format", "dxl", "-o", dxl, sample)
    texts = [p.read_text(encoding="utf-8") for p in (dxl / sample.stem).glob("*.dxl")]
    mime = [t for t in texts if "Newsletter: spring edition" in t]
    c.check(len(mime) == 1, "dxl: MIME mail missing")
    if mime:
        parts = [base64.b64decode(p) for p in
                 re.findall(r"<item name='Body'[^>]*><rawitemdata type='19'>(.*?)</rawitemdata>", mime[0], re.S)]
        c.equal("dxl: MIME parts", len(parts), 4)
        joined = b"".join(parts)
        for needle in (b"multipart/related", b"Content-Type: text/html", b"cid:chart@nsfrex.example",
                       b"Content-ID: <chart@nsfrex.example>", b"Content-Type: image/gif"):
            c.check(needle in joined, f"dxl: MIME mail lacks {needle!r}")
        inline = re.search(rb"Content-Transfer-Encoding: base64\r\n\r\n([A-Za-z0-9+/=\r\n]+)", joined)
        c.check(bool(inline) and base64.b64decode(inline.group(1)).startswith(b"GIF87a"), "dxl: inline image is not a GIF")


def check_hostile(nsfrex, hostile, c):
    listing = json.loads(run(nsfrex, "ls", "--json", hostile))
    attachments = [e["name"] for e in listing if e["type"] == "Attachment"]
    c.equal("hostile: attachments", len(attachments), 12)
    c.check("../escape.txt" in attachments, "hostile: '../escape.txt' listed")
    c.equal("hostile: mails", len([e for e in listing if e["type"] == "Main"]), 3)


def main():
    options = parse_options()
    built = options.built_samples
    options.require(options.nsfrex, options.rt2html, *(built / name for name in ("nsfrex-sample.nsf", "nsfrex-sample.id",
                                                                 "hostile-names.nsf")))
    nsfrex = options.nsfrex
    c = Checks()
    with scratch("nsfrex-sample-db-") as root:
        sample = staged(built / "nsfrex-sample.nsf", root)
        check_ls(nsfrex, sample, c)
        check_meta(nsfrex, sample, c)
        check_extract(nsfrex, sample, built / "nsfrex-sample.id", root, c)
        check_design_and_mime(nsfrex, options.rt2html, sample, root, c)
        check_hostile(nsfrex, staged(built / "hostile-names.nsf", root), c)
    return c.report(f"sample database: {len(c.failures)} failures")


if __name__ == "__main__":
    sys.exit(main())
