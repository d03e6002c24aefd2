#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program under stress in a real X server: 10 MB pasted into Text1
# and sent to the parser, then a text with characters outside the code page,
# control characters and a NUL. Afterwards the window must answer as it did
# before, having given back what the 10 MB took: it may keep no more than a
# quarter of the text's size.
# Usage: form1_stress.sh KAVRELO1 LIBZAVLEK.SO SCREENSHOT_FOLDER
set -euo pipefail

program="$1" library="$2" screenshots="$3"
title="Comandos para invocar funciones en DLL"
screen_width=1024 screen_height=768
mkdir -p "$screenshots"
# shellcheck source-path=SCRIPTDIR source=form1_driver.sh
source "$(dirname "$0")/form1_driver.sh"

# The program's own memory: anonymous pages only, not the files it maps
# (libraries and fonts), which differ from machine to machine.
resident_kb() { awk '/^RssAnon:/ { print $2 }' "/proc/$console_pid/status"; }

label3_shot() {  # file: Label3 as it is drawn now
  shoot "$work/now.png"
  convert "$work/now.png" -crop "257x33+$((origin_x + 24))+$((origin_y + 128))" +repage "$1"
}

same_picture() { compare -metric AE "$1" "$2" null: 2>/dev/null; }

label3_changed() {
  label3_shot "$work/label3.png"
  ! same_picture "$work/before.png" "$work/label3.png"
}

# Pastes the file over Text1's text as a person would (select all, paste),
# presses "Probar Parser SLR" and waits for Label3 to show a new answer.
send() {  # file, what it is
  label3_shot "$work/before.png"
  # xclip serves the clipboard until the program has taken it once.
  xclip -selection clipboard -loops 1 -in "$1" >/dev/null 2>&1 &
  local started=$SECONDS
  click_at 130 64            # Text1
  xdotool key ctrl+a ctrl+v
  click_at 144 192           # Probar Parser SLR
  wait_limit=600 wait_until label3_changed || fail "no new answer in Label3 after $2"
  if xdotool search --onlyvisible --name '^Kavrelo1$' >/dev/null; then
    fail "a message box appeared after $2"
  fi
  echo "$2: answered in $((SECONDS - started)) s, anonymous resident memory $(resident_kb) kB"
}

start_x_server
set_clean_environment
mkdir -p "$work/app"
cp "$program" "$library" "$work/app/"
start_console "$work/app" "$work"

printf '1+2' >"$work/short.txt"
printf 'a\001\033\000b \303\241\303\261\342\202\254 \344\270\255\360\237\230\200 )' >"$work/hard.txt"
# The hard texts are shown once before the first measure: drawing them loads
# the fonts that cover them (on a desktop with a CJK font, that font), which
# the program keeps, as it should. The measure is then of what the 10 MB
# text took and gave back, whatever fonts the machine has.
send "$work/short.txt" "a short expression"
label3_shot "$work/accepted.png"
send "$work/hard.txt" "controls, a NUL and characters outside the code page, at first"
send "$work/short.txt" "the short expression, before the measure"
baseline=$(resident_kb)

# Ten megabytes of expression with one fault at its very end, so that the
# answer names a position and differs from every other answer here.
{ head -c $((10 << 20)) < <(tr -d '\n' < <(yes 'x1+(2*x3)-')); printf '(1'; } >"$work/ten-mb.txt"
send "$work/ten-mb.txt" "10 MB of expression"
shoot "$screenshots/form1-stress-ten-mb.png"

send "$work/hard.txt" "controls, a NUL and characters outside the code page"
shoot "$screenshots/form1-stress-hard.png"

send "$work/short.txt" "the short expression again"
same_picture "$work/accepted.png" "$work/label3.png" || fail "the short expression's answer looks different now"
after=$(resident_kb)
echo "anonymous resident memory: $baseline kB at first, $after kB at the end"
kept_limit_kb=$(((10 << 10) / 4))
((after - baseline <= kept_limit_kb)) ||
  fail "anonymous resident memory grew from $baseline kB to $after kB, more than $kept_limit_kb kB"

click_at 416 120           # Salir
await_exit
[[ "$status" == 0 ]] || fail "Salir ended the program with status $status"
echo "PASS"
