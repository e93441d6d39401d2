#!/usr/bin/env bash
# Builds the Debian package of nsfrex from the release build and checks it with lintian (errors fail,
# warnings are shown). Prints the path of the package.   scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
"$root/scripts/build.sh" release >/dev/null
rm -rf "$build/package"
cpack --config "$build/CPackConfig.cmake" -B "$build/package" >&2
deb=$(echo "$build"/package/nsfrex_*.deb)
if [ ! -f "$deb" ]; then
  echo "package.sh: cpack made no package in $build/package" >&2
  exit 1
fi
lintian --fail-on error --tag-display-limit 0 "$deb" >&2
echo "$deb"
