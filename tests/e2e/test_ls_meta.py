#!/usr/bin/env python3
"""nsfrex ls and nsfrex meta on real sample databases: valid JSON, a consistent tree, and notes and
attachments that agree with what nsfrex dump reads directly from the file."""
import json
import pathlib
import re
import subprocess
import sys
from e2e_support import parse_options, report

SAMPLES = [
    "notedata_MIMEMsg.nsf",
    "notedata_attachment.nsf",
    "sample.nsf",
    "notedata_findKeyEx4.nsf",
    "signeddoc.nsf",
]
MAIL_HEADER_ITEMS = ["From", "PostedDate", "ComposedDate", "SendTo", "CopyTo", "BlindCopyTo", "Subject", "Importance",
                     "Chair", "StartDateTime", "EndDateTime", "RepeatForUnit", "Location", "Attendees", "$FILE"]
DEFAULT_FIELDS = ["From", "Sent", "To", "Cc", "Bcc", "Subject", "Priority"]
ISO_UTC = re.compile(r"^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z$")
NOTE_LINE = re.compile(r"^note (0x[0-9A-Fa-f]{8})\s+unid \S+\s+class (0x[0-9A-Fa-f]{4})")
ALL_FIELDS = ["-c", "nsfrex.ExtractAllFields=1"]
ITEM_LINE = re.compile(r"^  (\S+)\s+(\S+)")
DUMP_TIME = re.compile(r"\blen 8\s+(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2})(?:\.\d+)?Z")
# The posted or composed times of mail notes in notedata_MIMEMsg.nsf, as nsfrex dump shows them.
MIME_MSG_TIMES = {0x8F6: "2006-08-11T08:56:48Z", 0x8FA: "2006-08-11T09:00:40Z", 0x8FE: "2006-08-11T09:07:57Z"}


def run(nsfrex, *args):
    return subprocess.run([str(nsfrex), *args], capture_output=True, text=True, timeout=300)


def dump_notes(nsfrex, path):
    """Note ID -> (class word, [(item name, type name)], {item name: stored time}) as nsfrex dump reads them."""
    result = run(nsfrex, "dump", str(path))
    notes = {}
    current = None
    for line in result.stdout.splitlines():
        match = NOTE_LINE.match(line)
        if match:
            current = int(match.group(1), 16)
            notes[current] = (int(match.group(2), 16), [], {})
            continue
        if line.startswith("note "):
            current = None
            continue
        match = ITEM_LINE.match(line)
        if current is not None and match and not line.startswith("  created") and not line.startswith("  parent"):
            notes[current][1].append((match.group(1), match.group(2)))
            stored = DUMP_TIME.search(line)
            if stored and match.group(2) == "TYPE_TIME":
                notes[current][2].setdefault(match.group(1), f"{stored.group(1)}Z")
    return notes


def main():
    options = parse_options()
    nsfrex = options.bin / "nsfrex"
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)
        return condition

    if not nsfrex.is_file():
        print(f"FAIL: {nsfrex} was not built", file=sys.stderr)
        return 1
    samples = options.shared / "samples" / "nsf"
    if not samples.is_dir():
        print(f"FAIL: missing sample folder {samples}", file=sys.stderr)
        return 1

    for name, extra in [(n, o) for n in SAMPLES for o in ([], ALL_FIELDS)]:
        path = samples / name
        if not check(path.is_file(), f"missing sample {path}"):
            continue
        all_fields = bool(extra)
        name = name + (" (ExtractAllFields)" if all_fields else "")
        result = run(nsfrex, "ls", *extra, "--json", str(path))
        if not check(result.returncode == 0, f"{name}: ls exits {result.returncode}: {result.stderr.strip()}"):
            continue
        try:
            entries = json.loads(result.stdout)
        except json.JSONDecodeError as error:
            check(False, f"{name}: ls --json is not JSON: {error}")
            continue
        check(isinstance(entries, list), f"{name}: ls --json is not an array")
        check(len(entries) > 0 or not all_fields, f"{name}: no subfiles")

        # The tree: indexes in order, attachments right behind their note, children listed by the note.
        stem = path.name.split(".")[0][:8]
        last_note = None
        for position, entry in enumerate(entries):
            check(set(entry) == {"index", "type", "name", "parent", "children", "time"}, f"{name}: keys {sorted(entry)}")
            check(entry["index"] == position, f"{name}: index {entry['index']} at {position}")
            check(entry["type"] in ("Main", "Attachment", "OLE", "Folder"), f"{name}: type {entry['type']}")
            check(entry["time"] is None or ISO_UTC.match(entry["time"]), f"{name}: time {entry['time']}")
            if entry["type"] == "Main":
                last_note = entry
                check(entry["parent"] == -1, f"{name}: note {position} has parent {entry['parent']}")
                check(re.fullmatch(re.escape(stem) + r"_tm%d\.(tmp|mail)" % position, entry["name"] or ""),
                      f"{name}: note name {entry['name']}")
                following = []
                for later in entries[position + 1:]:
                    if later["type"] == "Main":
                        break
                    following.append(later["index"])
                check(entry["children"] == following, f"{name}: children of {position}: {entry['children']}")
            elif entry["type"] in ("Attachment", "OLE"):
                check(last_note is not None and entry["parent"] == last_note["index"],
                      f"{name}: attachment {position} parent {entry['parent']}")
                check(entry["children"] == [] and entry["name"], f"{name}: attachment {position}: {entry}")

        # The notes and attachments agree with the file.
        notes = dump_notes(nsfrex, path)
        expected_notes = []
        expected_attachments = {}
        for note_id in sorted(notes):
            cls, items, _ = notes[note_id]
            if cls != 0x0001:
                continue
            names = {item for item, _ in items}
            if all_fields or any(field in names for field in MAIL_HEADER_ITEMS) or "Body" in names:
                expected_notes.append(note_id)
                expected_attachments[note_id] = sum(1 for item, kind in items if item == "$FILE" and "OBJECT" in kind.upper())
        main_entries = [e for e in entries if e["type"] == "Main"]
        check(len(main_entries) == len(expected_notes),
              f"{name}: {len(main_entries)} notes listed, the file has {len(expected_notes)} candidates")

        listed_ids = []
        for entry in main_entries:
            meta = run(nsfrex, "meta", *extra, str(path), str(entry["index"]), "--field", "$$$TM_NoteID", "--json")
            if not check(meta.returncode == 0, f"{name}: meta {entry['index']} exits {meta.returncode}: {meta.stderr}"):
                continue
            element = json.loads(meta.stdout)
            check(len(element) == 1 and element[0]["name"] == "$$$TM_NoteID", f"{name}: {element}")
            if element and element[0]["value"]:
                note_id = int(element[0]["value"], 16)
                listed_ids.append(note_id)
                # A note's time is its posted date, else its composed date, as stored in the file.
                _, items, times = notes.get(note_id, (0, [], {}))
                used = "PostedDate" if any(item == "PostedDate" for item, _ in items) else "ComposedDate"
                stored = times.get(used)
                if stored is not None:
                    check(entry["time"] == stored, f"{name}: note 0x{note_id:X} time {entry['time']}, stored {stored}")
                if path.name == "notedata_MIMEMsg.nsf" and note_id in MIME_MSG_TIMES:
                    check(entry["time"] == MIME_MSG_TIMES[note_id],
                          f"{name}: note 0x{note_id:X} time {entry['time']}, expected {MIME_MSG_TIMES[note_id]}")
                attachments = len(entry["children"])
                check(attachments == expected_attachments.get(note_id, -1),
                      f"{name}: note 0x{note_id:X} lists {attachments} attachments, "
                      f"the file has {expected_attachments.get(note_id)}")
        check(listed_ids == expected_notes, f"{name}: note IDs {listed_ids[:5]}... differ from the file's")

        # Default fields and every item of the first note.
        if main_entries:
            index = str(main_entries[0]["index"])
            meta = run(nsfrex, "meta", *extra, str(path), index, "--json")
            if check(meta.returncode == 0, f"{name}: meta {index}: {meta.stderr}"):
                fields = json.loads(meta.stdout)
                check([f["name"] for f in fields] == DEFAULT_FIELDS, f"{name}: default fields {fields}")
                check(all(f["value"] is None or isinstance(f["value"], str) for f in fields), f"{name}: values {fields}")
            meta = run(nsfrex, "meta", *extra, str(path), index, "--all", "--json")
            if check(meta.returncode == 0, f"{name}: meta --all {index}: {meta.stderr}") and listed_ids:
                items = [f["name"] for f in json.loads(meta.stdout)]
                expected = [item for item, _ in notes.get(listed_ids[0], ("", [], {}))[1]]
                check(sorted(items) == sorted(expected), f"{name}: --all gives {items[:8]}..., the file {expected[:8]}...")
            text = run(nsfrex, "meta", *extra, str(path), index)
            check(text.returncode == 0 and text.stdout.startswith("From: "), f"{name}: text meta {text.stdout[:80]}")

        # With a root folder every note hangs under subfile 0.
        rooted = run(nsfrex, "ls", *extra, "--root", "--json", str(path))
        if check(rooted.returncode == 0, f"{name}: ls --root exits {rooted.returncode}"):
            tree = json.loads(rooted.stdout)
            check(tree and tree[0]["type"] == "Folder" and tree[0]["parent"] == -1, f"{name}: root {tree[:1]}")
            notes_under_root = [e["index"] for e in tree if e["type"] == "Main"]
            check(tree[0]["children"] == notes_under_root, f"{name}: root children")
            check(all(e["parent"] == 0 for e in tree if e["type"] == "Main"), f"{name}: notes not under the root")

    # sample.nsf files note 0x926 in a folder; its documents are subfiles with ExtractAllFields.
    path = samples / "sample.nsf"
    entries = json.loads(run(nsfrex, "ls", *ALL_FIELDS, "--json", str(path)).stdout or "[]")
    found = False
    for entry in entries:
        if entry["type"] != "Main":
            continue
        meta = run(nsfrex, "meta", *ALL_FIELDS, str(path), str(entry["index"]), "--field", "$$$TM_NoteID", "--field",
                   "$$$TM_Folders", "--json")
        fields = json.loads(meta.stdout or "[]")
        if len(fields) == 2 and fields[0]["value"] == "00000926":
            found = True
            check(fields[1]["value"], f"sample.nsf: note 0x926 is in no folder: {fields}")
    check(found, "sample.nsf: note 0x926 not listed")

    # Errors: one line on stderr with the path and the cause, non-zero exit.
    missing = options.shared / "samples" / "nsf" / "no_such_database.nsf"
    result = run(nsfrex, "ls", str(missing))
    check(result.returncode != 0 and str(missing) in result.stderr and "No such file" in result.stderr
          and result.stderr.count("\n") == 1, f"ls on a missing file: {result.returncode} {result.stderr!r}")
    result = run(nsfrex, "meta", str(samples / "notedata_MIMEMsg.nsf"), "100000")
    check(result.returncode != 0 and "no subfile 100000 (the database has 8)" in result.stderr,
          f"meta out of range: {result.returncode} {result.stderr!r}")
    result = run(nsfrex, "meta", str(samples / "sample.nsf"), "1", "--all", "--field", "Subject")
    check(result.returncode == 2, "meta --all with --field")

    return report(failures)


if __name__ == "__main__":
    sys.exit(main())
