#!/usr/bin/env bash
# On Debian 12 (or newer): installs what the build and its tests need and is missing, then builds
# and runs every test.
#
#   ./bootstrap.sh                       the build's packages, then cmake --workflow --preset default
#   ./bootstrap.sh --install PACKAGE...  installs those of PACKAGE... that are missing, nothing else
#
# Packages are installed with apt-get, through sudo unless the script already runs as root; when
# nothing is missing nothing is installed and no password is asked.
set -euo pipefail

# Build and tests: the compiler, CMake 3.25 or newer, GoogleTest, and libcrypto as the tests'
# independent oracle (the tool itself links none of it).
build_packages=(g++ cmake make libgtest-dev libssl-dev)

install_missing() {
  local package missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  ((${#missing[@]})) || return 0
  echo "installing: ${missing[*]}"
  local as_root=()
  if ((EUID != 0)); then
    command -v sudo >/dev/null || {
      echo "bootstrap: ${missing[*]} missing; run this as root or install sudo" >&2
      return 1
    }
    as_root=(sudo)
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

if [[ ${1-} == --install ]]; then
  shift
  install_missing "$@"
  exit
fi
(($# == 0)) || {
  echo "usage: $0 [--install PACKAGE...]" >&2
  exit 2
}
cd "$(dirname "$0")"
install_missing "${build_packages[@]}"
# The presets fix no job count; unless the caller chose one, build and test on every processor.
jobs=$(nproc 2>/dev/null || echo 2)
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$jobs}
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$jobs}
exec cmake --workflow --preset default
