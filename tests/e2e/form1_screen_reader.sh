#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Form1 heard through a real screen reader. Orca runs in a private D-Bus
# session with the accessibility bus, on an X server of its own with a window
# manager, and speaks through speech-dispatcher's dummy output; what it says
# is read from its debug log, as "SPEECH OUTPUT: '...'" lines. The program is
# driven with real keys, and each step waits for what Orca says about it.
# Usage: form1_screen_reader.sh KAVRELO1 LIBZAVLEK.SO
# shellcheck disable=SC2317  # functions run through wait_until and traps
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs its arguments until they succeed. Every wait is for something that
# happens; the limit (wait_limit seconds) only turns a thing that never
# happens into a failure instead of a hang.
wait_limit=60
wait_until() {
  local deadline=$((SECONDS + wait_limit))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.05
  done
}

# ---------------------------------------------------------------------------
# Inside the session, whose bus the program and Orca share.

# What the session started, ended last first: the program before Orca, Orca
# before its speech server. Each gets time to end cleanly.
started=()
stop_started() {
  local i pid
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    pid="${started[i]}"
    kill "$pid" 2>/dev/null || continue
    wait_limit=30 wait_until gone "$pid" || kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
gone() { ! kill -0 "$1" 2>/dev/null; }

window_manager_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# What Orca said since the last key, and whether it said text.
mark=0
said_since_mark() { tail -c +$((mark + 1)) "$log" | grep -F "SPEECH OUTPUT: '" || true; }
heard() { said_since_mark | grep -qF -- "$1"; }

# Waits until Orca says text after the last key, or fails showing what it
# said instead.
expect_heard() {  # text, what it is
  if ! wait_until heard "$1"; then
    echo "Orca said, after the last key:" >&2
    said_since_mark >&2
    fail "Orca did not say \"$1\" ($2)"
  fi
}

press() {  # keys, as xdotool names them
  mark="$(stat -c %s "$log")"
  xdotool key --delay 30 "$@"
}

type_text() {
  mark="$(stat -c %s "$log")"
  xdotool type --delay 30 "$1"
}

in_session() {
  local work="$1"
  log="$work/orca.log"
  trap stop_started EXIT

  # A screen reader turns accessibility on, and says that it runs.
  local property
  for property in IsEnabled ScreenReaderEnabled; do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
      org.freedesktop.DBus.Properties.Set string:org.a11y.Status "string:$property" variant:boolean:true \
      >/dev/null
  done

  # A window manager, so that windows are activated and take the keyboard.
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  started+=($!)
  wait_until window_manager_running || fail "the window manager did not start: $(cat "$work/openbox.log")"

  # Speech through the dummy module, whose sound goes to libao's null driver:
  # the machine may have no sound device at all. Orca logs what it hands to
  # speech-dispatcher, which is what a user would hear.
  mkdir -p "$XDG_CONFIG_HOME/speech-dispatcher" "$XDG_RUNTIME_DIR/speech-dispatcher"
  cat >"$XDG_CONFIG_HOME/speech-dispatcher/speechd.conf" <<'CONF'
AddModule "dummy" "sd_dummy" ""
DefaultModule dummy
AudioOutputMethod "libao"
CONF
  echo "default_driver=null" >"$HOME/.libao"
  local socket="$XDG_RUNTIME_DIR/speech-dispatcher/speechd.sock"
  speech-dispatcher --run-single --timeout 0 --communication-method unix_socket --socket-path "$socket" \
    --config-dir "$XDG_CONFIG_HOME/speech-dispatcher" --log-dir "$work" >"$work/speechd.log" 2>&1 &
  started+=($!)
  wait_until test -S "$socket" || fail "speech-dispatcher did not start: $(cat "$work/speechd.log")"

  # Orca with preferences of its own: the desktop keyboard layout, whose
  # review keys are on the keypad and whose Orca key is Insert.
  local prefs="$work/orca-prefs"
  mkdir -p "$prefs"
  cp "$here/screen_reader/orca-customizations.py" "$prefs/"
  cat >"$prefs/user-settings.conf" <<'JSON'
{
  "general": {"keyboardLayout": 1, "orcaModifierKeys": ["Insert", "KP_Insert"]},
  "profiles": {"default": {"profile": ["Default", "default"]}},
  "pronunciations": {},
  "keybindings": {}
}
JSON
  /usr/bin/python3 "$here/screen_reader/start_orca.py" --user-prefs "$prefs" --debug-file "$log" \
    >"$work/orca.out" 2>&1 &
  started+=($!)
  wait_until grep -qs 'ORCA: Startup complete' "$log" || fail "Orca did not start: $(cat "$work/orca.out")"

  local library_path=()
  # AddressSanitizer's dlopen interceptor makes itself the caller, and its
  # RUNPATH is not the program's; under it the folder is named explicitly.
  [[ -n "${KAVRELO_SANITIZED:-}" ]] && library_path=(LD_LIBRARY_PATH="$work/app")
  (cd "$work" && exec env "${library_path[@]}" QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    "$work/app/kavrelo1") 2>"$work/stderr.log" &
  started+=($!)
  expect_heard "prueba de la pila push button" "the first button, which has the focus"

  # The answer, heard with the focus staying on the button.
  press shift+Tab
  expect_heard "Cadena que se envía a Parser: text" "the text box by its label"
  type_text "(1+2)*x"
  expect_heard "'x '" "the last character typed"
  press shift+Tab
  expect_heard "Probar Parser SLR push button" "the parser's button"
  press space
  expect_heard "Cadena aceptada" "the parser's answer"
  # Pressed again, the same answer is heard again.
  press space
  expect_heard "Cadena aceptada" "the parser's answer once more"

  # The window reviewed line by line from its top: "Resultado:" once, and
  # below it the answer. The window's last line is its lowest button's.
  press Insert+KP_Home
  expect_heard "prueba de la pila" "the top line of the window"
  local lines=() line
  while ((${#lines[@]} < 12)); do
    press KP_Page_Up
    expect_heard "SPEECH OUTPUT: '" "the next line of the window"
    line="$(said_since_mark | head -n 1 | sed "s/.*SPEECH OUTPUT: '\(.*\)'\[.*/\1/")"
    lines+=("$line")
    [[ "$line" == *"Cadena aceptada"* || "$line" == *"Probar Parser SLR"* ]] && break
  done
  local read_aloud
  read_aloud="$(printf '%s / ' "${lines[@]}")"
  [[ "${lines[-1]}" == *"Cadena aceptada"* ]] ||
    fail "the window read from its top never says the answer: $read_aloud"
  [[ "$(printf '%s\n' "${lines[@]}" | grep -cx 'Resultado:')" == 1 ]] ||
    fail "the window read from its top does not say \"Resultado:\" once before the answer: $read_aloud"
  # Where the review stands: the answer, by its label.
  press Insert+KP_Begin
  expect_heard "Resultado:" "the reviewed answer's label"
  expect_heard "Cadena aceptada" "the reviewed answer"

  press Insert+KP_Enter
  expect_heard "Comandos para invocar funciones en DLL" "the window's title"

  # A refused input: the parser's own words.
  press Tab
  expect_heard "Cadena que se envía a Parser: text" "the text box again"
  type_text "2*("
  expect_heard "'left paren '" "the last character typed"
  press shift+Tab
  expect_heard "Probar Parser SLR push button" "the parser's button"
  press space
  expect_heard "Error de sintaxis en la posición 4" "the parser's refusal"

  # A message box: its title, its text and its one button.
  press shift+Tab
  expect_heard "tokeniza2 con argumento push button" "the tokenizer's button"
  press space
  expect_heard "alert Kavrelo1" "the message box's title"
  expect_heard "23 componentes léxicos: NUM(01) SEP(|) NUM(02)" "the message box's text"
  expect_heard "Aceptar push button" "the message box's button"
  press Return
  expect_heard "tokeniza2 con argumento push button" "the focus back on the button"

  echo "PASS: the answer heard as it comes and found again by review, the window's title, a message box"
}

if [[ "${1:-}" == --in-session ]]; then
  in_session "$2"
  exit 0
fi

# ---------------------------------------------------------------------------
# Outside: an X server, and a clean account whose session runs the rest.
program="$1" library="$2"
work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  if [[ -n "$xvfb_pid" ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display itself and writes its number once ready.
mkfifo "$work/xvfb-ready"
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/xvfb-ready" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 60 display <"$work/xvfb-ready" || fail "no X server could be started"

mkdir -p "$work/app" "$work/home" "$work/runtime" "$work/config" "$work/data"
chmod 700 "$work/runtime"
cp "$program" "$library" "$work/app/"

# Nothing of whoever runs the tests: no locale, settings or desktop session.
status=0
env -i PATH=/usr/bin:/bin DISPLAY=":$display" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
  XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" LANG=C.UTF-8 \
  ${KAVRELO_SANITIZED:+KAVRELO_SANITIZED=1} \
  ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} \
  dbus-run-session -- bash "$0" --in-session "$work" 2>"$work/session.log" || status=$?
if ((status != 0)); then
  grep -v '^dbus-daemon\[' "$work/session.log" >&2 || true
  if [[ -s "$work/stderr.log" ]]; then
    echo "The program's standard error:" >&2
    head -n 40 "$work/stderr.log" >&2
  fi
fi
exit "$status"
