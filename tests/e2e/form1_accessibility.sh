#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program on a private D-Bus session with the accessibility bus, read
# as a screen reader reads it (form1_read_aloud.py).
# Usage: form1_accessibility.sh KAVRELO1 LIBZAVLEK.SO
set -euo pipefail
program="$1" library="$2"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The server picks a free display itself and writes its number once ready.
mkfifo "$work/xvfb-ready"
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/xvfb-ready" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 60 display <"$work/xvfb-ready" || fail "no X server could be started"

mkdir -p "$work/app" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$program" "$library" "$work/app/"
library_path=()
# AddressSanitizer's dlopen interceptor makes itself the caller, and its
# RUNPATH is not the program's; under it the folder is named explicitly.
[[ -n "${KAVRELO_SANITIZED:-}" ]] && library_path=(LD_LIBRARY_PATH="$work/app")

# Inside the session: a screen reader would turn accessibility on, as this
# does; the bus itself is started on demand by D-Bus.
cat >"$work/in-session.sh" <<INNER
set -euo pipefail
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
  org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null
(cd "$work" && exec env ${library_path[*]} QT_QPA_PLATFORM=xcb "$work/app/kavrelo1") 2>"$work/stderr.log" &
program=\$!
status=0
/usr/bin/python3 "$here/form1_read_aloud.py" || status=\$?
kill \$program 2>/dev/null || true
exit \$status
INNER
status=0
env -i PATH=/usr/bin:/bin DISPLAY=":$display" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 \
  ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} \
  dbus-run-session -- bash "$work/in-session.sh" || status=$?
if ((status != 0)) && [[ -s "$work/stderr.log" ]]; then
  echo "The program's standard error:" >&2
  head -n 40 "$work/stderr.log" >&2
fi
exit "$status"
