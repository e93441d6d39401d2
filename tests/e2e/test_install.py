#!/usr/bin/env python3
"""cmake --install into a scratch prefix, which is then moved: the installed command runs from another
folder, loads the libraries of the prefix (not those of the build) and extracts a sample database with
its attachment to the same bytes as the built command."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
from e2e_support import Checks, parse_options

SAMPLE = "notedata_attachment.nsf"


def main():
    options = parse_options()
    bin_dir = options.bin.resolve()
    build = bin_dir.parent
    cmake = os.environ.get("NSFREX_CMAKE") or shutil.which("cmake")
    sample = (options.samples / SAMPLE).resolve()
    options.require(sample)
    c = Checks()
    check = c.check

    with tempfile.TemporaryDirectory() as scratch:
        scratch = pathlib.Path(scratch)
        prefix = scratch / "first prefix"
        subprocess.run([cmake, "--install", str(build), "--prefix", str(prefix)], check=True,
                       stdout=subprocess.DEVNULL)
        moved = scratch / "moved.prefix"
        prefix.rename(moved)

        libraries = ["libnsfrex.so", "libnotes.so"]
        if (bin_dir / "libtmpixcnv.so").is_file():
            libraries.append("libtmpixcnv.so")
        installed = {path.relative_to(moved).as_posix() for path in moved.rglob("*") if path.is_file()}
        library_dirs = {pathlib.PurePosixPath(path).parent for path in installed if path.endswith(".so")}
        check(len(library_dirs) == 1 and next(iter(library_dirs)).name == "nsfrex",
              f"libraries are not in one private folder: {sorted(library_dirs)}")
        library_dir = next(iter(library_dirs))
        expected = {"bin/nsfrex", "share/bash-completion/completions/nsfrex", "share/doc/nsfrex/copyright",
                    "share/man/man1/nsfrex.1.gz", "share/man/man1/nsfrex-extract.1.gz"}
        expected |= {f"{library_dir}/{name}" for name in libraries}
        check(expected <= installed, f"not installed: {sorted(expected - installed)}")

        elsewhere = scratch / "elsewhere"
        elsewhere.mkdir()
        environment = {key: value for key, value in os.environ.items() if key != "LD_LIBRARY_PATH"}
        nsfrex = str(moved / "bin" / "nsfrex")

        version = subprocess.run([nsfrex, "--version"], cwd=elsewhere, env=environment, capture_output=True,
                                 text=True, timeout=60)
        check(version.returncode == 0, f"--version exits {version.returncode}: {version.stdout}{version.stderr}")
        for name in libraries:
            check(f", {moved / library_dir / name}\n" in version.stdout,
                  f"--version does not report {name} from the prefix:\n{version.stdout}")

        trees = {}
        for name, command in (("installed", nsfrex), ("built", str(bin_dir / "nsfrex"))):
            result = subprocess.run([command, "extract", "-o", name, str(sample)], cwd=elsewhere, env=environment,
                                    capture_output=True, text=True, timeout=300)
            check(result.returncode == 0, f"{name} extract exits {result.returncode}: {result.stderr}")
            root = elsewhere / name
            # The run manifest records how long the run took; everything else must be the same bytes.
            trees[name] = {path.relative_to(root): path.read_bytes() for path in root.rglob("*")
                           if path.is_file() and path.name != "nsfrex-run.json"}
        check(len(trees["installed"]) >= 3, f"installed extract wrote {sorted(trees['installed'])}")
        check(trees["installed"] == trees["built"], "installed and built commands extract different files")

    return c.report(f"installed into a prefix, moved it and extracted {SAMPLE} from another folder")


if __name__ == "__main__":
    sys.exit(main())
