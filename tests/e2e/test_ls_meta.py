#!/usr/bin/env python3
"""nsfrex ls and nsfrex meta on real sample databases: valid JSON, a consistent tree, and what they say
agrees with what the files hold as nsfrex dump reads them directly: which notes are listed and which are
mail, each note's time, its attachments (names and times), the mail fields and the folders it is filed in."""
import json
import re
import sys
from e2e_support import Checks, parse_options, run, scratch, staged

SAMPLES = ["notedata_MIMEMsg.nsf", "notedata_attachment.nsf", "sample.nsf", "notedata_findKeyEx4.nsf",
           "signeddoc.nsf"]
MAIL_HEADER_ITEMS = ["From", "PostedDate", "ComposedDate", "SendTo", "CopyTo", "BlindCopyTo", "Subject", "Importance",
                     "Chair", "StartDateTime", "EndDateTime", "RepeatForUnit", "Location", "Attendees", "$FILE"]
DEFAULT_FIELDS = ["From", "Sent", "To", "Cc", "Bcc", "Subject", "Priority"]
ISO_UTC = re.compile(r"^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z$")
ALL_FIELDS = ["-c", "nsfrex.ExtractAllFields=1"]
NOTE_LINE = re.compile(r"^note (0x[0-9A-Fa-f]{8})\s+unid \S+\s+class (0x[0-9A-Fa-f]{4})")
ITEM_LINE = re.compile(r"^  (\S+)\s+(TYPE_\S+|0x[0-9A-Fa-f]{4})\s+0x[0-9A-Fa-f]{4}(?: \([^)]*\))?\s+len \d+  (.*)$")
DUMP_TIME = re.compile(r"^(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2})(?:\.\d+)?Z")
DUMP_FILE = re.compile(r'^object type 0 rrv \S+ file "((?:[^"\\]|\\.)*)"')
DUMP_MODIFIED = re.compile(r" modified (\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2})(?:\.\d+)?Z")
FIELDS_PER_DATABASE = 12  # notes per database whose mail fields are compared one by one
# The posted or composed times of mail notes in notedata_MIMEMsg.nsf, as nsfrex dump shows them.
MIME_MSG_TIMES = {0x8F6: "2006-08-11T08:56:48Z", 0x8FA: "2006-08-11T09:00:40Z", 0x8FE: "2006-08-11T09:07:57Z"}


def dump_notes(nsfrex, path):
    """Note ID -> (class word, [(item name, type name, rendering)]) from nsfrex dump."""
    notes = {}
    current = None
    for line in run(nsfrex, "dump", path).stdout.splitlines():
        if match := NOTE_LINE.match(line):
            current = int(match.group(1), 16)
            notes[current] = (int(match.group(2), 16), [])
        elif line.startswith("note "):
            current = None
        elif current is not None and (match := ITEM_LINE.match(line)):
            notes[current][1].append(match.groups())
    return notes


def first(items, name):
    return next((rendering for item, _, rendering in items if item == name), None)


def plain_text(rendering):
    """A dumped TEXT value when the dump shows all of it without escapes, else None."""
    if rendering and len(rendering) >= 2 and rendering[0] == rendering[-1] == '"' and "\\" not in rendering:
        return rendering[1:-1]
    return None


def note_time(items):
    """PostedDate, else ComposedDate, to the second."""
    for name in ("PostedDate", "ComposedDate"):
        if first(items, name) is not None:
            match = DUMP_TIME.match(first(items, name))
            return f"{match.group(1)}Z" if match else None
    return None


def file_objects(items):
    """(file name, modified time) of every file object in the note's $FILE items, in item order."""
    files = []
    for item, kind, rendering in items:
        if item == "$FILE" and kind == "TYPE_OBJECT" and (match := DUMP_FILE.match(rendering)):
            modified = DUMP_MODIFIED.search(rendering)
            files.append((match.group(1), f"{modified.group(1)}Z" if modified else None))
    return files


def check_tree(c, name, entries, stem):
    """Indexes in order, attachments right behind their note, children listed by the note."""
    last_note = None
    for position, entry in enumerate(entries):
        c.check(set(entry) == {"index", "type", "name", "parent", "children", "time"}, f"{name}: keys {sorted(entry)}")
        c.check(entry["index"] == position, f"{name}: index {entry['index']} at {position}")
        c.check(entry["type"] in ("Main", "Attachment", "OLE", "Folder"), f"{name}: type {entry['type']}")
        c.check(entry["time"] is None or ISO_UTC.match(entry["time"]), f"{name}: time {entry['time']}")
        if entry["type"] == "Main":
            last_note = entry
            c.check(entry["parent"] == -1, f"{name}: note {position} has parent {entry['parent']}")
            c.check(re.fullmatch(re.escape(stem) + r"_tm%d\.(tmp|mail)" % position, entry["name"] or ""),
                    f"{name}: note name {entry['name']}")
            following = []
            for later in entries[position + 1:]:
                if later["type"] == "Main":
                    break
                following.append(later["index"])
            c.check(entry["children"] == following, f"{name}: children of {position}: {entry['children']}")
        elif entry["type"] in ("Attachment", "OLE"):
            c.check(last_note is not None and entry["parent"] == last_note["index"] and entry["children"] == []
                    and entry["name"], f"{name}: attachment {position}: {entry}")


def check_database(c, nsfrex, path, extra, notes):
    all_fields = bool(extra)
    name = path.name + (" (ExtractAllFields)" if all_fields else "")
    listing = run(nsfrex, "ls", *extra, "--json", path, timeout=300)
    if not c.check(listing.returncode == 0, f"{name}: ls exits {listing.returncode}: {listing.stderr.strip()}"):
        return 0
    entries = json.loads(listing.stdout)
    check_tree(c, name, entries, path.name.split(".")[0][:8])
    folder_titles = {plain_text(first(items, "$TITLE")) for _, items in notes.values()
                     if first(items, "$FolderIDTable") is not None}
    expected = [i for i, (cls, items) in sorted(notes.items()) if cls == 0x0001 and (
        all_fields or any(item in MAIL_HEADER_ITEMS + ["Body"] for item, _, _ in items))]
    listed, filed = [], 0
    for entry in (e for e in entries if e["type"] == "Main"):
        wanted = ["$$$TM_NoteID", "$$$TM_Folders"] + (["From", "Subject"] if len(listed) < FIELDS_PER_DATABASE else [])
        meta = run(nsfrex, "meta", *extra, path, entry["index"], *[a for f in wanted for a in ("--field", f)],
                   "--json", timeout=300)
        if not c.check(meta.returncode == 0, f"{name}: meta {entry['index']}: {meta.stderr.strip()}"):
            continue
        values = {f["name"]: f["value"] for f in json.loads(meta.stdout)}
        c.equal(f"{name}: meta {entry['index']} fields", list(values), wanted)
        note_id = int(values["$$$TM_NoteID"], 16)
        listed.append(note_id)
        _, items = notes.get(note_id, (0, []))
        where = f"{name}: note 0x{note_id:X} (subfile {entry['index']})"
        is_mail = any(item in MAIL_HEADER_ITEMS for item, _, _ in items)
        c.check(entry["name"].endswith(".mail") == is_mail, f"{where}: named {entry['name']}, mail items {is_mail}")
        c.equal(f"{where}: time", entry["time"], MIME_MSG_TIMES.get(note_id, note_time(items))
                if path.name == "notedata_MIMEMsg.nsf" else note_time(items))
        children = [e for e in entries if e["index"] in entry["children"]]
        files = file_objects(items)
        c.equal(f"{where}: attachments", [ch["name"] for ch in children], [n for n, _ in files])
        for child, (file_name, modified) in zip(children, files):
            c.check(child["type"] in ("Attachment", "OLE"), f"{where}: attachment {child}")
            c.check(modified is None or child["time"] == modified, f"{where}: {file_name} time {child['time']}")
        for field in ("From", "Subject"):
            stored = plain_text(first(items, field))
            c.check(field not in values or stored is None or (values[field] or "") == stored,
                    f"{where}: {field} {values.get(field)!r}, the file {stored!r}")
        if values["$$$TM_Folders"]:
            filed += 1
            c.check(set(values["$$$TM_Folders"].split(", ")) <= folder_titles,
                    f"{where}: folders {values['$$$TM_Folders']!r}, the file has {folder_titles}")
        elif path.name == "sample.nsf" and note_id == 0x926:
            c.check(False, f"{where}: filed in a folder, but no folder given")
    c.equal(f"{name}: note IDs listed", listed, expected)

    # Default fields and every item of the first note.
    if listed:
        index = next(e["index"] for e in entries if e["type"] == "Main")
        fields = json.loads(run(nsfrex, "meta", *extra, path, index, "--json", timeout=300).stdout or "[]")
        c.equal(f"{name}: default fields", [f["name"] for f in fields], DEFAULT_FIELDS)
        c.check(all(f["value"] is None or isinstance(f["value"], str) for f in fields), f"{name}: values {fields}")
        items = [f["name"] for f in json.loads(run(nsfrex, "meta", *extra, path, index, "--all", "--json").stdout)]
        c.equal(f"{name}: --all", sorted(items), sorted(item for item, _, _ in notes[listed[0]][1]))
        text = run(nsfrex, "meta", *extra, path, index, timeout=300)
        c.check(text.returncode == 0 and text.stdout.startswith("From: "), f"{name}: text meta {text.stdout[:80]}")

    # With a root folder every note hangs under subfile 0.
    tree = json.loads(run(nsfrex, "ls", *extra, "--root", "--json", path, timeout=300).stdout or "[]")
    c.check(tree and tree[0]["type"] == "Folder" and tree[0]["parent"] == -1, f"{name}: root {tree[:1]}")
    c.check(tree and tree[0]["children"] == [e["index"] for e in tree if e["type"] == "Main"]
            and all(e["parent"] == 0 for e in tree if e["type"] == "Main"), f"{name}: notes not under the root")
    return filed


def main():
    options = parse_options()
    options.require(options.nsfrex, *(options.samples / name for name in SAMPLES))
    nsfrex = options.nsfrex
    c = Checks()
    filed = 0
    with scratch("nsfrex-ls-meta-") as root:
        for name in SAMPLES:
            path = staged(options.samples / name, root)
            notes = dump_notes(nsfrex, path)
            c.check(notes, f"{name}: nsfrex dump read no notes")
            for extra in ([], ALL_FIELDS):
                filed += check_database(c, nsfrex, path, extra, notes)
        c.check(filed > 0, "no note of the samples is reported in a folder")

        # Errors: one line on stderr with the path and the cause, non-zero exit.
        missing = root / "no_such_database.nsf"
        result = run(nsfrex, "ls", missing, timeout=300)
        c.check(result.returncode != 0 and str(missing) in result.stderr and "No such file" in result.stderr
                and result.stderr.count("\n") == 1, f"ls on a missing file: {result.returncode} {result.stderr!r}")
        result = run(nsfrex, "meta", staged(options.samples / "notedata_MIMEMsg.nsf", root), "100000", timeout=300)
        c.check(result.returncode != 0 and "no subfile 100000 (the database has 8)" in result.stderr,
                f"meta out of range: {result.returncode} {result.stderr!r}")
        sample = staged(options.samples / "sample.nsf", root)
        c.equal("meta --all with --field: exit",
                run(nsfrex, "meta", sample, "1", "--all", "--field", "Subject", timeout=300).returncode, 2)
    return c.report()


if __name__ == "__main__":
    sys.exit(main())
