"""What every end-to-end script shares: its command line, the programs and samples it needs, a scratch
folder, running the built programs, and how it reports."""
import argparse
import contextlib
import hashlib
import pathlib
import shutil
import subprocess
import sys
import tempfile


class Options:
    """--bin (the folder with nsfrex and its libraries) and --shared (the samples and the DTD)."""

    def __init__(self, parser=None):
        parser = parser or argparse.ArgumentParser()
        parser.add_argument("--bin", required=True, type=pathlib.Path)
        parser.add_argument("--shared", required=True, type=pathlib.Path)
        parser.parse_args(namespace=self)
        self.nsfrex = self.bin / "nsfrex"
        self.rt2html = self.bin / "nsfrex-rt2html"  # the developers' program around the rich-text converter
        self.samples = self.shared / "samples" / "nsf"
        self.dtd = self.shared / "dxl" / "domino_9_0_1.dtd"
        self.built_samples = self.bin.parent / "samples"

    def require(self, *paths, tools=()):
        """Exits with a FAIL line when a file or a program the script needs is missing."""
        for path in paths:
            if not pathlib.Path(path).exists():
                sys.exit(f"FAIL: missing {path}")
        for tool in tools:
            if shutil.which(tool) is None:
                sys.exit(f"FAIL: {tool} is not installed")

    def sample_databases(self):
        return sorted(p for p in self.samples.iterdir() if p.suffix in (".nsf", ".ntf"))


def parse_options(parser=None):
    return Options(parser)


def run(program, *args, timeout=1800, text=True, **kwargs):
    """The program's completed process; output decoded as UTF-8 (bad bytes replaced) unless text=False."""
    return subprocess.run([str(program), *map(str, args)], capture_output=True, timeout=timeout,
                          **({"text": True, "errors": "replace"} if text else {}), **kwargs)


@contextlib.contextmanager
def scratch(prefix):
    """A scratch folder whose path holds no '.': the module names subfiles after the database's path up
    to its first '.', so databases are reached through links in here wherever the samples and the build
    live."""
    candidates = [pathlib.Path(tempfile.gettempdir()), pathlib.Path("/tmp"), pathlib.Path("/var/tmp")]
    base = next((c for c in candidates if "." not in str(c) and c.is_dir()), None)
    with tempfile.TemporaryDirectory(prefix=prefix.replace(".", "-"), dir=base) as folder:
        yield pathlib.Path(folder)


def staged(database, folder):
    """A link to the database inside the scratch folder (made once), with the database's own name."""
    link = folder / "databases" / database.name
    if not link.exists():
        link.parent.mkdir(exist_ok=True)
        link.symlink_to(database.resolve())
    return link


def tree_digest(root):
    """Every file and folder under root but the run manifests (they hold times): relative path -> SHA-256
    of the bytes, 'folder' or 'link'."""
    tree = {}
    for path in sorted(root.rglob("*")):
        relative = path.relative_to(root).as_posix()
        if path.parent != root or not path.name.startswith("nsfrex-run"):
            tree[relative] = ("link" if path.is_symlink() else "folder" if path.is_dir()
                              else hashlib.sha256(path.read_bytes()).hexdigest())
    return tree


def describe_difference(a, b):
    only_a = sorted(set(a) - set(b))[:3]
    only_b = sorted(set(b) - set(a))[:3]
    changed = sorted(k for k in set(a) & set(b) if a[k] != b[k])[:3]
    return f"only first {only_a}, only second {only_b}, different {changed}"


class Checks:
    """Collects failures; check() and equal() return whether the condition held."""

    def __init__(self):
        self.failures = []

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
        return bool(condition)

    def equal(self, what, got, want):
        return self.check(got == want, f"{what}: got {got!r}, expected {want!r}")

    def report(self, summary=None):
        return report(self.failures, summary)


def report(failures, summary=None):
    """One FAIL line per failure on stderr, the summary on stdout; the script's exit status."""
    for failure in failures:
        print(f"FAIL: {failure}", file=sys.stderr)
    if summary is not None:
        print(summary)
    return 1 if failures else 0


def listed_commands(nsfrex):
    """The commands that `nsfrex --help` lists."""
    overview = subprocess.run([str(nsfrex), "--help"], capture_output=True, text=True, check=True).stdout
    listed = overview.split("Commands:\n", 1)[1].split("\n\n", 1)[0]
    return [line.split()[0] for line in listed.splitlines()]
