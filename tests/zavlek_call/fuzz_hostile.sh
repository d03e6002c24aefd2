#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# zavlek-call fuzz against libraries hostile to fuzz itself: a fault in the
# call each child makes before the inputs is that call's, with its text; a
# library that keeps a state between calls is never blamed on an input that
# a fresh process answers; records a library forges on the private channel
# are said and taken for no input's; a library that ignores SIGCHLD has its
# crash said as a crash; and a process serving the inputs ends with
# zavlek-call, even by SIGKILL. Every saved finding reproduces with
# zavlek-call parser_SLR --file.
#   fuzz_hostile.sh EMULATOR TOOL WORK warm_up CRASH_ON_PARENTHESIS_LIBRARY
#   fuzz_hostile.sh EMULATOR TOOL WORK first_text BUFFER_FROM_FIRST_TEXT_LIBRARY INPUTS
#   fuzz_hostile.sh EMULATOR TOOL WORK counting COUNTING_LIBRARY
#   fuzz_hostile.sh EMULATOR TOOL WORK forged FORGE_RECORD_LIBRARY
#   fuzz_hostile.sh EMULATOR TOOL WORK sigchld IGNORING_SIGCHLD_LIBRARY
#   fuzz_hostile.sh "" TOOL WORK parent_killed HANG_AFTER_FIRST_LIBRARY
set -euo pipefail
emulator=$1 tool=$2 work=$3 mode=$4
shift 4
rm -rf "$work"
mkdir -p "$work"

failed() {
  echo "fuzz_hostile.sh: $*" >&2
  exit 1
}

zavlek_call() {
  ${emulator:+"$emulator"} "$tool" "$@"
}

# fuzz LIBRARY EXPECTED_STATUS ARGUMENTS...: the summary in $work/summary.
fuzz() {
  local library=$1 expected=$2 status=0
  shift 2
  zavlek_call --library "$library" fuzz --seed 1 --seconds 3600 --out "$work/found" "$@" >"$work/summary" ||
    status=$?
  cat "$work/summary"
  ((status == expected)) || failed "expected exit status $expected, got $status"
}

# reproduces FILE STATUS MESSAGE: what the summary printed for it, again.
reproduces() {
  local library=$1 file=$2 expected=$3 message=$4 status=0
  zavlek_call --library "$library" parser_SLR --file "$work/found/$file" >"$work/answer" 2>"$work/reproduced" ||
    status=$?
  ((status == expected)) || failed "$file: exit status $status, not $expected: $(cat "$work/reproduced")"
  grep -q "$message" "$work/reproduced" "$work/answer" || failed "$file: not what was found: $(cat "$work/reproduced")"
}

saved_files() {
  (cd "$work/found" 2>/dev/null && echo *) || true
}

# A library that crashes on any "(" crashes on the call before the inputs:
# that call is the finding, with its text, and no input is blamed.
warm_up() {
  local library=$1
  fuzz "$library" 1 --inputs 200
  [[ "$(saved_files)" == "crash-1.txt" ]] || failed "expected crash-1.txt alone, found: $(saved_files)"
  [[ "$(cat "$work/found/crash-1.txt")" == "2 * (x + 3)" ]] ||
    failed "crash-1.txt holds $(cat "$work/found/crash-1.txt"), not the text of the call before the inputs"
  grep -q "crash-1.txt  en la llamada que precede a las entradas, con «2 \* (x + 3)»: la biblioteca terminó el proceso" \
    "$work/summary" || failed "the summary does not say the call before the inputs failed"
  reproduces "$library" crash-1.txt 4 "terminó el proceso durante parser_SLR"
}

# A library that sizes its buffer from the first text it gets crashes on a
# longer text only after a shorter one, the call before the inputs included:
# not in a fresh process, as the call that reproduces a finding is. Said once
# as an answer that depends on earlier calls, never as the crash of an input;
# one copy per input meets no fault at all.
first_text() {
  local library=$1 inputs=$2
  fuzz "$library" 1 --inputs "$inputs"
  [[ "$(saved_files)" == "stateful-1.txt" ]] || failed "expected stateful-1.txt alone, found: $(saved_files)"
  # A crash is a signal; under AddressSanitizer, which catches it, an exit.
  grep -q "stateful-1.txt  la respuesta depende de llamadas anteriores: la biblioteca terminó el proceso durante parser_SLR[^«]* tras otras entradas, «Cadena aceptada» en un proceso nuevo" \
    "$work/summary" || failed "the summary does not give both answers"
  reproduces "$library" stateful-1.txt 0 "Cadena aceptada"
  rm -rf "$work/found"
  fuzz "$library" 0 --inputs "$inputs" --sin-persistencia
}

# A library whose answer counts its calls answers an input otherwise in a
# copy that served others than in a fresh one: said once, with both answers,
# and the run goes on to its last input.
counting() {
  local library=$1
  fuzz "$library" 1 --inputs 50
  grep -q "^Entradas    50 " "$work/summary" || failed "the run stopped before its last input"
  # Its crash on five parentheses is a finding of its own.
  [[ "$(saved_files)" == "crash-1.txt stateful-1.txt" ]] ||
    failed "expected crash-1.txt and stateful-1.txt, found: $(saved_files)"
  grep -q "stateful-1.txt  la respuesta depende de llamadas anteriores: «llamada [0-9]*» tras otras entradas, «llamada [0-9]*» en un proceso nuevo" \
    "$work/summary" || failed "the summary does not give both answers"
  reproduces "$library" stateful-1.txt 0 "llamada"
}

# Every call writes an answer of its own on the channel: the run still sends
# its inputs, takes none of those records for an input's and says so.
forged() {
  local library=$1
  fuzz "$library" 1 --inputs 50
  grep -q "^Entradas    50 " "$work/summary" || failed "more results than inputs, or fewer"
  grep -q "^Registros   [0-9.]* de más" "$work/summary" || failed "the forged records are not said"
  [[ -z "$(saved_files)" ]] || failed "findings made of forged records: $(saved_files)"
}

# SIGCHLD ignored from the library's loading on: the copies' crashes are
# still seen as crashes, found, shrunk and reproduced.
sigchld() {
  local library=$1
  fuzz "$library" 1 --inputs 500
  [[ "$(saved_files)" == "crash-1.txt" ]] || failed "expected crash-1.txt alone, found: $(saved_files)"
  [[ "$(cat "$work/found/crash-1.txt")" == "(((((" ]] || failed "crash-1.txt is not the smallest input"
  # A copy reaped unseen left a wait status of 0. A crash is a signal, said
  # as the copy's handler saw it; under AddressSanitizer, when it catches it
  # first, an exit with status 1.
  grep -Eq "crash-1.txt  la biblioteca terminó el proceso durante parser_SLR(: violación de acceso a memoria| \(estado 1\))" \
    "$work/summary" || failed "the crash is not said as the signal it was"
  reproduces "$library" crash-1.txt 4 "terminó el proceso durante parser_SLR"
}

# zavlek-call ended by SIGKILL while a copy hangs on an input: the system
# ends the copy too, as the process that made it ends. The events are waited
# for; the bound only stops a failure from waiting for ever.
parent_killed() {
  local library=$1 patience=60 waited_from=$SECONDS
  export HOSTILE_PID_FILE=$work/hanging
  # Whatever a failure leaves running, by the ids seen.
  left=()
  trap 'if ((${#left[@]})); then kill -KILL "${left[@]}" 2>/dev/null || true; fi' EXIT
  # The tool itself, not a shell running it, is what is killed.
  "$tool" --library "$library" --timeout 600 fuzz --seed 1 --inputs 1 --out "$work/found" >/dev/null 2>&1 &
  local tool_process=$! copy
  left=("$tool_process")
  until [[ -s "$HOSTILE_PID_FILE" ]]; do
    ((SECONDS - waited_from < patience)) || failed "no input met the hang in $patience s"
    sleep 0.05
  done
  copy=$(cat "$HOSTILE_PID_FILE")
  left+=("$copy")
  kill -KILL "$tool_process"
  waited_from=$SECONDS
  while [[ -e "/proc/$copy" && "$(cut -d' ' -f3 "/proc/$copy/stat" 2>/dev/null)" != Z ]]; do
    ((SECONDS - waited_from < patience)) || failed "the copy $copy still runs $patience s after zavlek-call was killed"
    sleep 0.05
  done
}

"$mode" "$@"
