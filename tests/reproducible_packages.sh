#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The same sources, built again in a folder of another name, make the same
# packages byte for byte as the builds given: the Debian package (with the
# Windows programs it carries, the same files in both) and the Windows x64
# ZIP and installer. Dates come from the last commit, as cpack takes them.
# The sources are the last commit with the changes of the working tree, so
# that a tree being worked on is compared with its own builds.
# Usage: reproducible_packages.sh SOURCE_DIR LINUX_BUILD WINDOWS_X64_BUILD WINDOWS_X86_BUILD
set -euo pipefail
source_dir="$(cd "$1" && pwd)" linux_build=$2 windows_x64_build=$3 windows_x86_build=$4
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

unset SOURCE_DATE_EPOCH

# Each package of a build into OUT: the Debian package of a Linux build, the
# ZIP and the installer of a Windows one.
pack() {  # linux build, windows build, out folder
  (cd "$1" && cpack -G DEB -B "$3" >/dev/null)
  (cd "$2" && cpack -G ZIP -B "$3" >/dev/null && cpack -G NSIS -B "$3" >/dev/null)
}

again="$work/sources-in-another-folder-with-a-longer-name"
git clone --quiet "$source_dir" "$again"
git -C "$source_dir" diff --binary HEAD | git -C "$again" apply --allow-empty
# The programs alone, as the given builds make them; warnings as errors
# changes no byte of them, nor do the tests beside them.
cmake -S "$again" -B "$again/build-linux" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKAVRELO_WINDOWS_X64_BUILD="$windows_x64_build" -DKAVRELO_WINDOWS_X86_BUILD="$windows_x86_build" >/dev/null
cmake --build "$again/build-linux" >/dev/null
cmake -S "$again" -B "$again/build-windows-x64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$again/cmake/toolchains/windows-x64.cmake" >/dev/null
cmake --build "$again/build-windows-x64" >/dev/null

pack "$linux_build" "$windows_x64_build" "$work/out-given"
pack "$again/build-linux" "$again/build-windows-x64" "$work/out-again"
for package in kavrelo1_1.0.0_amd64.deb Kavrelo1-1.0.0-windows-x64.zip Kavrelo1-1.0.0-windows-x64.exe; do
  [[ -f "$work/out-given/$package" ]] || fail "no $package; made: $(ls "$work/out-given")"
  cmp "$work/out-given/$package" "$work/out-again/$package" || fail "$package differs between the two builds"
done
echo "PASS"
