#!/usr/bin/env python3
"""What nsfrex ls and nsfrex meta say about real sample databases agrees with what the files hold, as
nsfrex dump reads them directly: which notes are mail, each note's attachments (names and times), the
mail fields, and the folders a note is filed in."""
import json
import pathlib
import re
import sys

from test_ls_meta import ALL_FIELDS, MAIL_HEADER_ITEMS, NOTE_LINE, SAMPLES, run
from e2e_support import parse_options, report

ITEM_LINE = re.compile(r"^  (\S+)\s+(TYPE_\S+|0x[0-9A-Fa-f]{4})\s+0x[0-9A-Fa-f]{4}(?: \([^)]*\))?\s+len \d+  (.*)$")
DUMP_TIME = re.compile(r"^(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2})(?:\.\d+)?Z")
DUMP_FILE = re.compile(r'^object type 0 rrv \S+ file "((?:[^"\\]|\\.)*)"')
DUMP_MODIFIED = re.compile(r" modified (\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2})(?:\.\d+)?Z")
FIELDS_PER_DATABASE = 12  # notes per database whose mail fields are compared one by one


def dump_notes(nsfrex, path):
    """Note ID -> (class word, [(item name, type name, rendering)]) from nsfrex dump."""
    notes = {}
    current = None
    for line in run(nsfrex, "dump", str(path)).stdout.splitlines():
        match = NOTE_LINE.match(line)
        if match:
            current = int(match.group(1), 16)
            notes[current] = (int(match.group(2), 16), [])
        elif line.startswith("note "):
            current = None
        elif current is not None and (match := ITEM_LINE.match(line)):
            notes[current][1].append((match.group(1), match.group(2), match.group(3)))
    return notes


def first(items, name):
    return next((rendering for item, _, rendering in items if item == name), None)


def plain_text(rendering):
    """A dumped TEXT value when the dump shows all of it without escapes, else None."""
    if rendering and len(rendering) >= 2 and rendering[0] == rendering[-1] == '"' and "\\" not in rendering:
        return rendering[1:-1]
    return None


def stored_time(rendering):
    match = DUMP_TIME.match(rendering or "")
    return f"{match.group(1)}Z" if match else None


def note_time(items):
    """PostedDate, else ComposedDate."""
    for name in ("PostedDate", "ComposedDate"):
        if first(items, name) is not None:
            return stored_time(first(items, name))
    return None


def file_objects(items):
    """(file name, modified time) of every file object in the note's $FILE items, in item order."""
    files = []
    for item, kind, rendering in items:
        match = DUMP_FILE.match(rendering) if item == "$FILE" and kind == "TYPE_OBJECT" else None
        if match:
            modified = DUMP_MODIFIED.search(rendering)
            files.append((match.group(1), f"{modified.group(1)}Z" if modified else None))
    return files


def meta_fields(nsfrex, path, index, *fields):
    args = [a for f in fields for a in ("--field", f)]
    result = run(nsfrex, "meta", *ALL_FIELDS, str(path), str(index), *args, "--json")
    if result.returncode != 0:
        return None, result.stderr.strip()
    return {f["name"]: f["value"] for f in json.loads(result.stdout)}, None


def main():
    options = parse_options()
    nsfrex = options.bin / "nsfrex"
    samples = options.shared / "samples" / "nsf"
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)
        return condition

    if not nsfrex.is_file() or not samples.is_dir():
        print(f"FAIL: missing {nsfrex} or {samples}", file=sys.stderr)
        return 1

    filed_notes = 0
    for name in SAMPLES:
        path = samples / name
        if not check(path.is_file(), f"missing sample {path}"):
            continue
        notes = dump_notes(nsfrex, path)
        check(notes, f"{name}: nsfrex dump read no notes")
        folder_titles = {plain_text(first(items, "$TITLE")) for _, items in notes.values()
                         if first(items, "$FolderIDTable") is not None}
        listing = run(nsfrex, "ls", *ALL_FIELDS, "--json", str(path))
        if not check(listing.returncode == 0, f"{name}: ls exits {listing.returncode}: {listing.stderr.strip()}"):
            continue
        entries = json.loads(listing.stdout)
        documents = sorted(i for i, (cls, _) in notes.items() if cls == 0x0001)
        listed = []
        compared = 0
        for entry in entries:
            if entry["type"] != "Main":
                continue
            wanted = ["$$$TM_NoteID", "$$$TM_Folders"]
            if compared < FIELDS_PER_DATABASE:
                wanted += ["From", "Subject"]
            values, error = meta_fields(nsfrex, path, entry["index"], *wanted)
            if not check(values is not None, f"{name}: meta {entry['index']}: {error}"):
                continue
            note_id = int(values["$$$TM_NoteID"], 16)
            listed.append(note_id)
            _, items = notes.get(note_id, (0, []))
            where = f"{name}: note 0x{note_id:X} (subfile {entry['index']})"

            # Mail: a document with any mail header item.
            is_mail = any(item in MAIL_HEADER_ITEMS for item, _, _ in items)
            check(entry["name"].endswith(".mail") == is_mail, f"{where}: named {entry['name']}, mail items {is_mail}")

            # Time: the posted, else the composed date, to the second.
            check(entry["time"] == note_time(items), f"{where}: time {entry['time']}, the file {note_time(items)}")

            # Attachments: one subfile per file object, in item order, with its name and time.
            children = [e for e in entries if e["index"] in entry["children"]]
            expected = file_objects(items)
            check([c["name"] for c in children] == [n for n, _ in expected],
                  f"{where}: attachments {[c['name'] for c in children]}, the file {[n for n, _ in expected]}")
            for child, (file_name, modified) in zip(children, expected):
                check(child["type"] in ("Attachment", "OLE") and child["parent"] == entry["index"],
                      f"{where}: attachment {child}")
                if modified is not None:
                    check(child["time"] == modified, f"{where}: {file_name} time {child['time']}, the file {modified}")

            # Mail fields as stored (only values the dump shows whole).
            for field in ("From", "Subject"):
                stored = plain_text(first(items, field))
                if field in values and stored is not None:
                    check((values[field] or "") == stored, f"{where}: {field} {values[field]!r}, the file {stored!r}")
            compared += 1

            # Folders: only folders the database has, by their titles.
            folders = values["$$$TM_Folders"]
            if folders:
                filed_notes += 1
                check(set(folders.split(", ")) <= folder_titles, f"{where}: folders {folders!r}, the file has {folder_titles}")
        check(listed == documents, f"{name}: {len(listed)} notes listed, the file has {len(documents)} documents")
        if name == "sample.nsf":
            check(folder_titles - {None}, f"{name}: the dump shows no folder")
    check(filed_notes > 0, "no note of the samples is reported in a folder")

    return report(failures)


if __name__ == "__main__":
    sys.exit(main())
