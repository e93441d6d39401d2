#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: install what is needed, build, and read the sample databases.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release >/dev/null
bin="$root/build/bin/nsfrex"
shared="${NSFREX_SHARED_DIR:-$root/../shared}"
for db in "$shared"/samples/nsf/*.nsf; do
  "$bin" stat "$db"
done
