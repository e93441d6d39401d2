#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing nsfrex need.
#   scripts/install-deps.sh [fuzz]   (fuzz: also the compiler the fuzzers are built with)
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libicu-dev libxml2-dev libxml2-utils zlib1g-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-html5lib
  file lintian groff-base bash-completion
)
if [ "${1:-}" = fuzz ]; then
  packages+=(clang-16 libclang-rt-16-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
