#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program in a real X server, driven as a person would with xdotool.
# Usage: form1_e2e.sh KAVRELO1 LIBZAVLEK.SO DOUBLE_FOLDER SCREENSHOT_FOLDER
set -euo pipefail

program="$1" library="$2" double_folder="$3" screenshots="$4"
title="Comandos para invocar funciones en DLL"
screen_width=1024 screen_height=768
mkdir -p "$screenshots"
# shellcheck source-path=SCRIPTDIR source=form1_driver.sh
source "$(dirname "$0")/form1_driver.sh"

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
  # Status 1 exactly: a crash would end it by a signal (128 and up).
  [[ "$status" == 1 ]] || fail "the fatal report ($3) ended the program with status $status, not 1"
}

echo "--- without a library, started from a folder that holds one, with . in the search"
mkdir -p "$work/bare"
cp "$program" "$work/bare/"
console_environment=(LD_LIBRARY_PATH=.)
expect_fatal_report "$work/bare" "$double_folder" fatal-report
console_environment=()
grep -q "^kavrelo1: se pasó por alto el elemento relativo «.» de LD_LIBRARY_PATH: la búsqueda solo usa carpetas absolutas$" \
  "$work/stderr.log" || fail "the element . of the search is not named as passed over: $(cat "$work/stderr.log")"

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
echo "--- a parser that answers with what is no string of its own"
for shape in argument constant unreadable inside_large_block in_a_mapping static_storage thread_local_storage; do
  mkdir -p "$work/$shape"
  cp "$program" "$doubles/answers_$shape/libZavlek.so" "$work/$shape/"
  start_console "$work/$shape" "$work"
  click_at 130 64            # Text1
  xdotool type --delay 20 "1+x"
  click_at 144 192           # Probar Parser SLR
  await_message_box "the answer of kind $shape"
  shoot "$screenshots/fatal-report-answer-$shape.png"
  # What the box says is also on standard error, where it can be read back.
  grep -q "devolvió desde parser_SLR una cadena mal formada: .*SysAllocStringByteLen" "$work/stderr.log" ||
    fail "the report on the answer of kind $shape: $(cat "$work/stderr.log")"
  grep -qxF "kavrelo1: la biblioteca que responde es $(realpath "$work/$shape")/libZavlek.so" "$work/stderr.log" ||
    fail "the library that answered is not named: $(cat "$work/stderr.log")"
  xdotool mousemove --sync --window "$box" 20 20 key Return
  await_exit
  [[ "$status" == 1 ]] || fail "the answer of kind $shape ended the program with status $status, not 1"
done

echo "--- a library that crashes the program during the call"
# The report comes up though the process that made the call is broken, and
# says how it broke: a write through a null pointer, a recursion without limit.
for kind in crash:"violación de acceso a memoria en la dirección 0x0" \
  recursion:"desbordamiento de pila"; do
  fault="${kind%%:*}" words="${kind#*:}"
  mkdir -p "$work/breaks-$fault"
  cp "$program" "$doubles/breaks_$fault/libZavlek.so" "$work/breaks-$fault/"
  start_console "$work/breaks-$fault" "$work"
  click_at 130 64            # Text1
  xdotool type --delay 20 "(1+x)"
  click_at 144 192           # Probar Parser SLR
  await_message_box "the crash ($fault)"
  shoot "$screenshots/fatal-report-crash-$fault.png"
  grep -q "falló durante parser_SLR: $words" "$work/stderr.log" ||
    fail "the report on the crash ($fault): $(cat "$work/stderr.log")"
  grep -q "Texto enviado: «(1+x)»" "$work/stderr.log" || fail "the crash report ($fault) lacks the text sent"
  xdotool mousemove --sync --window "$box" 20 20 key Return
  await_exit
  [[ "$status" == 1 ]] || fail "the crash ($fault) ended the program with status $status, not 1"
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
