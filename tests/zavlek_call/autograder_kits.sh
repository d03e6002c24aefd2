#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The autograders' kits run as each platform runs them, in a folder that
# stands for the container's root: setup.sh as the platform prepares the
# container (apt-get and dpkg stood in for, so that nothing is installed
# here), then the grading script on a submission, its results read as the
# platform reads them. (A DLL graded by the kits, under Wine, is in
# grade_dlls.sh, where the Windows programs are built.)
#   autograder_kits.sh TOOL REFERENCE KITS WORK
# REFERENCE: the reference library; KITS: packaging/autograder.
set -euo pipefail
tool=$1 reference=$2 kits=$3 work=$4
rm -rf "$work"
mkdir -p "$work/stand-ins"
cd "$work"

failed() {
  echo "$*" >&2
  exit 1
}

# What setup.sh asks of the system, recorded instead of done.
for command in apt-get dpkg; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/system.log"\n' "$command" "$work" >"stand-ins/$command"
done
chmod +x stand-ins/*
ln -s "$tool" stand-ins/zavlek-call
export PATH="$work/stand-ins:$PATH" TMPDIR=$work/tmp
mkdir "$TMPDIR"
shopt -s nullglob dotglob

# The packages a teacher puts beside setup.sh; only their names matter here.
windows_programs() { # ZIP
  python3 - "$1" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("Kavrelo1-1.0.0-windows-x64/zavlek-call.exe", "MZ")
PY
}

# Gradescope: the zip's files in /autograder/source, setup.sh run there,
# run_autograder copied to /autograder/run_autograder.
gradescope=$work/gradescope
mkdir -p "$gradescope/autograder/source" "$gradescope/autograder/submission"
cp "$kits/setup.sh" "$kits/calificar" "$kits/rubrica.txt" "$kits/gradescope/run_autograder" \
  "$gradescope/autograder/source/"
touch "$gradescope/autograder/source/kavrelo1_1.0.0_amd64.deb"
KAVRELO_AUTOGRADER_ROOT=$gradescope "$gradescope/autograder/source/setup.sh" >/dev/null
grep -qx "apt-get install -y --no-install-recommends $gradescope/autograder/source/kavrelo1_1.0.0_amd64.deb" \
  system.log || failed "setup.sh did not install the package: $(cat system.log)"
cp "$gradescope/autograder/source/run_autograder" "$gradescope/autograder/run_autograder"
cp "$reference" "$gradescope/autograder/submission/libZavlek.so"
# The platform's folders may be root's alone, which a confined worker (as
# root, nobody) cannot enter.
chmod 700 "$gradescope/autograder/submission"
KAVRELO_AUTOGRADER_ROOT=$gradescope "$gradescope/autograder/run_autograder" >gradescope.log 2>&1 ||
  failed "run_autograder failed: $(cat gradescope.log)"
python3 - "$gradescope/autograder/results/results.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1], encoding="utf-8"))
tests = results["tests"]
assert tests and all({"name", "score", "max_score", "visibility"} <= set(test) for test in tests), tests
assert {test["visibility"] for test in tests} == {"visible", "hidden"}, tests
assert results["score"] == 100 and abs(sum(test["max_score"] for test in tests) - 100) < 0.01, results
assert isinstance(results["output"], str)
PY
left=("$gradescope"/autograder/results/* "$TMPDIR"/*)
[[ ${left[*]} == "$gradescope/autograder/results/results.json" ]] ||
  failed "run_autograder left files behind: ${left[*]}"

# PrairieLearn: the image prepared by setup.sh from /opt/kavrelo-autograder
# (as the Dockerfile does), with the Windows programs; the question's tests/
# in /grade/tests, the student's files in /grade/student.
prairielearn=$work/prairielearn
: >system.log
mkdir -p "$prairielearn/opt/kavrelo-autograder" "$prairielearn/grade/tests" "$prairielearn/grade/student"
cp "$kits/setup.sh" "$kits/calificar" "$prairielearn/opt/kavrelo-autograder/"
touch "$prairielearn/opt/kavrelo-autograder/kavrelo1_1.0.0_amd64.deb"
windows_programs "$prairielearn/opt/kavrelo-autograder/Kavrelo1-1.0.0-windows-x64.zip"
KAVRELO_AUTOGRADER_ROOT=$prairielearn "$prairielearn/opt/kavrelo-autograder/setup.sh" >/dev/null
grep -qx "apt-get install -y --no-install-recommends $prairielearn/opt/kavrelo-autograder/kavrelo1_1.0.0_amd64.deb wine unzip" \
  system.log || failed "setup.sh did not install the package and Wine: $(cat system.log)"
exe=$prairielearn/opt/kavrelo1-windows/Kavrelo1-1.0.0-windows-x64/zavlek-call.exe
[[ -f $exe ]] || failed "setup.sh did not unpack the Windows programs"
cp "$kits/prairielearn/run_autograder" "$prairielearn/grade/tests/"
cat >"$prairielearn/grade/tests/rubrica.txt" <<'RUBRIC'
@ Parser 3
parser_SLR (1+2)*x
= Cadena aceptada
@ Parser, casos ocultos 1 oculta
parser_SLR 2*(
= Error de sintaxis en la posición 4: se esperaba número, identificador o '('
RUBRIC
cp "$reference" "$prairielearn/grade/student/libZavlek.so"
KAVRELO_AUTOGRADER_ROOT=$prairielearn "$prairielearn/grade/tests/run_autograder" >prairielearn.log 2>&1 ||
  failed "run_autograder failed: $(cat prairielearn.log)"
python3 - "$prairielearn/grade/results/results.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1], encoding="utf-8"))
assert results["gradable"] is True and results["score"] == 1, results
tests = results["tests"]
assert len(tests) == 2 and all({"name", "points", "max_points"} <= set(test) for test in tests), tests
assert sum(test["max_points"] for test in tests) == 4, tests
assert "2*(" not in json.dumps(tests, ensure_ascii=False), "a hidden case shown"
PY
