#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package of a Release build: its control fields and contents, its
# desktop entry, the program started from where the package puts it, finding
# the reference library there, and the Windows zavlek-call programs it
# carries grading DLLs of both machines under Wine.
# Usage: deb_package.sh BUILD_DIR WINDOWS_X64_BUILD WINDOWS_X86_BUILD
set -euo pipefail
build="$1" windows_x64="$2" windows_x86="$3"
work="$(mktemp -d)"
xvfb_pid="" program_pid=""
cleanup() {
  if [[ -n "$program_pid" ]]; then kill "$program_pid" 2>/dev/null || true; fi
  if [[ -n "$xvfb_pid" ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb="$work/out/kavrelo1_1.0.0_amd64.deb"
[[ -f "$deb" ]] || fail "no $deb; made: $(ls "$work/out")"

[[ "$(dpkg-deb --field "$deb" Package)" == kavrelo1 ]] || fail "package name"
[[ "$(dpkg-deb --field "$deb" Version)" == 1.0.0 ]] || fail "version"
depends="$(dpkg-deb --field "$deb" Depends)"
for needed in libqt6widgets6 libc6 qt6-qpa-plugins libarchive13; do
  [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
[[ "$(dpkg-deb --field "$deb" Suggests)" == wine ]] || fail "Suggests: $(dpkg-deb --field "$deb" Suggests)"
contents="$(dpkg-deb --contents "$deb")"
private="./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/kavrelo1"
library="$private/libZavlek.so"
for file in ./usr/bin/kavrelo1 ./usr/bin/zavlek-call "$library" ./usr/include/zavlek.h \
    "$private/windows-x64/zavlek-call.exe" "$private/windows-x86/zavlek-call.exe" \
    ./usr/share/applications/kavrelo1.desktop ./usr/share/metainfo/org.kavrelo1.Kavrelo1.metainfo.xml \
    ./usr/share/man/man1/kavrelo1.1.gz ./usr/share/man/man1/zavlek-call.1.gz \
    ./usr/share/doc/kavrelo1/copyright ./usr/share/doc/kavrelo1/changelog.gz \
    ./usr/share/doc/kavrelo1/calificar.md.gz; do
  grep -qF " $file" <<<"$contents" || fail "the package lacks $file"
done
for size in 16 32 48 64 128 256; do
  grep -qF " ./usr/share/icons/hicolor/${size}x${size}/apps/kavrelo1.png" <<<"$contents" ||
    fail "the package lacks the ${size} px icon"
done
# PNG only: the icon theme keeps XPM for old themes, and software centres
# read PNG.
! grep -F "./usr/share/icons/" <<<"$contents" | grep -vF ".png" | grep -v "/$" ||
  fail "the package installs icons that are no PNG"

# What Debian's own checker says of the package, informational and pedantic
# remarks included: nothing.
lintian --pedantic --display-info "$deb" >"$work/lintian.txt" 2>"$work/lintian-errors.txt" ||
  fail "lintian: $(cat "$work/lintian.txt" "$work/lintian-errors.txt")"
[[ ! -s "$work/lintian.txt" ]] || fail "lintian: $(cat "$work/lintian.txt")"

root="$work/root"
dpkg-deb --extract "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/kavrelo1.desktop" || fail "the desktop entry is not valid"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.kavrelo1.Kavrelo1.metainfo.xml" >"$work/appstream.txt" ||
  fail "the AppStream metadata is not valid: $(cat "$work/appstream.txt")"
# Each icon the drawing at a whole multiple of its size: every pixel of the
# drawing a square of its colour, nothing blurred.
drawings="$(dirname "$0")/../console/icon"
for size_drawing in 16:16 32:32 48:16 64:32 128:32 256:32; do
  size="${size_drawing%:*}" drawing="$drawings/kavrelo1-${size_drawing#*:}.xpm"
  icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/kavrelo1.png"
  [[ "$(identify -format '%wx%h' "$icon")" == "${size}x${size}" ]] || fail "the ${size} px icon is not ${size} px"
  [[ "$(identify -format '%m' "$icon")" == PNG ]] || fail "the ${size} px icon is no PNG"
  convert "$drawing" -sample "${size}x${size}" "$work/drawn-$size.png"
  differing="$(compare -metric AE "$icon" "$work/drawn-$size.png" null: 2>&1)" ||
    fail "the ${size} px icon is not the drawing scaled by whole pixels: $differing pixels differ"
done

# Hardened as Debian's own binaries are. Two lines cannot say yes on this
# system (the README says why): stack clash protection shows only in a
# function with a large frame, and the system's start files carry no
# control-flow marks, so the linker marks no program.
hardening-check --nocfprotection "$root/usr/bin/kavrelo1" "$root/usr/bin/zavlek-call" "$root/${library#./}" \
  >"$work/hardening.txt" || fail "hardening-check: $(cat "$work/hardening.txt")"

# The installed command-line companion finds the installed library as the
# window does, and the library passes its check.
"$root/usr/bin/zavlek-call" check >"$work/check.txt" || fail "zavlek-call check on the installed library: $(cat "$work/check.txt")"
grep -qF "$root/${library#./}" "$work/check.txt" || fail "zavlek-call checked another library: $(cat "$work/check.txt")"

# Told nothing of where they are, the installed zavlek-call finds the Windows
# programs the package carries and grades a DLL of each machine under Wine.
# As root, grade's workers run as nobody, who must be able to read them.
chmod 755 "$work"
mkdir -p "$work/clase/win64" "$work/clase/win32"
cp "$windows_x64/bin/Zavlek.dll" "$work/clase/win64/"
cp "$windows_x86/bin/Zavlek.dll" "$work/clase/win32/"
printf '@ Parser 10\nparser_SLR (1+2)*x\n= Cadena aceptada\n' >"$work/rubrica.txt"
env -u ZAVLEK_CALL_WINDOWS_X64 -u ZAVLEK_CALL_WINDOWS_X86 "$root/usr/bin/zavlek-call" grade \
  --rubric "$work/rubrica.txt" --out "$work/notas" "$work/clase/win64" "$work/clase/win32" \
  >"$work/grade.txt" 2>&1 || fail "grade: $(cat "$work/grade.txt")"
expected="entrega,nota,maximo,Parser,estado,motivo,igual_a
win32,10.00,10.00,10.00,calificada,,
win64,10.00,10.00,10.00,calificada,,"
[[ "$(sed '1s/^\xEF\xBB\xBF//' "$work/notas/notas.csv" | tr -d '\r')" == "$expected" ]] ||
  fail "the DLLs' grades: $(cat "$work/notas/notas.csv" "$work/grade.txt")"

# The installed program, under an X server that picks its own display.
mkfifo "$work/xvfb-ready"
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/xvfb-ready" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 60 display <"$work/xvfb-ready" || fail "no X server could be started"
export DISPLAY=":$display"
# As on a fresh account: no session bus, no configuration of whoever runs this.
mkdir -p "$work/home" "$work/runtime" && chmod 700 "$work/runtime"
(cd "$work" && exec env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
  DBUS_SESSION_BUS_ADDRESS=disabled: LANG=C.UTF-8 QT_QPA_PLATFORM=xcb "$root/usr/bin/kavrelo1") 2>"$work/stderr.log" &
program_pid=$!
window="$(timeout 30 xdotool search --sync --onlyvisible --name '^Comandos para invocar funciones en DLL$' | head -n 1)" ||
  fail "the installed program showed no window"
# "prueba de la pila": the reference library, found beside the program in
# the package's layout, reports on standard error.
xdotool mousemove --sync --window "$window" 416 24 click 1
timeout 30 bash -c "until grep -q 'mPila: 6 de 6 comprobaciones correctas' '$work/stderr.log'; do sleep 0.1; done" ||
  fail "the stack test did not run: $(cat "$work/stderr.log")"
echo "PASS"
