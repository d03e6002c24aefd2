#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# zavlek-call fuzz against a library that crashes only on some inputs (the
# counting double: five opening parentheses in a row): the crash is found,
# saved, and reproduced by zavlek-call parser_SLR --file, every time; and the
# reference library, fuzzed as long, gives no finding (said in JSON).
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

# The summary in JSON, read back by Python's parser.
status=0
zavlek_call --library "$reference" fuzz --json --seconds 3 --seed 1 --out "$work/none" >"$work/summary.json" ||
  status=$?
cat "$work/summary.json"
((status == 0)) || failed "expected exit status 0 for the reference library, got $status"
python3 - "$work/summary.json" <<'PYTHON' || failed "the JSON summary does not say what was expected"
import json
import sys

summary = json.load(open(sys.argv[1], encoding="utf-8"))
assert summary["hallazgos"] == [], summary["hallazgos"]
assert summary["semilla"] == 1
assert summary["entradas"] > 0 and summary["formas"] > 0, summary
PYTHON
