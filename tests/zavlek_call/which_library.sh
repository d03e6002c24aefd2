#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A student who put "." in LD_LIBRARY_PATH, in the folder of their own
# library, gets answers from the library beside the tool: run, fuzz and check
# say by its full path which file answered, and --library names theirs.
#   which_library.sh TOOL STUDENT_LIBRARY WORK
set -euo pipefail
tool=$1 student=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cp "$student" "$work/libZavlek.so"
cd "$work"
printf 'parser_SLR 1+x\n= Cadena aceptada\n' >cases.txt
beside_the_tool="$(cd "$(dirname "$tool")" && pwd)/libZavlek.so"

failed() {
  echo "$*" >&2
  exit 1
}

LD_LIBRARY_PATH=. "$tool" run cases.txt --junit junit.xml >tap 2>stderr || true
grep -qxF "# biblioteca: $beside_the_tool" tap || failed "run does not say which library answered: $(cat tap)"
prove --exec cat tap >/dev/null 2>&1 || failed "prove does not read the TAP: $(cat tap)"
python3 - "$beside_the_tool" <<'PY' || failed "the JUnit report does not name the library: $(cat junit.xml)"
import sys, xml.etree.ElementTree as tree
suite = tree.parse("junit.xml").getroot().find("testsuite")
names = {p.get("name"): p.get("value") for p in suite.find("properties")}
sys.exit(names.get("biblioteca") != sys.argv[1])
PY

LD_LIBRARY_PATH=. "$tool" fuzz --inputs 50 --out findings >summary 2>/dev/null || true
grep -qxF "Biblioteca  $beside_the_tool" summary || failed "fuzz does not say which library answered: $(cat summary)"

LD_LIBRARY_PATH=. "$tool" check --json >check.json 2>/dev/null || true
python3 -c 'import json,sys; sys.exit(json.load(open("check.json"))["biblioteca"] != sys.argv[1])' \
  "$beside_the_tool" || failed "check does not say which library answered: $(head -3 check.json)"

# Named on the command line, relative: the same file, by its full path.
"$tool" --library libZavlek.so run cases.txt >tap-named 2>&1 || true
grep -qxF "# biblioteca: $work/libZavlek.so" tap-named || failed "run does not name --library's file: $(cat tap-named)"
echo "each mode named the library that answered"
