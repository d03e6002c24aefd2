#!/usr/bin/env bash
# zavlek-call fuzz against a library that crashes only on some inputs (the
# counting double: five opening parentheses in a row): the crash is found,
# saved, and reproduced by zavlek-call parser_SLR --file, every time; and the
# reference library, fuzzed as long, gives no finding.
#   fuzz_findings.sh EMULATOR TOOL COUNTING_LIBRARY REFERENCE_LIBRARY WORK
set -euo pipefail
emulator=$1 tool=$2 counting=$3 reference=$4 work=$5
rm -rf "$work"
mkdir -p "$work"

failed() {
  echo "$*" >&2
  exit 1
}

zavlek_call() {
  ${emulator:+"$emulator"} "$tool" "$@"
}

status=0
zavlek_call --library "$counting" fuzz --seconds 3 --seed 1 --out "$work/found" >"$work/summary" || status=$?
cat "$work/summary"
((status == 1)) || failed "expected exit status 1 for a finding, got $status"
grep -q "^Hallazgos   [1-9]" "$work/summary" || failed "no finding in the summary"
for file in "$work"/found/crash-*.txt; do
  [[ -e "$file" ]] || failed "no crash-N.txt saved"
  for time in 1 2; do
    status=0
    zavlek_call --library "$counting" parser_SLR --file "$file" >/dev/null 2>"$work/reproduced" || status=$?
    ((status == 4)) || failed "$file did not reproduce the crash (status $status, try $time)"
    grep -q "terminó el proceso durante parser_SLR" "$work/reproduced" || failed "$file: another fault"
  done
done

status=0
zavlek_call --library "$reference" fuzz --seconds 3 --seed 1 --out "$work/none" >"$work/summary" || status=$?
cat "$work/summary"
((status == 0)) || failed "expected exit status 0 for the reference library, got $status"
grep -q "^Hallazgos   0$" "$work/summary" || failed "the reference library had findings"
grep -q "^Formas      [1-9]" "$work/summary" || failed "no answer shape counted"
