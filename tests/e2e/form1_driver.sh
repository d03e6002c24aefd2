# SPDX-License-Identifier: MIT
# Driving the real program in a real X server, as a person would with
# xdotool: sourced by the end-to-end and stress scripts, which set program,
# title, screen_width, screen_height and screenshots first.
# shellcheck shell=bash
# shellcheck disable=SC2154  # the variables above, set by the sourcing script
work="$(mktemp -d)"
xvfb_pid=""
console_pid=""

cleanup() {
  if [[ -n "$console_pid" ]]; then kill "$console_pid" 2>/dev/null || true; fi
  if [[ -n "$xvfb_pid" ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi
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
# program does; the limit (wait_limit seconds, 30 unless set) only turns a
# program that never does it into a failure instead of a hang.
wait_until() {
  local deadline=$((SECONDS + ${wait_limit:-30}))
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
  Xvfb -displayfd 3 -noreset -screen 0 "${screen_width}x${screen_height}x24" -nolisten tcp \
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
# Variables for the program alone may be set in console_environment.
console_environment=()
start_console() {
  local library_path=()
  # AddressSanitizer's dlopen interceptor makes itself the caller, and its
  # RUNPATH is not the program's; under it the folder is named explicitly.
  if [[ -n "${KAVRELO_SANITIZED:-}" && -e "$1/libZavlek.so" ]]; then
    library_path=(LD_LIBRARY_PATH="$1")
  fi
  (cd "$2" && exec "${clean_environment[@]}" "${library_path[@]}" "${console_environment[@]}" "$1/kavrelo1" \
    "${@:3}") 2>"$work/stderr.log" &
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
# shellcheck disable=SC2034  # status is read by the sourcing script
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

