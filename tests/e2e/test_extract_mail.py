#!/usr/bin/env python3
"""nsfrex extract --format eml and --format mbox over every sample database and the built sample, checked
with the tools mail people use: Python's email package (policy default) finds no defect in any message or
part; mailbox.mbox reads back every message of every database; notmuch indexes the whole output without
an error and finds each message by its subject and by a word of its body. Attachment parts decode to the
bytes the runtime stores (the default extraction's files, and the SHA-256 sums the samples list); rich-text
mails carry the module's plain-text body exactly and HTML that html5lib parses, with a part for every
cid: it names. For the built sample, the headers hold what its generator put in."""
import csv
import datetime
import email
import email.policy
import email.utils
import hashlib
import mailbox
import os
import pathlib
import re
import subprocess
import sys
import tempfile

import html5lib

from e2e_support import Checks, parse_options, report
from test_sample_db import EXPECTED_META


def run(args, expect=(0,)):
    result = subprocess.run([str(a) for a in args], capture_output=True, timeout=900)
    if result.returncode not in expect:
        raise RuntimeError(f"{' '.join(map(str, args))}: exit {result.returncode}: {result.stderr.decode(errors='replace')}")
    return result


def parse(raw):
    return email.message_from_bytes(raw, policy=email.policy.default)


def defects(message):
    found = [d for part in message.walk() for d in part.defects]
    for name in message.keys():  # header values are parsed when read
        found.extend(getattr(message[name], "defects", ()))
    return found


def mime_notes(nsfrex, database):
    """UNIDs of the notes whose Body is stored as MIME, from the engine's dump."""
    unids, unid = set(), None
    for line in run([nsfrex, "dump", database]).stdout.decode(errors="replace").splitlines():
        if line.startswith("note "):
            unid = line.split("unid ")[1].split()[0] if "unid " in line else None
        elif re.match(r"\s+Body\s+TYPE_MIME_PART", line):
            unids.add(unid)
    return unids


def module_bodies(folder):
    """The module's plain-text body of each note, by subfile index (text after the header block)."""
    bodies = {}
    for entry in index_of(folder):
        if entry["type"] == "Main" and entry["status"] == "ok":
            raw = (folder / entry["path"]).read_bytes().decode("utf-8")
            bodies[entry["index"]] = raw.split("\r\n\r\n", 1)[1] if "\r\n\r\n" in raw else ""
    return bodies


def index_of(folder):
    import json
    return json.loads((folder / "index.json").read_text(encoding="utf-8"))["subfiles"]


def check_message(c, where, message, stored_files, expected_sums, is_mime, text_body):
    c.equal(f"{where}: defects", defects(message), [])
    texts = [p for p in message.walk() if p.get_content_type() == "text/plain" and not p.get_filename()]
    if not is_mime:
        c.check(texts, f"{where}: no text/plain part")
        if texts and text_body is not None:
            c.equal(f"{where}: text/plain differs from the module's body", texts[0].get_content(), text_body)
    content_ids = {p["Content-ID"].strip("<>") for p in message.walk() if p["Content-ID"]}
    for part in message.walk():
        if part.get_content_type() == "text/html":
            html = part.get_content()
            try:
                html5lib.HTMLParser().parse(html)
            except Exception as error:  # noqa: BLE001 - any parser failure is a finding
                c.check(False, f"{where}: html does not parse: {error}")
            for cid in re.findall(r'cid:([^"\'\s>)]+)', html):
                c.check(cid in content_ids, f"{where}: cid:{cid} has no part")
        name = part.get_filename()
        if name and not part.is_multipart():
            data = part.get_payload(decode=True)
            if name in stored_files:
                c.check(data == stored_files[name], f"{where}: {name} differs from the stored bytes")
            if name in expected_sums:
                c.summed.add(name)
                c.equal(f"{where}: {name} SHA-256", hashlib.sha256(data).hexdigest(), expected_sums[name])


def check_round_trip(c, eml_folder):
    """The built sample's headers against its generator's values (the module's metadata of them)."""
    for entry in index_of(eml_folder):
        want = EXPECTED_META.get(entry["index"])
        if entry["status"] != "ok" or want is None:
            continue
        message = parse((eml_folder / entry["path"]).read_bytes())
        where = f"nsfrex-sample {entry['path']}"
        c.equal(f"{where}: Subject", message["Subject"], want["Subject"])
        sent = datetime.datetime.strptime(want["Sent"], "%m/%d/%Y %I:%M:%S %p")
        c.equal(f"{where}: Date", email.utils.parsedate_to_datetime(message["Date"]).replace(tzinfo=None), sent)
        for header, field in (("From", "From"), ("To", "To"), ("Cc", "Cc")):
            names = [] if want[field] is None else want[field].split("\r\n")
            got = [a.display_name or a.addr_spec for a in message[header].addresses] if message[header] else []
            expected = []
            for name in names:
                if "<" in name:
                    expected.append(name.split("<")[0].strip())
                elif "@" in name:
                    expected.append(name)
                else:
                    expected.append(re.sub(r"^CN=", "", name.split("/")[0]))
            c.equal(f"{where}: {header}", got, expected)


def check_notmuch(c, eml_root, messages):
    """notmuch indexes the output and finds every message by subject and by a body word."""
    with tempfile.TemporaryDirectory() as home:
        config = pathlib.Path(home) / "notmuch-config"
        config.write_text(f"[database]\npath={eml_root}\n[new]\nignore=index.json;nsfrex-run.json\n[user]\nname=Test\n"
                          f"primary_email=test@example.org\n", encoding="utf-8")
        env = dict(os.environ, NOTMUCH_CONFIG=str(config), HOME=home)
        indexed = subprocess.run(["notmuch", "new"], capture_output=True, env=env, timeout=900)
        c.equal("notmuch new: exit status", indexed.returncode, 0)
        c.check(not re.search(rb"error|ignoring non-mail", indexed.stderr, re.I),
                f"notmuch new reported errors: {indexed.stderr.decode(errors='replace')}")
        for where, message_id, subject, word in messages:
            for what, query in (("subject", f'subject:"{subject}"'), ("body word", word)):
                if not query or query == 'subject:""':
                    continue
                found = subprocess.run(["notmuch", "count", f"id:{message_id}", "and", query], capture_output=True,
                                       env=env, timeout=60)
                c.check(found.stdout.strip() not in (b"", b"0"),
                        f"{where}: notmuch does not find it by {what} {query!r}")


def body_word(message):
    for part in message.walk():
        if part.get_content_type() == "text/plain" and not part.get_filename():
            # A word set off by spaces or punctuation that search engines split at.
            words = re.findall(r"(?<![\w'])[A-Za-z]{5,}(?![\w'])", part.get_content())
            if words:
                return words[0]
    return None


def main():
    options = parse_options()
    nsfrex = options.bin / "nsfrex"
    built = options.bin.parent / "samples" / "nsfrex-sample.nsf"
    samples = sorted((options.shared / "samples" / "nsf").glob("*.nsf"))
    tsv = options.shared / "samples" / "expected-attachments.tsv"
    if not samples or not tsv.exists() or not built.exists():
        return report([f"missing sample databases under {options.shared} or {built}"])
    sums = {}
    with tsv.open(encoding="utf-8") as f:
        for row in csv.DictReader(f, delimiter="\t"):
            sums.setdefault(pathlib.Path(row["found_in"]).stem, {})[row["file_name"]] = row["sha256"]
    databases = [built, *samples]
    c = Checks()
    c.summed = set()
    with tempfile.TemporaryDirectory() as tmp:
        tmp = pathlib.Path(tmp)
        for fmt in ("eml", "mbox", "text", "auto"):
            # The test ID opens the built sample's sealed mail; without it that mail fails, saying why.
            result = run([nsfrex, "extract", "--format", fmt, "--id", built.with_suffix(".id"), "--password", "sample",
                          "-q", "-o", tmp / fmt, *databases], expect=(0, 1))
            if fmt in ("eml", "mbox"):
                c.equal(f"extract --format {fmt}: failures", result.stderr.decode(errors="replace"), "")
        notmuch_messages, total = [], 0
        for database in databases:
            name = database.stem
            eml_folder, text_folder = tmp / "eml" / name, tmp / "text" / name
            mime_unids = mime_notes(nsfrex, database)
            bodies = module_bodies(text_folder)
            stored = {}
            for entry in index_of(tmp / "auto" / name):
                if entry["type"] == "Attachment" and entry["status"] == "ok":
                    stored.setdefault(entry["parent"], {})[entry["name"]] = (tmp / "auto" / name / entry["path"]).read_bytes()
            message_ids = []
            for entry in index_of(eml_folder):
                if entry["type"] != "Main" or entry["status"] != "ok":
                    continue
                where = f"{name} {entry['path']}"
                message = parse((eml_folder / entry["path"]).read_bytes())
                unid = message["X-Notes-UNID"]
                check_message(c, where, message, stored.get(entry["index"], {}), sums.get(name, {}),
                              unid in mime_unids, bodies.get(entry["index"]))
                message_ids.append(message["Message-ID"])
                notmuch_messages.append((where, message["Message-ID"].strip("<>"), message["Subject"], body_word(message)))
            total += len(message_ids)
            # Every mail in at least one mailbox, and nothing else there.
            boxed = []
            for path in sorted((tmp / "mbox" / name).rglob("*.mbox")):
                for key, message in mailbox.mbox(str(path)).items():
                    c.equal(f"{name} {path.name} #{key}: defects", defects(parse(message.as_bytes())), [])
                    boxed.append(message["Message-ID"])
            c.equal(f"{name}: messages in the mboxes", sorted(set(boxed)), sorted(set(message_ids)))
        check_round_trip(c, tmp / "eml" / built.stem)
        check_notmuch(c, tmp / "eml", notmuch_messages)
        c.check(total > 50, "no mail at all was written")
        c.equal("attachments checked by their SHA-256", sorted(c.summed & {"Sample.jpg", "sampleBMP.bmp"}),
                ["Sample.jpg", "sampleBMP.bmp"])
    return report(c.failures, f"{len(databases)} databases, {total} messages, {len(c.failures)} failures")


if __name__ == "__main__":
    sys.exit(main())
