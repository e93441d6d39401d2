#!/usr/bin/python3
"""nsfrex_mkmail writes the same file for the same seed, and what it writes reads back as written: every
Notes bitmap it reports becomes a BMP part of the extracted mails that Pillow opens at its size (long
bodies split over items included), every reply is a response whose $REF and parent note ID name the same
mail and whose parent counts it, and every MIME part kept in a $FILE object is extracted as that file."""
import re
import sys

from e2e_support import Checks, parse_options, run, scratch
from test_notes_bitmaps import extracted_bitmaps

NOTE = re.compile(r"^note (0x[0-9A-F]+)  unid ([0-9A-F]{32})", re.M)


def notes(dump):
    """Note ID -> (UNID, the note's dump lines)."""
    found = {}
    starts = list(NOTE.finditer(dump))
    for match, following in zip(starts, starts[1:] + [None]):
        found[int(match[1], 16)] = (match[2], dump[match.end():following.start() if following else None])
    return found


def main():
    options = parse_options()
    mkmail = options.bin / "nsfrex_mkmail"
    options.require(options.nsfrex, mkmail)
    checks = Checks()
    with scratch("mkmail") as folder:
        made = [run(mkmail, "--messages", 300, "--seed", 3, "--largest-attachment", "200K", folder / f"{n}.nsf")
                for n in ("mail", "again")]
        if not checks.check(all(m.returncode == 0 for m in made), f"nsfrex_mkmail: {made[0].stderr}"):
            return checks.report()
        database = folder / "mail.nsf"
        checks.check(database.read_bytes() == (folder / "again.nsf").read_bytes(), "the same seed gives another file")
        counts = {key: int(value) for value, key in re.findall(
            r"(\d+) (replies|Notes bitmaps|with split bodies|MIME in objects)", made[0].stdout)}
        checks.check(len(counts) == 4 and min(counts.values()) > 0, f"too little of each kind: {made[0].stdout}")

        bitmaps = extracted_bitmaps(options.nsfrex, database, checks.failures)
        checks.equal("BMP parts in the extracted mails", bitmaps, counts.get("Notes bitmaps"))

        by_id = notes(run(options.nsfrex, "dump", database).stdout)
        by_unid = {unid: note_id for note_id, (unid, _) in by_id.items()}
        replies, responses = 0, 0
        for note_id, (_, lines) in by_id.items():
            header = re.search(r"parent (0x[0-9A-F]+)  responses (\d+)", lines)
            responses += int(header[2]) if header else 0
            if '"Reply"' not in lines:
                continue
            replies += 1
            ref = re.search(r"\$REF .*\[([0-9A-F]{32})\]", lines)
            checks.check(header and ref and by_unid.get(ref[1]) == int(header[1], 16),
                         f"reply 0x{note_id:X}: $REF and parent note ID disagree")
        checks.equal("replies", replies, counts.get("replies"))
        checks.equal("responses the parents count", responses, replies)

        out = folder / "out"
        extracted = run(options.nsfrex, "extract", "-q", "--format", "auto", "-o", out, database)
        checks.equal("extract exit status", extracted.returncode, 0)
        in_objects = 0
        for _, lines in by_id.values():
            for name in re.findall(r' in object "([^"]+)">', lines):
                in_objects += 1
                size = re.search(rf'\$FILE .* file "{re.escape(name)}" (\d+) bytes', lines)
                files = list(out.rglob(name))
                checks.check(size and len(files) == 1 and files[0].stat().st_size == int(size[1]),
                             f"MIME attachment {name}: no $FILE of that name, or not extracted at its size")
        checks.equal("MIME parts in objects", in_objects, counts.get("MIME in objects"))
    return checks.report(f"{bitmaps} Notes bitmaps, {replies} replies, {in_objects} MIME attachments in objects")


if __name__ == "__main__":
    sys.exit(main())
