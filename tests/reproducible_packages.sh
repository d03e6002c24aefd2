#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The last commit, built in two folders of different names, makes the same
# packages byte for byte: the Debian package, and the Windows x64 ZIP and
# installer. Dates come from the last commit, as cpack takes them.
# Usage: reproducible_packages.sh SOURCE_DIR
set -euo pipefail
source_dir="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

unset SOURCE_DATE_EPOCH

# The last commit, cloned into a folder of the given name.
copy_sources() {
  git clone --quiet "$source_dir" "$1"
}

# Builds the programs (no tests) and makes the packages into OUT.
build_packages() {  # source folder, out folder
  local linux="$1/build-linux" windows="$1/build-windows-x64"
  cmake -S "$1" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$linux" >/dev/null
  (cd "$linux" && cpack -G DEB -B "$2" >/dev/null)
  cmake -S "$1" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$1/cmake/toolchains/windows-x64.cmake" >/dev/null
  cmake --build "$windows" >/dev/null
  (cd "$windows" && cpack -G ZIP -B "$2" >/dev/null && cpack -G NSIS -B "$2" >/dev/null)
}

copy_sources "$work/first"
copy_sources "$work/second-folder-with-a-longer-name"
build_packages "$work/first" "$work/out-first"
build_packages "$work/second-folder-with-a-longer-name" "$work/out-second"

for package in kavrelo1_1.0.0_amd64.deb Kavrelo1-1.0.0-windows-x64.zip Kavrelo1-1.0.0-windows-x64.exe; do
  [[ -f "$work/out-first/$package" ]] || fail "no $package; made: $(ls "$work/out-first")"
  cmp "$work/out-first/$package" "$work/out-second/$package" || fail "$package differs between the two builds"
done
echo "PASS"
