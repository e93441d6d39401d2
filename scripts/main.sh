#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: install what is needed, build, and extract every sample
# database (every note with its fields, every attachment) into out/<database>/, with an index.json each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
echo "main.sh: building (a few minutes the first time)" >&2
"$root/scripts/build.sh" release >/dev/null
bin="$root/build/bin/nsfrex"
shared="${NSFREX_SHARED_DIR:-$root/../shared}"
out="${NSFREX_OUT_DIR:-$root/out}"
if [ ! -d "$shared/samples/nsf" ]; then
  echo "main.sh: sample databases not found in $shared/samples/nsf" >&2
  exit 1
fi
# One folder per database under $out, each with its index.json. --force replaces the folders of an
# earlier run. Exit status 1 means some subfiles could not be read (they are listed on stderr); 2 means
# a database could not be opened, which fails the job.
shopt -s nullglob
# The project's own sample database, written by the build, comes first.
databases=("$root/build/samples/nsfrex-sample.nsf" "$shared"/samples/nsf/*.nsf "$shared"/samples/nsf/*.ntf)
rc=0
"$bin" extract --force --format fields -j "$(nproc)" -o "$out" "${databases[@]}" || rc=$?
echo "main.sh: extracted $(find "$out" -mindepth 2 -type f ! -name index.json | wc -l) files into $out (exit status $rc)"
if [ "$rc" -ge 2 ]; then exit 1; fi
