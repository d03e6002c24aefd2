#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# zavlek-call fuzz against libraries with a fault planted where only some
# inputs reach it: the fault is found, shrunk to the one input that shows it,
# saved as KIND-1.txt (one finding, however many inputs met it), and
# reproduced by zavlek-call parser_SLR --file, every time. The reference
# library gives no finding (said in JSON). The runs are seeded and bounded by
# inputs rather than seconds, so each is the same run on any machine,
# however loaded.
#   fuzz_findings.sh EMULATOR TOOL WORK planted KIND LIBRARY INPUTS
#   (KIND memory: to be run with the address space limited, as by ulimit -v)
#   fuzz_findings.sh EMULATOR TOOL WORK reference LIBRARY SECONDS
#   fuzz_findings.sh EMULATOR TOOL WORK corpus HANG_LIBRARY
#   fuzz_findings.sh EMULATOR TOOL WORK exception THROWING_LIBRARY
#   fuzz_findings.sh EMULATOR TOOL WORK out CRASHING_LIBRARY
set -euo pipefail
emulator=$1 tool=$2 work=$3 mode=$4
shift 4
rm -rf "$work"
mkdir -p "$work"

failed() {
  echo "$*" >&2
  exit 1
}

zavlek_call() {
  ${emulator:+"$emulator"} "$tool" "$@"
}

# A hang costs the time limit at every step of its shrinking: a short one,
# still far beyond what any other input takes, a new process's start
# included (under Wine a good part of a second).
if [[ -n $emulator ]]; then
  hang_seconds=3
else
  hang_seconds=2
fi
hang_limit=(--timeout "$hang_seconds")

planted() {
  local kind=$1 library=$2 inputs=$3 expected status=0 reproducing message limit=()
  case "$kind" in
    crash) expected='(((((' reproducing=4 message="terminó el proceso durante parser_SLR" ;;
    hang) expected=')(' reproducing=4 message="parser_SLR no volvió en $hang_seconds s" limit=("${hang_limit[@]}") ;;
    contract) expected='€' reproducing=1 message="devolvió el mismo puntero que recibió como argumento" ;;
    leak) expected=$(printf 'a%.0s' {1..1001}) reproducing=1 message="bytes sin liberar" ;;
    memory) expected='(((((' reproducing=1 message="memoria agotada durante parser_SLR: la biblioteca dejó el proceso sin memoria" ;;
    *) failed "unknown kind $kind" ;;
  esac
  zavlek_call --library "$library" "${limit[@]}" fuzz --seed 1 --inputs "$inputs" --seconds 3600 \
    --out "$work/found" >"$work/summary" || status=$?
  cat "$work/summary"
  ((status == 1)) || failed "expected exit status 1 for a finding, got $status"
  # However many inputs met the fault, the run went on to its last.
  grep -q "^Entradas    $(sed -E ':a;s/([0-9])([0-9]{3})($|\.)/\1.\2\3/;ta' <<<"$inputs") " "$work/summary" ||
    failed "the run stopped before its last input"
  grep -q "^  .*$kind-1.txt  .*$message" "$work/summary" || failed "the summary does not say the finding"
  local saved
  saved=$(cd "$work/found" && echo *)
  [[ "$saved" == "$kind-1.txt" ]] || failed "expected $kind-1.txt alone, found: $saved"
  local file=$work/found/$kind-1.txt
  # zavlek-call --file takes a final line break off; the text is what is left.
  [[ "$(cat "$file")" == "$expected" ]] || failed "$file holds $(head -c 80 "$file"), not the smallest input"
  for time in 1 2; do
    status=0
    zavlek_call --library "$library" "${limit[@]}" parser_SLR --file "$file" >/dev/null 2>"$work/reproduced" ||
      status=$?
    ((status == reproducing)) || failed "$file did not reproduce the $kind (status $status, try $time)"
    grep -q "$message" "$work/reproduced" || failed "$file: another fault: $(cat "$work/reproduced")"
  done
}

reference() {
  local library=$1 seconds=$2 status=0
  zavlek_call --library "$library" fuzz --json --seconds "$seconds" --seed 1 --out "$work/none" \
    >"$work/summary.json" || status=$?
  cat "$work/summary.json"
  ((status == 0)) || failed "expected exit status 0 for the reference library, got $status"
  [[ ! -e "$work/none" ]] || failed "files saved for the reference library: $(ls "$work/none")"
  python3 - "$work/summary.json" <<'PYTHON' || failed "the JSON summary does not say what was expected"
import json
import sys

summary = json.load(open(sys.argv[1], encoding="utf-8"))
assert summary["hallazgos"] == [], summary["hallazgos"]
assert summary["semilla"] == 1
assert summary["entradas"] > 0 and summary["formas"] > 0, summary
PYTHON
}

# A case file given to --corpus seeds the run with its cases' texts: with a
# case that holds ")(", a few inputs find the hang that the same run without
# it does not meet.
corpus() {
  local library=$1 status=0
  printf '# Un caso del autor.\nparser_SLR (1)(2)\n= Cadena aceptada\n' >"$work/casos.txt"
  zavlek_call --library "$library" "${hang_limit[@]}" fuzz --seed 1 --inputs 50 --out "$work/without" \
    >"$work/without.txt" || status=$?
  ((status == 0)) || failed "50 inputs without the corpus were meant to find nothing (status $status)"
  zavlek_call --library "$library" "${hang_limit[@]}" fuzz --seed 1 --inputs 50 --corpus "$work/casos.txt" \
    --out "$work/with" >"$work/with.txt" || status=$?
  cat "$work/with.txt"
  ((status == 1)) || failed "the case file's text did not lead to the hang (status $status)"
  [[ "$(cat "$work/with/hang-1.txt")" == ')(' ]] || failed "hang-1.txt is not the smallest input"
}

# An exception out of the entry point is a finding like any other: the run
# goes on to its last input, sums up, and saves an input that shows it again.
exception() {
  local library=$1 status=0
  zavlek_call --library "$library" fuzz --seed 1 --inputs 500 --seconds 3600 --out "$work/found" \
    >"$work/summary" || status=$?
  cat "$work/summary"
  ((status == 1)) || failed "expected exit status 1 for a finding, got $status"
  grep -q "^Entradas    500 " "$work/summary" || failed "the run stopped before its last input"
  grep -q "exception-1.txt  parser_SLR dejó salir una excepción de C++: std::out_of_range («stoi»)" \
    "$work/summary" || failed "the summary does not name the exception"
  status=0
  zavlek_call --library "$library" parser_SLR --file "$work/found/exception-1.txt" 2>"$work/reproduced" ||
    status=$?
  ((status == 1)) || failed "exception-1.txt did not reproduce the exception (status $status)"
  grep -q "atrápela dentro de parser_SLR" "$work/reproduced" || failed "another fault: $(cat "$work/reproduced")"
}

# --out is tried before the run: a file, or a folder where nothing can be
# written, is said at once with status 2. A finding never writes through a
# link planted under its name, nor over an earlier run's finding: it takes the
# next free number, and the summary says how to reproduce it.
out() {
  local library=$1 status=0
  touch "$work/a-file"
  zavlek_call --library "$library" fuzz --seed 1 --inputs 500 --out "$work/a-file" >"$work/summary" \
    2>"$work/refused" || status=$?
  ((status == 2)) || failed "--out on a file: expected status 2, got $status"
  grep -q "los hallazgos no se pueden guardar en .*a-file: no es una carpeta" "$work/refused" ||
    failed "--out on a file: $(cat "$work/refused")"
  [[ ! -s "$work/summary" ]] || failed "--out on a file: a run was made"
  if [[ -z "$emulator" ]]; then
    # Not even the system's administrator can make a file there.
    status=0
    zavlek_call --library "$library" fuzz --seed 1 --inputs 500 --out /proc/1 2>"$work/refused" || status=$?
    ((status == 2)) || failed "--out where nothing can be written: expected status 2, got $status"
    grep -q "los hallazgos no se pueden guardar en /proc/1: " "$work/refused" ||
      failed "--out where nothing can be written: $(cat "$work/refused")"
  fi
  mkdir "$work/found"
  echo kept >"$work/target"
  ln -s "$work/target" "$work/found/crash-1.txt"
  status=0
  zavlek_call --library "$library" fuzz --seed 1 --inputs 500 --out "$work/found" >"$work/summary" || status=$?
  cat "$work/summary"
  ((status == 1)) || failed "expected exit status 1 for a finding, got $status"
  [[ "$(cat "$work/target")" == kept ]] || failed "the file a planted link names was written over"
  [[ "$(cat "$work/found/crash-2.txt")" == '(((((' ]] || failed "the finding is not crash-2.txt"
  grep -q "^    zavlek-call --library [^ ]*planted[^ ]* parser_SLR --file [^ ]*found/crash-2.txt$" \
    "$work/summary" || failed "the summary does not say how to reproduce the finding"
}

"$mode" "$@"
