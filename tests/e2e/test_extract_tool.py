#!/usr/bin/env python3
"""nsfrex extract as a tool: every sample database in every format, the output tree and its index.json,
UTF-8 notes and valid DXL, refusal of an existing output and --force giving the same bytes, -j giving the
same tree as one at a time, clear exit status 2 for files that are not databases, and names from a
database that try to leave the output folder."""
import csv
import hashlib
import json
import os
import pty
import re
import shutil
import subprocess
import sys
from e2e_support import Checks, describe_difference, parse_options, run as run_program, scratch, staged, tree_digest

FORMATS = ["text", "fields", "dxl", "auto"]
STATUSES = {"ok", "failed", "skipped"}
MAIL_FIELDS = ["From", "Sent", "To", "Cc", "Bcc", "Subject", "Priority"]
ENTRY_KEYS = {"index", "type", "name", "path", "parent", "children", "size", "time", "status", "error", "encrypted",
              "decrypted", "metadata"}
ISO_TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
# Samples with attachments and a folder, for the checks that run a few databases only.
FEW = ["notedata_MIMEMsg.nsf", "notedata_attachment.nsf", "sample.nsf"]
MIME_SAMPLE = "notedata_MIMEMsg.nsf"
# Body texts of its three MIME mails, rendered from their HTML parts, line ends as written (CR LF)
MIME_BODY_TEXTS = [
    "\r\n\r\nThis is a test message.",
    "\r\n\r\nThis is a text message, with a txt file attached.\r\n",
    "\r\n\r\nYou can get two types of Help in Notes:\r\nContext-sensitive Help, specific to the task you're performing\r\n",
    "In this release of Notes, many parts of your mail, Personal Address Book",
    "Help for IBM Lotus Domino Designer\u00ae 6 while in Notes) by using the Actions menu in the Help window.\r\n",
]


def run(nsfrex, *args, timeout=1800):
    return run_program(nsfrex, "extract", *args, timeout=timeout)


def inside(path, root):
    try:
        path.resolve().relative_to(root.resolve())
        return True
    except ValueError:
        return False


def check_database_folder(checks, label, out, folder, fmt, dtd, dxl_files):
    """index.json of one database folder against the files on disk."""
    manifest_path = folder / "index.json"
    if not checks.check(manifest_path.is_file(), f"{label}: no index.json in {folder}"):
        return
    try:
        manifest = json.loads(manifest_path.read_text(encoding="utf-8"))
    except (UnicodeDecodeError, json.JSONDecodeError) as error:
        checks.check(False, f"{label}: index.json does not parse: {error}")
        return
    checks.check(manifest.get("format") == fmt, f"{label}: index.json format {manifest.get('format')!r}")
    listed = set()
    for entry in manifest.get("subfiles", []):
        where = f"{label}: subfile {entry.get('index')}"
        if not checks.check(set(entry) == ENTRY_KEYS, f"{where}: keys {sorted(entry)}"):
            continue
        checks.check(entry["status"] in STATUSES, f"{where}: status {entry['status']!r}")
        checks.check(entry["time"] is None or ISO_TIME.match(entry["time"]), f"{where}: time {entry['time']!r}")
        if entry["type"] == "Main" and entry["status"] != "skipped":
            checks.check(isinstance(entry["metadata"], dict) and list(entry["metadata"]) == MAIL_FIELDS,
                         f"{where}: metadata {entry['metadata']!r}")
        if entry["status"] == "failed":
            checks.check(bool(entry["error"]), f"{where}: failed without an error")
        if entry["path"] is None:
            checks.check(entry["status"] != "ok" or entry["type"] == "Folder", f"{where}: ok without a path")
            continue
        path = folder / entry["path"]
        listed.add(entry["path"])
        if not checks.check(inside(path, out), f"{where}: path {entry['path']!r} leaves the output folder"):
            continue
        if entry["type"] == "Folder":
            checks.check(path.is_dir(), f"{where}: folder {entry['path']!r} missing")
            continue
        if not checks.check(path.is_file() and not path.is_symlink(), f"{where}: file {entry['path']!r} missing"):
            continue
        checks.check(entry["size"] == path.stat().st_size, f"{where}: size {entry['size']} but {path.stat().st_size} on disk")
        if path.suffix in (".mail", ".tmp"):
            try:
                path.read_bytes().decode("utf-8")
            except UnicodeDecodeError as error:
                checks.check(False, f"{where}: {entry['path']} is not UTF-8 ({error})")
        if path.suffix == ".dxl":
            dxl_files.append(path)
    for path in folder.rglob("*"):
        relative = path.relative_to(folder).as_posix()
        if path.is_file() and relative != "index.json":
            checks.check(relative in listed, f"{label}: {relative} is not in index.json")


def validate_dxl(checks, dtd, files):
    for start in range(0, len(files), 200):
        batch = files[start:start + 200]
        result = subprocess.run(["xmllint", "--noout", "--nonet", "--dtdvalid", str(dtd), *map(str, batch)],
                                capture_output=True, text=True, errors="replace", timeout=900)
        checks.check(result.returncode == 0, f"DXL not valid: {result.stderr.strip()[:400]}")


def failure_lines(stderr):
    return [line for line in stderr.splitlines() if line.startswith("nsfrex extract: ")]


def check_published_contents(checks, out, expected_tsv):
    """Every published attachment among the files of its sample, byte for byte; the OLE object of
    notedata_notesflo.nsf as its compound file; MIME mail bodies as their decoded text."""
    with open(expected_tsv, newline="", encoding="utf-8") as stream:
        for row in csv.DictReader(stream, delimiter="\t"):
            name, size, digest = row["file_name"], int(row["size"]), row["sha256"]
            folder = out / row["found_in"].rsplit(".", 1)[0]
            stem, dot, ext = name.rpartition(".")
            # attachments sit in a folder beside their note; a clash adds " (N)" before the extension
            candidates = [p for p in folder.rglob("*") if p.is_file() and
                          (p.name == name or (dot and p.name.startswith(stem + " (") and p.name.endswith("." + ext)))]
            checks.check(any(p.stat().st_size == size and hashlib.sha256(p.read_bytes()).hexdigest() == digest
                             for p in candidates),
                         f"attachment {name} of {row['found_in']}: expected {size} bytes {digest[:12]}..., got "
                         f"{[(p.name, p.stat().st_size) for p in candidates]}")
    objects = [p for p in (out / "notedata_notesflo").rglob("EXT05951") if p.is_file()]
    data = objects[0].read_bytes() if len(objects) == 1 else b""
    checks.check(len(data) == 4 * 8192 and data.startswith(bytes.fromhex("D0CF11E0A1B11AE1")),
                 f"OLE object EXT05951 of notedata_notesflo.nsf: {len(objects)} files, {len(data)} bytes")
    mails = "".join(p.read_bytes().decode("utf-8", "replace")
                    for p in sorted((out / MIME_SAMPLE.rsplit(".", 1)[0]).rglob("*.mail")))
    for expected in MIME_BODY_TEXTS:
        checks.check(expected in mails, f"{MIME_SAMPLE} text: decoded body text {expected!r} not found")
    for artefact in ("=20", "=\r\n", "=AE", "<font", "<br>", "Content-Type:"):
        checks.check(artefact not in mails, f"{MIME_SAMPLE} text: undecoded MIME {artefact!r} in the mail text")


def main():
    options = parse_options()
    expected_tsv = options.shared / "samples" / "expected-attachments.tsv"
    options.require(options.nsfrex, options.samples, options.dtd, expected_tsv, tools=["xmllint"])
    nsfrex, dtd = options.nsfrex, options.dtd
    checks = Checks()
    with scratch("nsfrex-extract-tool-") as root:
        samples = [staged(p, root) for p in options.sample_databases()]
        samples_dir = samples[0].parent if samples else options.samples
        few = [staged(options.samples / name, root) for name in FEW]
        checks.check(len(samples) > 0, f"no sample databases in {options.samples}")

        # Every database in every format, several at once; the text run also one at a time.
        trees = {}
        for fmt in FORMATS:
            out = root / fmt
            result = run(nsfrex, "-q", "-j", "2", "--format", fmt, "-o", out, *samples)
            checks.check(result.returncode in (0, 1), f"{fmt}: exit status {result.returncode}: {result.stderr[:400]}")
            checks.check(result.returncode == 0 or failure_lines(result.stderr), f"{fmt}: exit 1 without a list")
            for line in failure_lines(result.stderr):
                print(f"  {fmt}: {line}")
            folders = sorted(p.name for p in out.iterdir() if p.is_dir())
            checks.check(folders == sorted(p.stem for p in samples), f"{fmt}: database folders {folders[:5]}...")
            dxl_files = []
            for sample in samples:
                check_database_folder(checks, f"{fmt} {sample.name}", out, out / sample.stem, fmt, dtd, dxl_files)
            if fmt == "dxl":
                checks.check(len(dxl_files) > 0, "dxl: no DXL files")
            validate_dxl(checks, dtd, dxl_files)
            trees[fmt] = tree_digest(out)
            print(f"{fmt}: {len(samples)} databases, {len(trees[fmt])} entries, exit {result.returncode}")
        check_published_contents(checks, root / "text", expected_tsv)

        sequential = root / "text-sequential"
        result = run(nsfrex, "-q", "--format", "text", "-o", sequential, *samples)
        checks.check(result.returncode in (0, 1), f"sequential: exit status {result.returncode}")
        digest = tree_digest(sequential)
        checks.check(digest == trees["text"], f"-j 2 and one at a time differ: {describe_difference(trees['text'], digest)}")

        # An existing folder is refused and left alone; --force writes the same bytes again.
        again = run(nsfrex, "--format", "text", "-o", root / "text", *few)
        checks.check(again.returncode == 2, f"second run exits {again.returncode}")
        for path in few:
            checks.check(str(path) in again.stderr and "exists" in again.stderr,
                         f"second run does not name {path}: {again.stderr[:300]}")
        checks.check(tree_digest(root / "text") == trees["text"], "a refused run changed the output")
        forced = run(nsfrex, "--force", "--format", "text", "-o", root / "text", *few)
        checks.check(forced.returncode in (0, 1), f"--force exits {forced.returncode}: {forced.stderr[:300]}")
        checks.check(tree_digest(root / "text") == trees["text"],
                     f"--force changed bytes: {describe_difference(trees['text'], tree_digest(root / 'text'))}")

        # A link planted where a database folder goes is refused, and --force removes the link only.
        planted = root / "planted"
        target = root / "elsewhere"
        planted.mkdir()
        target.mkdir()
        (planted / "sample").symlink_to(target, target_is_directory=True)
        result = run(nsfrex, "-o", planted, samples_dir / "sample.nsf")
        checks.check(result.returncode == 2, f"planted link: exit {result.returncode}")
        result = run(nsfrex, "--force", "-o", planted, samples_dir / "sample.nsf")
        checks.check(result.returncode in (0, 1), f"planted link with --force: exit {result.returncode}")
        checks.check(not (planted / "sample").is_symlink() and (planted / "sample" / "index.json").is_file(),
                     "--force did not replace the planted link with a folder")
        checks.check(list(target.iterdir()) == [], "something was written through the planted link")

        # Two databases of the same name get two folders.
        twin_dir = root / "twin"
        twin_dir.mkdir()
        twin = twin_dir / "sample.nsf"
        shutil.copyfile(samples_dir / "sample.nsf", twin)
        result = run(nsfrex, "-q", "-o", root / "twins", samples_dir / "sample.nsf", twin)
        checks.check(result.returncode in (0, 1), f"twins: exit {result.returncode}")
        twins = sorted(p.name for p in (root / "twins").iterdir() if p.is_dir())
        checks.check(twins == ["sample", "sample (2)"], f"twins: {twins}")

        # Files that are not databases: exit status 2 and a message naming the file.
        broken_dir = root / "broken"
        broken_dir.mkdir()
        truncated = broken_dir / "truncated.nsf"
        shutil.copyfile(samples_dir / "sample.nsf", truncated)
        os.truncate(truncated, 3000)
        text_file = broken_dir / "notes.txt.nsf"
        text_file.write_text("These are not the notes you are looking for.\n" * 100)
        missing = broken_dir / "missing.nsf"
        for bad, reason in ((truncated, "status"), (text_file, "not a Notes database"), (missing, "No such file")):
            result = run(nsfrex, "-o", root / "broken-out", bad)
            checks.check(result.returncode == 2, f"{bad.name}: exit {result.returncode}")
            checks.check(result.stderr.count(str(bad)) == 1 and reason in result.stderr,
                         f"{bad.name}: message does not name the file once and the problem ({reason}): {result.stderr[:300]}")
            checks.check(not (root / "broken-out" / bad.stem).exists(), f"{bad.name}: an output folder was left")
        # A bad database among good ones: the good ones are extracted, the status is 2.
        result = run(nsfrex, "-q", "-j", "2", "-o", root / "mixed", truncated, samples_dir / "sample.nsf")
        checks.check(result.returncode == 2, f"mixed: exit {result.returncode}")
        checks.check((root / "mixed" / "sample" / "index.json").is_file(), "mixed: the good database was not extracted")

        check_output_modes(checks, nsfrex, root, samples_dir / "notedata_MIMEMsg.nsf")
        check_hostile_names(checks, nsfrex, staged(options.built_samples / "hostile-names.nsf", root), root, few)
    return checks.report(f"{len(samples)} samples, {len(checks.failures)} failures")


def check_output_modes(checks, nsfrex, root, database):
    """-v prints one line per subfile on stdout, -q nothing but errors, --index skips the rest, and a
    terminal on stderr gets the updating status line and a summary."""
    manifest_of = lambda out: json.loads((out / database.stem / "index.json").read_text(encoding="utf-8"))
    verbose = run(nsfrex, "-v", "-o", root / "verbose", database)
    subfiles = manifest_of(root / "verbose")["subfiles"]
    lines = verbose.stdout.splitlines()
    checks.check(len(lines) == len(subfiles) and all(line.startswith(f"{database}: ") for line in lines),
                 f"-v printed {len(lines)} lines for {len(subfiles)} subfiles: {lines[:2]}")
    quiet = run(nsfrex, "-q", "-o", root / "quiet", database)
    checks.check(quiet.stdout == "" and all(str(database) in line for line in quiet.stderr.splitlines()),
                 f"-q printed more than errors: {quiet.stdout[:200]!r} {quiet.stderr[:200]!r}")
    indexed = run(nsfrex, "--index", "1", "-o", root / "indexed", database)
    statuses = [e["status"] for e in manifest_of(root / "indexed")["subfiles"]]
    checks.check(indexed.returncode == 0 and statuses[1] == "ok" and statuses.count("skipped") == len(statuses) - 1,
                 f"--index 1: exit {indexed.returncode}, statuses {statuses}")

    # stderr on a terminal: "\r<database>: notes N/M, ..." lines and a summary.
    primary, secondary = pty.openpty()
    try:
        result = subprocess.run([str(nsfrex), "extract", "-o", str(root / "terminal"), str(database)],
                                stdout=subprocess.DEVNULL, stderr=secondary, timeout=300)
        os.close(secondary)
        secondary = -1
        shown = b""
        while True:
            try:
                chunk = os.read(primary, 65536)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
    finally:
        os.close(primary)
        if secondary >= 0:
            os.close(secondary)
    text = shown.decode("utf-8", "replace")
    checks.check(result.returncode in (0, 1), f"terminal run: exit {result.returncode}")
    checks.check(f"\r{database.name}: notes " in text and "/s" in text and "1 database, " in text,
                 f"no status line or summary on a terminal: {text[:300]!r}")


def check_hostile_names(checks, nsfrex, hostile, root, few):
    """Attachment names that try to leave the folder, clash or carry control characters."""
    if not checks.check(hostile.is_file(), f"{hostile} is missing (built by the nsfrex_samples target)"):
        return
    out = root / "hostile"
    result = run(nsfrex, "-o", out, hostile)
    checks.check(result.returncode in (0, 1), f"hostile: exit {result.returncode}: {result.stderr[:300]}")
    folder = out / hostile.stem
    dxl_files = []
    check_database_folder(checks, "hostile", out, folder, "auto", None, dxl_files)
    for path in out.rglob("*"):
        checks.check(inside(path, out) and not path.is_symlink(), f"hostile: {path} is outside or a link")
        name = path.name
        checks.check(name not in (".", "..") and not any(ord(c) < 0x20 or c in "\\" for c in name),
                     f"hostile: unsafe name {name!r}")
    manifest = json.loads((folder / "index.json").read_text(encoding="utf-8"))
    attachments = [e for e in manifest["subfiles"] if e["type"] in ("Attachment", "OLE")]
    checks.check(len(attachments) > 0, "hostile: no attachments listed")
    paths = [e["path"] for e in attachments if e["path"] is not None]
    checks.check(len(paths) == len({p.lower() for p in paths}), f"hostile: paths clash: {paths}")
    # The generator writes "contents of NAME" into these: the right bytes went under each name.
    named = {"../escape.txt", "/etc/passwd", "..\\win.txt", "a.txt", "con", "tab\tand\nnewline\x01.txt", "bell\x07.txt"}
    checks.check(named <= {e["name"] for e in attachments}, "hostile: attachment names missing from index.json")
    for e in attachments:
        if e["path"] is not None and e["name"] in named:
            expected = f"contents of {e['name']}\n".encode("utf-8", "surrogateescape")
            checks.check((folder / e["path"]).read_bytes() == expected, f"hostile: {e['path']!r} holds other bytes")
    checks.check(all(e["status"] == "ok" for e in manifest["subfiles"]), "hostile: some subfiles failed")

    # The note-with-attachments path gives the same tree, also where an attachment fails.
    for database in (hostile, *few):
        plain, together = root / "plain" / database.stem, root / "together" / database.stem
        run(nsfrex, "-q", "-o", plain, database)
        result = run(nsfrex, "-q", "--with-attachments", "-o", together, database)
        checks.check(result.returncode in (0, 1), f"--with-attachments {database.name}: exit {result.returncode}")
        a, b = tree_digest(plain), tree_digest(together)
        checks.check(a == b, f"--with-attachments {database.name} differs: {describe_difference(a, b)}")
    print(f"hostile: {len(attachments)} attachments, {len(paths)} written")


if __name__ == "__main__":
    sys.exit(main())
