#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: install what is needed, build, and extract every sample
# database (every note with its fields, every attachment) into out/<database>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release >/dev/null
bin="$root/build/bin/nsfrex"
shared="${NSFREX_SHARED_DIR:-$root/../shared}"
out="${NSFREX_OUT_DIR:-$root/out}"
if [ ! -d "$shared/samples/nsf" ]; then
  echo "main.sh: sample databases not found in $shared/samples/nsf" >&2
  exit 1
fi
status=0
for db in "$shared"/samples/nsf/*.nsf; do
  name=$(basename "$db" .nsf)
  rm -rf "${out:?}/$name"
  mkdir -p "$out/$name"
  # Exit status 1 means some subfiles could not be read (they are named on stderr); 2 means the
  # database itself could not be opened, which fails the job.
  rc=0
  "$bin" extract -c nsfrex.ExtractAllFields=1 -o "$out/$name" "$db" || rc=$?
  if [ "$rc" -ge 2 ]; then status=1; fi
done
echo "main.sh: extracted $(find "$out" -type f | wc -l) files into $out"
exit $status
