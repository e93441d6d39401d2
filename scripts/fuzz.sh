#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time, seeded with the sample databases, after replaying
# the kept regression inputs.   scripts/fuzz.sh [SECONDS-PER-TARGET]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shared="${NSFREX_SHARED_DIR:-$root/../shared}"
"$root/scripts/install-deps.sh" fuzz
"$root/scripts/build.sh" fuzz >/dev/null
shopt -s nullglob
for target in "$root"/build-fuzz/bin/fuzz_*; do
  name=$(basename "$target")
  regress="$root/fuzz/regressions/$name"
  if [ -d "$regress" ] && compgen -G "$regress/*" >/dev/null; then
    "$target" "$regress"/*
  fi
  corpus=$(mktemp -d)
  cp "$shared"/samples/nsf/* "$corpus"/
  "$target" -max_total_time="$seconds" -max_len=4194304 -rss_limit_mb=2048 -print_final_stats=1 "$corpus"
  rm -rf "$corpus"
done
