#!/usr/bin/env python3
"""What a new user meets first: a summary and index.json that say how many documents were not presented
as files and how many encrypted notes stayed closed; file names that do not depend on dots in the folders
above the database; a full disk that stops the run with one clear message and leaves no folder behind;
clear messages for the mistakes people make on the command line; README install lines that work on a
fresh account."""
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
from e2e_support import parse_options, report, run

SUMMARY = re.compile(r"^nsfrex extract: (\d+) databases?, (\d+) files?, .*$", re.M)
NOT_PRESENTED = re.compile(r"; (\d+) of (\d+) documents? not presented as files")
ENCRYPTED = re.compile(r"; (\d+) encrypted notes? not decrypted")


def manifests(out):
    return {p.parent.name: json.loads(p.read_text(encoding="utf-8")) for p in sorted(out.glob("*/index.json"))}


def files_below(folder):
    return {p.relative_to(folder).as_posix(): p.read_bytes() for p in sorted(folder.rglob("*"))
            if p.is_file() and p.name != "index.json"}


def check_counts(fail, nsfrex, samples, root):
    """The summary's counts are those of the index.json files; --format fields presents every document."""
    for fmt in ("auto", "fields"):
        out = root / f"counts-{fmt}"
        result = run(nsfrex, "extract", "-j", 2, "--format", fmt, "-o", out, *samples, cwd=root)
        found = manifests(out)
        documents = sum(m["documents"] or 0 for m in found.values())
        hidden = sum(m["notPresented"] or 0 for m in found.values())
        if not SUMMARY.search(result.stderr):
            fail(f"{fmt}: no summary line: {result.stderr[-300:]!r}")
        said = NOT_PRESENTED.search(result.stderr)
        if fmt == "auto":
            if hidden == 0 or not said or (int(said.group(1)), int(said.group(2))) != (hidden, documents):
                fail(f"auto: summary {said and said.group(0)!r}, index.json {hidden} of {documents}")
            if "--format fields presents them" not in result.stderr:
                fail("auto: the summary does not name the option that presents the other documents")
        for name, m in found.items():
            notes = [e for e in m["subfiles"] if e["type"] == "Main"]
            if m["documents"] is None or not 0 <= m["notPresented"] <= m["documents"]:
                fail(f"{fmt} {name}: documents {m['documents']}, not presented {m['notPresented']}")
            elif fmt == "fields" and (m["notPresented"] != 0 or len(notes) != m["documents"]):
                fail(f"{fmt} {name}: {len(notes)} notes of {m['documents']} documents, {m['notPresented']} not presented")
            if m["path"] is None or not (root / m["path"]).samefile(next(s for s in samples if s.stem == name)):
                fail(f"{fmt} {name}: index.json path {m['path']!r}")


def check_dotted_folders(fail, nsfrex, sample, root):
    """The same database under folders with dots gives the same file names and bytes."""
    trees = {}
    for folder in ("plain", "a.b", ".hidden", "x.y.z", "a.b/.c.d"):
        source = root / "dots" / folder
        source.mkdir(parents=True)
        shutil.copyfile(sample, source / sample.name)
        out = root / "dots-out" / folder.replace("/", "_")
        run(nsfrex, "extract", "-o", out, source / sample.name)
        trees[folder] = files_below(out / sample.stem)
        stem = sample.stem[:8]
        for path in trees[folder]:
            if not path.startswith(f"{stem}_tm"):
                fail(f"{folder}: {path} is not named after the database")
    for folder, tree in trees.items():
        if tree != trees["plain"]:
            fail(f"{folder}: names or bytes differ from a folder without dots: "
                 f"{sorted(set(tree) ^ set(trees['plain']))[:4]}")
    manifest = manifests(root / "dots-out" / "a.b")[sample.stem]
    for entry in manifest["subfiles"]:
        if entry["type"] == "Attachment" and entry["path"]:
            note = manifest["subfiles"][entry["parent"]]["path"]
            if pathlib.PurePosixPath(entry["path"]).parent.name != pathlib.PurePosixPath(note).stem:
                fail(f"attachment {entry['path']} is not in the folder of its note {note}")


def check_full_disk(fail, nsfrex, sample, root):
    """A small tmpfs fills up: exit status 2, the cause named once, no folder that looks complete."""
    if os.geteuid() != 0:
        print("SKIPPED: the full-disk check needs root to mount a small tmpfs")
        return
    disk = root / "small"
    disk.mkdir()
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", str(disk)], capture_output=True)
    if mounted.returncode != 0:
        print(f"SKIPPED: cannot mount a tmpfs: {mounted.stderr.decode(errors='replace').strip()}")
        return
    try:
        result = run(nsfrex, "extract", "-o", disk / "out", sample, sample.parent / "notedata_attachment.nsf")
        if result.returncode != 2:
            fail(f"full disk: exit {result.returncode}")
        if result.stderr.count("No space left on device") != 1:
            fail(f"full disk: the cause is not named exactly once: {result.stderr[:600]!r}")
        if "module status" in result.stderr:
            fail("full disk: subfile failures reported instead of the cause")
        left = [p.name for p in (disk / "out").iterdir()] if (disk / "out").is_dir() else []
        if [name for name in left if not name.startswith("nsfrex-run")]:
            fail(f"full disk: left behind {left}")
    finally:
        subprocess.run(["umount", str(disk)], check=False)


def check_encrypted(fail, nsfrex, build_dir, root):
    """The project's sealed mail: closed without its ID (and counted), open with it; a missing ID file."""
    sample = build_dir / "samples" / "nsfrex-sample.nsf"
    id_file = build_dir / "samples" / "nsfrex-sample.id"
    if not sample.is_file() or not id_file.is_file():
        fail(f"{sample} or its ID is missing (built by the nsfrex_samples target)")
        return
    for label, args, closed in (("without its ID", [], 1), ("with its ID", ["--id", id_file, "--password", "sample"], 0)):
        out = root / f"sealed-{closed}"
        result = run(nsfrex, "extract", *args, "-o", out, sample)
        manifest = manifests(out)[sample.stem]
        sealed = [e for e in manifest["subfiles"] if e["encrypted"]]
        shut = [e for e in sealed if e["decrypted"] is False]
        said = ENCRYPTED.search(result.stderr)
        if len(sealed) != 1 or len(shut) != closed or manifest["encryptedNotDecrypted"] != closed:
            fail(f"{label}: {len(sealed)} encrypted, {len(shut)} not decrypted, "
                 f"encryptedNotDecrypted {manifest['encryptedNotDecrypted']}")
        if (int(said.group(1)) if said else 0) != closed:
            fail(f"{label}: summary {result.stderr[-300:]!r}")
    missing = root / "no-such.id"
    result = run(nsfrex, "extract", "--id", missing, "-o", root / "unused", sample)
    if result.returncode != 2 or f"ID file not found: {missing}" not in result.stderr:
        fail(f"missing ID file: exit {result.returncode}, {result.stderr[:200]!r}")


def check_command_line(fail, nsfrex, sample, root):
    """The smaller things: reasons, refusals and number formats."""
    junk = root / "junk.nsf"
    junk.write_text("not a database\n" * 50)
    cases = [
        # name, arguments, exit status, text expected on stderr
        ("ls names the reason", ["ls", junk], 1, "not a Notes database"),
        ("meta names the reason", ["meta", junk, "0"], 1, "not a Notes database"),
        ("meta past the end", ["meta", sample, "99"], 1, "no subfile 99 (the database has 8)"),
        ("-o without its value", ["extract", "-o", "-o", sample], 2, "-o needs a value"),
        ("unknown -c key", ["ls", "-c", "nsfrex.NoSuchKey=1", sample], 0, "nsfrex.ExtractAllFields"),
    ]
    for name, args, status, text in cases:
        result = run(nsfrex, *args, cwd=root)
        if result.returncode != status or text not in result.stderr:
            fail(f"{name}: exit {result.returncode}, stderr {result.stderr[:300]!r}")
    if (root / "-o").exists():
        fail("-o -o made a folder named -o")

    out = root / "never-made"
    run(nsfrex, "extract", "-o", out, junk)
    if out.exists():
        fail("a database that does not open still made the output folder")

    # Note IDs: decimal, or hexadecimal after 0x, for every command that takes one.
    rt2html = nsfrex.parent / "nsfrex-rt2html"  # the developers' program around the rich-text converter
    rich = run(rt2html, "--list", sample.parent / "notedata_big_rich.nsf")
    note, _, item = rich.stdout.splitlines()[0].partition("\t") if rich.stdout else ("", "", "")
    if not note.startswith("0x"):
        fail(f"nsfrex-rt2html --list does not show note IDs as 0x hexadecimal: {rich.stdout[:80]!r}")
    else:
        rich_db = sample.parent / "notedata_big_rich.nsf"
        for program, command, after in ((nsfrex, ["dump", rich_db, "--note"], []), (rt2html, [rich_db], [item])):
            hexadecimal = run(program, *command, note, *after)
            decimal = run(program, *command, str(int(note, 16)), *after)
            if hexadecimal.returncode != 0 or not hexadecimal.stdout or decimal.stdout != hexadecimal.stdout:
                fail(f"{program.name}: note {note} and {int(note, 16)} differ: {decimal.stderr[:200]!r}")

    log = root / "module.log"
    run(nsfrex, "extract", "--log-file", log, "-o", root / "logged", sample)
    if log.exists() and "WARNING" in log.read_text(errors="replace"):
        fail("the module log at its default level warns about notes that are not encrypted")


def check_readme(fail, nsfrex, readme, root):
    """The README's summary example reads like the tool's, its format table names every format the tool
    takes, and its install lines work on an account without ~/.local/bin."""
    text = readme.read_text(encoding="utf-8")
    example = next((line.strip() for line in text.splitlines() if line.strip().startswith("nsfrex extract: ")), "")
    if not (SUMMARY.match(example) and NOT_PRESENTED.search(example) and ENCRYPTED.search(example)):
        fail(f"README summary example does not read like the tool's: {example!r}")
    usage = run(nsfrex, "extract").stderr
    formats = re.search(r"--format ([a-z|]+)", usage).group(1).split("|")
    for fmt in formats:
        if not re.search(rf"^\| `{fmt}`", text, re.M):
            fail(f"README: the format table has no row for {fmt}")
    block = re.search(r"## Install\n(.*?)\n## ", text, re.S)
    lines = [line.strip() for line in block.group(1).splitlines() if line.startswith("    ") and "build.sh" not in line]
    home = root / "home"
    home.mkdir()
    env = dict(os.environ, HOME=str(home))
    for line in lines:
        result = subprocess.run(["bash", "-c", line], cwd=nsfrex.parent.parent.parent, env=env, capture_output=True,
                                text=True)
        if result.returncode != 0:
            fail(f"README install line fails: {line}: {result.stderr.strip()}")
            return
    installed = home / ".local" / "bin" / "nsfrex"
    if subprocess.run([str(installed), "--version"], capture_output=True).returncode != 0:
        fail(f"the installed {installed} does not run")


def check_scripts(fail, repo, root):
    """With stand-ins for cmake and dpkg-query on PATH: the build's progress reaches stderr,
    NSFREX_SHARED_DIR reaches CMake, and clang is asked for only when fuzzers are to be built."""
    fake = root / "fake-bin"
    fake.mkdir()
    calls = root / "calls.txt"
    for tool, body in (("cmake", 'echo "cmake $*" >> "$CALLS"; case "$*" in *--build*) echo "[1/1] building";; esac'),
                       ("dpkg-query", 'echo "dpkg-query ${@: -1}" >> "$CALLS"; echo "install ok installed"')):
        (fake / tool).write_text(f"#!/usr/bin/env bash\n{body}\n")
        (fake / tool).chmod(0o755)
    env = dict(os.environ, PATH=f"{fake}:{os.environ['PATH']}", CALLS=str(calls), NSFREX_SHARED_DIR=str(root))
    built = subprocess.run([str(repo / "scripts" / "build.sh"), "release"], env=env, capture_output=True, text=True)
    said = calls.read_text() if calls.exists() else ""
    if built.returncode != 0 or "[1/1] building" not in built.stderr or f"-DNSFREX_SHARED_DIR={root}" not in said:
        fail(f"build.sh: exit {built.returncode}, stderr {built.stderr[:200]!r}, cmake called as {said[:300]!r}")
    for flavour, wants_clang in (([], False), (["fuzz"], True)):
        calls.write_text("")
        subprocess.run([str(repo / "scripts" / "install-deps.sh"), *flavour], env=env, capture_output=True)
        if ("clang-16" in calls.read_text()) != wants_clang:
            fail(f"install-deps.sh {' '.join(flavour)}: clang asked for: {not wants_clang}")


def main():
    options = parse_options()
    nsfrex = options.nsfrex
    sample = options.samples / "notedata_MIMEMsg.nsf"
    options.require(nsfrex, sample)
    samples = options.sample_databases()
    failures = []
    with tempfile.TemporaryDirectory(prefix="nsfrex-first-use-") as scratch:
        root = pathlib.Path(scratch)
        check_counts(failures.append, nsfrex, samples, root)
        check_dotted_folders(failures.append, nsfrex, sample, root)
        check_full_disk(failures.append, nsfrex, sample, root)
        check_encrypted(failures.append, nsfrex, options.bin.parent, root)
        check_command_line(failures.append, nsfrex, sample, root)
        check_readme(failures.append, nsfrex, options.bin.parent.parent / "README.md", root)
        check_scripts(failures.append, options.bin.parent.parent, root)
    return report(failures, f"{len(samples)} samples, {len(failures)} failures")


if __name__ == "__main__":
    sys.exit(main())
