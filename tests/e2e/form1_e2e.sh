#!/usr/bin/env bash
# The real program in a real X server, driven as a person would with xdotool.
# Usage: form1_e2e.sh KAVRELO1 LIBZAVLEK.SO DOUBLE_FOLDER SCREENSHOT_FOLDER
set -euo pipefail

program="$1" library="$2" double_folder="$3" screenshots="$4"
title="Comandos para invocar funciones en DLL"
screen_width=1024 screen_height=768
mkdir -p "$screenshots"
work="$(mktemp -d)"
xvfb_pid=""
console_pid=""

cleanup() {
  [[ -n "$console_pid" ]] && kill "$console_pid" 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  if [[ -n "${DISPLAY:-}" ]] && import -window root "$screenshots/failure.png" 2>/dev/null; then
    echo "The screen at the failure: $screenshots/failure.png" >&2
  fi
  if [[ -s "$work/stderr.log" ]]; then
    echo "The program's standard error:" >&2
    head -n 40 "$work/stderr.log" >&2
  fi
  exit 1
}

# Runs its arguments until they succeed. Every wait is for something the
# program does; the limit only turns a program that never does it into a
# failure instead of a hang.
wait_until() {
  local deadline=$((SECONDS + 30))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.05
  done
}

# The server picks a free display itself and writes its number once it is
# ready: nothing is guessed, and nothing waits for time.
start_x_server() {
  local number
  mkfifo "$work/xvfb-ready"
  Xvfb -displayfd 3 -screen 0 "${screen_width}x${screen_height}x24" -nolisten tcp \
    3>"$work/xvfb-ready" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  read -r -t 60 number <"$work/xvfb-ready" || fail "no X server could be started: $(cat "$work/xvfb.log")"
  export DISPLAY=":$number"
}

# The program runs as on a fresh account: no session bus (nor one started on
# its behalf), no configuration, no locale of whoever runs the tests; only the
# sanitizers' settings come through.
clean_environment=()
set_clean_environment() {
  mkdir -p "$work/home" "$work/runtime"
  chmod 700 "$work/runtime"
  clean_environment=(env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$work/home"
    XDG_RUNTIME_DIR="$work/runtime" DBUS_SESSION_BUS_ADDRESS=disabled: LANG=C.UTF-8 QT_QPA_PLATFORM=xcb)
  local name
  for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
    [[ -n "${!name:-}" ]] && clean_environment+=("$name=${!name}")
  done
  return 0
}

shoot() {  # file: the whole screen as it is now
  import -window root "$1"
}

# Form1 is drawn once its background and the face of its last button are.
form1_drawn() {
  shoot "$work/now.png"
  [[ "$(colour_at "$work/now.png" 420 200)" == "0,0,64" &&
     "$(colour_at "$work/now.png" 324 120)" == "212,208,200" ]]
}

# Starts the program from folder $1 with current directory $2, and any further
# arguments, and waits for its window to be drawn; sets console_pid and window.
start_console() {
  local library_path=()
  # AddressSanitizer's dlopen interceptor makes itself the caller, and its
  # RUNPATH is not the program's; under it the folder is named explicitly.
  if [[ -n "${KAVRELO_SANITIZED:-}" && -e "$1/libZavlek.so" ]]; then
    library_path=(LD_LIBRARY_PATH="$1")
  fi
  (cd "$2" && exec "${clean_environment[@]}" "${library_path[@]}" "$1/kavrelo1" "${@:3}") 2>"$work/stderr.log" &
  console_pid=$!
  window="$(timeout 30 xdotool search --sync --onlyvisible --name "^${title}\$" | head -n 1)" ||
    fail "the window did not appear"
  eval "$(xdotool getwindowgeometry --shell "$window")"
  origin_x=$X origin_y=$Y
  wait_until form1_drawn || fail "the window was not drawn as Form1 is"
}

# Waits for a message box and for its text to be drawn; sets box.
await_message_box() {  # what it is, for the failure
  box="$(timeout 30 xdotool search --sync --onlyvisible --name '^Kavrelo1$' | head -n 1)" ||
    fail "no message box appeared for $1"
  wait_until box_drawn || fail "the message box for $1 was not drawn"
}

box_drawn() {  # more than the box's background and frame: its text
  (($(import -window "$box" -format "%k" info: 2>/dev/null || echo 0) > 3))
}

# Waits for the program to end and sets status to its exit status. Not in a
# subshell: only this shell can wait for its own child.
await_exit() {
  status=0
  timeout 30 tail --pid="$console_pid" -f /dev/null || fail "the program did not end"
  wait "$console_pid" || status=$?
  console_pid=""
}

click_at() {  # window-relative pixel
  xdotool mousemove --sync $((origin_x + $1)) $((origin_y + $2)) click 1
}

colour_at() {  # screenshot, window-relative pixel
  convert "$1" -format "%[fx:int(255*p{$((origin_x + $2)),$((origin_y + $3))}.r)],%[fx:int(255*p{$((origin_x + $2)),$((origin_y + $3))}.g)],%[fx:int(255*p{$((origin_x + $2)),$((origin_y + $3))}.b)]" info:
}

expect_colour() {  # screenshot x y r,g,b what
  local seen
  seen="$(colour_at "$1" "$2" "$3")"
  [[ "$seen" == "$4" ]] || fail "$5 at ($2,$3) is $seen, expected $4"
}

# The result label's mean brightness, to tell whether it shows text.
label3_mean() {
  convert "$1" -crop "257x33+$((origin_x + 24))+$((origin_y + 128))" -format "%[fx:mean]" info:
}

start_x_server
set_clean_environment

echo "--- with the reference library beside the program"
mkdir -p "$work/app"
cp "$program" "$library" "$work/app/"
# The program reads no command line: the toolkit's own options, which would
# mirror and shrink the window, are not taken from it.
start_console "$work/app" "$work" -reverse -qwindowgeometry 200x100+300+300
shot="$screenshots/form1-start.png"
shoot "$shot"
expect_colour "$shot" 420 200 "0,0,64" "the window's background"
expect_colour "$shot" 288 108 "255,255,255" "the frame's background"
expect_colour "$shot" 274 156 "224,224,224" "Label3's background"
expect_colour "$shot" 324 24 "212,208,200" "the face of \"prueba de la pila\""
expect_colour "$shot" 324 120 "212,208,200" "the face of \"Salir\""
expect_colour "$shot" 52 200 "212,208,200" "the face of \"Probar Parser SLR\""
blank_mean="$(label3_mean "$shot")"

click_at 130 64            # Text1
xdotool type --delay 20 "(1+2)*x"
click_at 144 192           # Probar Parser SLR
shot="$screenshots/form1-answer.png"
answer_or_box() {
  shoot "$shot"
  [[ "$(label3_mean "$shot")" != "$blank_mean" ]] || xdotool search --onlyvisible --name '^Kavrelo1$' >/dev/null
}
wait_until answer_or_box || fail "the parser's answer did not appear in Label3"
if xdotool search --onlyvisible --name '^Kavrelo1$' >/dev/null; then
  fail "a message box appeared instead of the parser's answer"
fi

click_at 416 120           # Salir
await_exit
[[ "$status" == 0 ]] || fail "Salir ended the program with status $status"

# Presses "prueba de la pila" in the program copied to folder $1, started from
# folder $2; the fatal report must come up, be shot as $3, and end the program
# unsuccessfully once it is closed.
expect_fatal_report() {
  start_console "$1" "$2"
  click_at 416 24            # prueba de la pila
  await_message_box "$3"
  shoot "$screenshots/$3.png"
  kill -0 "$console_pid" 2>/dev/null || fail "the program ended before its report was closed"
  xdotool mousemove --sync --window "$box" 20 20 key Return
  await_exit
  [[ "$status" != 0 ]] || fail "the fatal report ($3) ended the program with status 0"
}

echo "--- without a library, started from a folder that holds one"
mkdir -p "$work/bare"
cp "$program" "$work/bare/"
expect_fatal_report "$work/bare" "$double_folder" fatal-report

echo "--- with a library that cannot serve, one kind after another"
doubles="$(dirname "$double_folder")"
# A library for 32-bit programs: the ELF identification is what is read first.
mkdir -p "$work/elf32-source"
head -c 512 /dev/zero >"$work/elf32-source/libZavlek.so"
printf '\177ELF\001\001\001' | dd of="$work/elf32-source/libZavlek.so" conv=notrunc status=none
for kind in not_a_library unresolved no_mpila elf32; do
  source_folder="$doubles/$kind"
  [[ "$kind" == elf32 ]] && source_folder="$work/elf32-source"
  mkdir -p "$work/$kind"
  cp "$program" "$source_folder/libZavlek.so" "$work/$kind/"
  expect_fatal_report "$work/$kind" "$work" "fatal-report-$kind"
done
echo "--- a tokenizer answer of 16 MiB"
mkdir -p "$work/tokens"
cp "$program" "$doubles/sixteen_mb_of_tokens/libZavlek.so" "$work/tokens/"
start_console "$work/tokens" "$work"
click_at 416 88            # tokeniza2 con argumento
await_message_box "the tokenizer's answer"
shoot "$screenshots/form1-sixteen-mb.png"
eval "$(xdotool getwindowgeometry --shell "$box")"
((X >= 0 && Y >= 0 && X + WIDTH <= screen_width && Y + HEIGHT <= screen_height)) ||
  fail "the message box (${WIDTH}x${HEIGHT} at $X,$Y) does not fit the ${screen_width}x${screen_height} screen"
xdotool mousemove --sync --window "$box" 20 20 key Return
wait_until eval '! xdotool search --onlyvisible --name "^Kavrelo1\$" >/dev/null' || fail "the message box did not close"
click_at 416 120           # Salir
await_exit
[[ "$status" == 0 ]] || fail "Salir after a long answer ended the program with status $status"

grep -q . "$work/stderr.log" && echo "(the program wrote to standard error:)" && cat "$work/stderr.log"

echo "PASS"
