#!/usr/bin/env bash
# Reads Kavrelo1.exe's resources back with icoutils, as another program would:
# the three-image icon, the version in Spanish (Spain), the manifest.
# Usage: check_resources.sh KAVRELO1.EXE
set -euo pipefail
exe="$1"
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
wrestool --extract --raw --type=16 "$exe" >"$work/version.bin"
strings --encoding=l "$work/version.bin" | tr '\n' '|' >"$work/version"
expect "Spanish (Spain), code page 1252" "$work/version" "StringFileInfo|0C0A04E4|"
expect "file version shown as 1.00" "$work/version" "FileVersion|1.00|"
expect "product version shown as 1.00" "$work/version" "ProductVersion|1.00|"
expect "internal name" "$work/version" "InternalName|Kavrelo1|"
expect "original file name" "$work/version" "OriginalFilename|Kavrelo1.exe|"
expect "product name" "$work/version" "ProductName|Kavrelo1|"
# VS_FIXEDFILEINFO: its signature, then the structure version, then 1.0.0.0
# as two double words, most significant first: 00010000 00000000.
od -An -tx1 -v "$work/version.bin" | tr -d ' \n' >"$work/version.hex"
expect "numeric version 1.0.0.0" "$work/version.hex" "bd04effe000001000000010000000000"
expect "translation 0x0C0A, 1252" "$work/version.hex" "0a0ce404"

wrestool --extract --raw --type=24 "$exe" >"$work/manifest"
expect "per-monitor DPI awareness" "$work/manifest" "PerMonitorV2"
expect "common controls 6" "$work/manifest" 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
expect "runs as the invoker" "$work/manifest" 'level="asInvoker"'

exit $((failures > 0))
