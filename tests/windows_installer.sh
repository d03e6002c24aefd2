#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows installer of a build, round trip in a fresh Wine prefix: a
# silent install for the current user puts the files, the Start-menu entry
# and the entry in the user's list of programs in place; the installed
# program shows its window; a silent uninstall leaves nothing behind.
# Usage: windows_installer.sh BUILD_DIR
set -euo pipefail
build="$1"
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
export KAVRELO_WINEPREFIX="$work/prefix"
cleanup() {
  "$root/scripts/wine" --stop-session >/dev/null 2>&1 || true
  WINEPREFIX="$KAVRELO_WINEPREFIX" wineserver --kill >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G NSIS -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
installer="$(echo "$work"/out/Kavrelo1-*.exe)"
[[ -f "$installer" ]] || fail "no installer; made: $(ls "$work/out")"

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kavrelo1'
"$root/scripts/wine" "$installer" /S || fail "the silent install failed"
users="$KAVRELO_WINEPREFIX/drive_c/users"
folder="$(echo "$users"/*/AppData/Local/Programs/Kavrelo1)"
shortcut="$(echo "$users"/*/AppData/Roaming/Microsoft/Windows/"Start Menu"/Programs/Kavrelo1.lnk)"
for file in Kavrelo1.exe Zavlek.dll zavlek-call.exe include/zavlek.h LÉAME.txt LICENSE.txt THIRD-PARTY.txt \
    "Desinstalar Kavrelo1.exe"; do
  [[ -f "$folder/$file" ]] || fail "the install lacks $file in $folder"
done
[[ -f "$shortcut" ]] || fail "no Start-menu entry"
"$root/scripts/wine" reg query "$uninstall_key" >"$work/key.txt" 2>&1 || fail "no entry in the list of programs"
grep -q 'UninstallString.*Desinstalar Kavrelo1.exe' "$work/key.txt" || fail "the entry names no uninstaller: $(cat "$work/key.txt")"

# The installed program, in a session of the fresh prefix.
"$root/scripts/wine" --start-session
read -r display _ <"$KAVRELO_WINEPREFIX.session"
"$root/scripts/wine" "$folder/Kavrelo1.exe" >/dev/null 2>&1 &
DISPLAY="$display" timeout 120 xdotool search --sync --onlyvisible --name '^Comandos para invocar funciones en DLL$' \
  >/dev/null || fail "the installed program showed no window"
"$root/scripts/wine" --stop-session

# The uninstaller runs a copy of itself from the temporary folder: the
# prefix's server ends when that copy has.
"$root/scripts/wine" "$folder/Desinstalar Kavrelo1.exe" /S || fail "the silent uninstall failed"
WINEPREFIX="$KAVRELO_WINEPREFIX" wineserver --wait
[[ ! -e "$folder" ]] || fail "the uninstall left $(cd "$folder" && find . | tr '\n' ' ')"
[[ ! -e "$shortcut" ]] || fail "the uninstall left the Start-menu entry"
if "$root/scripts/wine" reg query "$uninstall_key" >/dev/null 2>&1; then
  fail "the uninstall left the entry in the list of programs"
fi
echo "PASS"
