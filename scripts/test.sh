#!/usr/bin/env bash
# Everything CI checks, on a fresh Debian 12 machine: install, build with warnings as errors, run all
# tests, build the Debian package and run what it installs, run the tests again under AddressSanitizer
# and UndefinedBehaviorSanitizer, and fuzz the reader briefly.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shared="${NSFREX_SHARED_DIR:-$root/../shared}"
if [ ! -d "$shared/samples/nsf" ]; then
  echo "test.sh: sample databases not found in $shared/samples/nsf" >&2
  exit 1
fi
"$root/scripts/install-deps.sh"

"$root/scripts/build.sh" release >/dev/null
ctest --test-dir "$root/build" --output-on-failure -j "$(nproc)"

# The Debian package of that build, unpacked into a scratch root: its command runs and extracts.
deb=$("$root/scripts/package.sh")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch/root"
"$scratch/root/usr/bin/nsfrex" --version
"$scratch/root/usr/bin/nsfrex" extract -q -o "$scratch/out" "$shared/samples/nsf/notedata_attachment.nsf"
test -s "$scratch/out/notedata_attachment/index.json"

"$root/scripts/build.sh" sanitize >/dev/null
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-sanitize" --output-on-failure -j "$(nproc)"

"$root/scripts/fuzz.sh" "${NSFREX_FUZZ_SECONDS:-60}"
echo "test.sh: all checks passed"
