#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Reads the resources back with icoutils, as another program would: in
# Kavrelo1.exe the three-image icon and the manifest; in it, Zavlek.dll and
# zavlek-call.exe, the version in Spanish (Spain).
# Usage: check_resources.sh KAVRELO1.EXE ZAVLEK.DLL ZAVLEK-CALL.EXE
set -euo pipefail
exe="$1"
library="$2"
companion="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
expect() {  # description, haystack file, text that must be in it
  if grep -qF -- "$3" "$2"; then
    echo "ok: $1"
  else
    echo "FAILED: $1: no \"$3\" in:"; cat "$2"
    failures=$((failures + 1))
  fi
}

wrestool --extract --type=14 "$exe" >"$work/icon.ico"
icotool --list "$work/icon.ico" >"$work/images"
expect "32x32, 2 colours" "$work/images" "--index=1 --width=32 --height=32 --bit-depth=1"
expect "32x32, 16 colours" "$work/images" "--index=2 --width=32 --height=32 --bit-depth=4"
expect "16x16, 16 colours" "$work/images" "--index=3 --width=16 --height=16 --bit-depth=4"
if [[ "$(wc -l <"$work/images")" -ne 3 ]]; then
  echo "FAILED: the icon holds $(wc -l <"$work/images") images, not 3"; failures=$((failures + 1))
fi

# The version resource's texts are UTF-16: one per line, in order.
expect_version() {  # file, its original name
  local name
  name="$(basename "$1")"
  wrestool --extract --raw --type=16 "$1" >"$work/version.bin"
  strings --encoding=l "$work/version.bin" | tr '\n' '|' >"$work/version"
  expect "$name: Spanish (Spain), code page 1252" "$work/version" "StringFileInfo|0C0A04E4|"
  expect "$name: file version shown as 1.00" "$work/version" "FileVersion|1.00|"
  expect "$name: product version shown as 1.00" "$work/version" "ProductVersion|1.00|"
  expect "$name: internal name" "$work/version" "InternalName|Kavrelo1|"
  expect "$name: original file name" "$work/version" "OriginalFilename|$2|"
  expect "$name: product name" "$work/version" "ProductName|Kavrelo1|"
  expect "$name: licence" "$work/version" "LegalCopyright|Los autores de Kavrelo1; licencia MIT|"
  # VS_FIXEDFILEINFO: its signature, then the structure version, then
  # 1.0.0.0 as two double words, most significant first: 00010000 00000000.
  od -An -tx1 -v "$work/version.bin" | tr -d ' \n' >"$work/version.hex"
  expect "$name: numeric version 1.0.0.0" "$work/version.hex" "bd04effe000001000000010000000000"
  expect "$name: translation 0x0C0A, 1252" "$work/version.hex" "0a0ce404"
}
expect_version "$exe" Kavrelo1.exe
expect_version "$library" Zavlek.dll
expect_version "$companion" zavlek-call.exe

wrestool --extract --raw --type=24 "$exe" >"$work/manifest"
expect "per-monitor DPI awareness" "$work/manifest" "PerMonitorV2"
expect "common controls 6" "$work/manifest" 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
expect "runs as the invoker" "$work/manifest" 'level="asInvoker"'

exit $((failures > 0))
