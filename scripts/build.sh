#!/usr/bin/env bash
# Configures and builds one flavour of nsfrex; the build's progress goes to stderr, the build folder is
# printed on stdout. NSFREX_SHARED_DIR, when set, says where the samples are (default ../shared).
#   scripts/build.sh [release|debug|sanitize|fuzz]   (default: release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-release}
jobs=$(nproc)
targets=()
case "$flavour" in
  release)  dir=build;          args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DNSFREX_WERROR=ON) ;;
  debug)    dir=build-debug;    args=(-DCMAKE_BUILD_TYPE=Debug) ;;
  sanitize) dir=build-sanitize; args=(-DCMAKE_BUILD_TYPE=Debug -DNSFREX_WERROR=ON -DNSFREX_SANITIZE=ON -DNSFREX_BENCH=OFF) ;;
  # libstdc++ 12 offers <expected> only when __cpp_concepts >= 202002L. Clang 16 implements what it
  # needs but still reports 201907L, so the macro is raised for it; Clang 14 cannot compile <expected>.
  fuzz)     dir=build-fuzz;     args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=/usr/bin/clang-16 -DCMAKE_CXX_COMPILER=/usr/bin/clang++-16
                                      "-DCMAKE_CXX_FLAGS=-D__cpp_concepts=202002L -Wno-macro-redefined"
                                      -DNSFREX_FUZZ=ON -DNSFREX_TESTS=OFF -DNSFREX_BENCH=OFF)
            targets=(--target fuzzers) ;;
  *) echo "build.sh: unknown flavour '$flavour'" >&2; exit 2 ;;
esac
if [ -n "${NSFREX_SHARED_DIR:-}" ]; then
  args+=("-DNSFREX_SHARED_DIR=$(cd "$NSFREX_SHARED_DIR" && pwd)")
fi
cmake -S "$root" -B "$root/$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$root/$dir" -j "$jobs" "${targets[@]}" >&2
echo "$root/$dir"
