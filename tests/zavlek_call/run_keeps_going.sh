#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# zavlek-call run against a library whose answer is malformed in one case of
# several: that case fails with its cause, a new child runs the rest, and the
# usual consumers see one failure and no skipped case.
#   run_keeps_going.sh EMULATOR TOOL LIBRARY CASES WORK
# LIBRARY returns parser_SLR's argument; EMULATOR may be empty.
set -euo pipefail
emulator=$1 tool=$2 library=$3 cases=$4 work=$5
mkdir -p "$work"
cd "$cases"

failed() {
  echo "$*" >&2
  exit 1
}

status=0
${emulator:+"$emulator"} "$tool" --library "$library" run --junit "$work/junit.xml" one-malformed.txt \
  >"$work/tap" || status=$?
cat "$work/tap"
((status == 1)) || failed "expected exit status 1, got $status"
! grep -q "Bail out!" "$work/tap" || failed "the run bailed out"
grep -q "^  causa: \"La biblioteca .* devolvió desde parser_SLR una cadena mal formada: es la misma cadena que recibió como argumento" "$work/tap" || failed "the failed case does not say why"

status=0
prove --exec cat "$work/tap" >"$work/prove" 2>&1 || status=$?
cat "$work/prove"
((status == 1)) || failed "prove should fail the run (status $status)"
grep -q "Failed test:  3$" "$work/prove" || failed "prove saw other failures"
grep -q "Tests: 5 Failed: 1)" "$work/prove" || failed "prove saw another plan"

python3 - "$work/junit.xml" <<'PYTHON' || failed "the JUnit report does not say what was expected"
import sys
import xml.etree.ElementTree as tree

root = tree.parse(sys.argv[1]).getroot()
assert (root.get("tests"), root.get("failures"), root.get("skipped")) == ("5", "1", "0"), root.attrib
assert root.find(".//skipped") is None
failures = root.findall(".//failure")
assert len(failures) == 1 and "argumento" in failures[0].get("message"), [f.attrib for f in failures]
PYTHON
