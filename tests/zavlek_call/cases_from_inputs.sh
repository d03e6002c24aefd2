#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A case file made from a list of inputs by the reference library: the
# example's cases without their answers give back, as run reads them, every
# exact answer the example writes, and answers run finds right; a rubric
# without answers becomes one grade reads; a library that crashes or hangs
# on an input writes nothing and names the input's line.
#   cases_from_inputs.sh TOOL DOUBLES REFERENCE EXAMPLE WORK
# DOUBLES: the folder of the test-double libraries; REFERENCE: the
# reference library; EXAMPLE: its case file.
set -euo pipefail
tool=$1 doubles=$2 reference=$3 example=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
cd "$work"

failed() {
  echo "$*" >&2
  exit 1
}

# The example's lines but its answers and patterns.
grep -v -E '^[=~]( |$)' "$example" >entradas.txt
"$tool" --library "$reference" cases --from entradas.txt >casos.txt ||
  failed "cases failed on the reference library's own inputs"
"$tool" --library "$reference" run casos.txt >run.tap ||
  failed "the case file made is not passed by the library that made it: $(grep '^not ok' run.tap)"

# Line by line: what the example writes is written again, a pattern's case
# now with an exact answer, and each exact answer means what the example's
# means (read with the escapes as the format defines them, in the library's
# code page).
python3 - "$example" casos.txt <<'PY'
import re, sys
example, made = (open(path, encoding="utf-8").read().split("\n") for path in sys.argv[1:])

def meant(written):
    escapes = {"n": "\n", "t": "\t", "\\": "\\"}
    return re.sub(r"\\(x[0-9A-Fa-f]{2}|[nt\\])",
                  lambda m: escapes.get(m.group(1)) or bytes([int(m.group(1)[1:], 16)]).decode("cp1252"),
                  written)

assert len(example) == len(made), f"{len(made)} lines made for the example's {len(example)}"
exact = 0
for number, (written, answered) in enumerate(zip(example, made), 1):
    if written.startswith("~"):
        assert answered.startswith("= "), f"line {number}: {answered!r} where the example has a pattern"
    elif written.startswith("="):
        assert meant(answered[2:]) == meant(written[2:]), f"line {number}: {answered!r} for {written!r}"
        exact += 1
    else:
        assert answered == written, f"line {number}: {answered!r} for {written!r}"
assert exact > 30, f"only {exact} exact answers compared"
PY

# Answers with what a case file's line cannot hold as it is (controls, line
# breaks, backslashes, spaces at its end) are written with the escapes, and
# read back as the library's answer: the double answers with the text sent.
printf '%s\n' 'parser_SLR a\tb\\c\x01\x0D\né€' 'tokeniza2 x\x20' >ecos.txt
"$tool" --library "$doubles/echo/libZavlek.so" cases --from ecos.txt >ecos-casos.txt
printf '%s\n' 'parser_SLR a\tb\\c\x01\x0D\né€' '= a\tb\\c\x01\x0D\né€' 'tokeniza2 x\x20' '= x ' >esperado.txt
cmp esperado.txt ecos-casos.txt || failed "the answers were not written with the escapes: $(cat ecos-casos.txt)"
"$tool" --library "$doubles/echo/libZavlek.so" run ecos-casos.txt >/dev/null ||
  failed "the escaped answers are not read back as the answers"

# A rubric written without answers: its group lines pass through, and grade
# gives the library that answered every point.
cat >sin-respuestas.txt <<'RUBRIC'
# Práctica 2
@ Tokenizador 4
tokeniza2 a\tb
mPila
@ Parser 6 oculta
parser_SLR (1+2)*x
parser_SLR 2*(
RUBRIC
"$tool" --library "$reference" cases --from - <sin-respuestas.txt >rubrica.txt
mkdir -p clase/profe
cp "$reference" clase/profe/libZavlek.so
"$tool" grade --rubric rubrica.txt --out notas --jobs 1 --sin-aislamiento clase/profe ||
  failed "grade refused the rubric cases made: $(cat rubrica.txt)"
python3 - notas/profe/results.json <<'PY'
import json, sys
results = json.load(open(sys.argv[1], encoding="utf-8"))
assert results["score"] == 10, results
PY

# A crash and a hang, each on the third line: nothing on standard output,
# the line named with the input and the cause.
printf '# antes\nmPila\nparser_SLR x\nparser_SLR y\n' >choca.txt
status=0
"$tool" --library "$doubles/breaks_crash/libZavlek.so" cases --from choca.txt >salida.txt 2>error.txt ||
  status=$?
[[ $status == 4 && ! -s salida.txt ]] || failed "a crash ended cases with $status and wrote $(cat salida.txt)"
grep -q '^zavlek-call: choca.txt:3: con «parser_SLR x», la biblioteca terminó el proceso' error.txt ||
  failed "the crash was not said by its line: $(cat error.txt)"
grep -q '^zavlek-call: choca.txt:4: con «parser_SLR y», ' error.txt ||
  failed "an input after the crash was not answered in a new process: $(cat error.txt)"

printf 'tokeniza2 a\n\nparser_SLR \\x20\\x20\n' >cuelga.txt
status=0
"$tool" --library "$doubles/breaks_hang/libZavlek.so" --timeout 3 cases --from cuelga.txt >salida.txt 2>error.txt ||
  status=$?
[[ $status == 4 && ! -s salida.txt ]] || failed "a hang ended cases with $status and wrote $(cat salida.txt)"
grep -q '^zavlek-call: cuelga.txt:3: con «parser_SLR \\x20\\x20», parser_SLR no volvió en 3 s' error.txt ||
  failed "the hang was not said by its line: $(cat error.txt)"

# A line that is no call is said before anything is called.
printf 'mPila\nparser_SLR\n' >mal.txt
status=0
"$tool" --library "$doubles/breaks_crash/libZavlek.so" cases --from mal.txt >salida.txt 2>error.txt || status=$?
[[ $status == 2 && ! -s salida.txt ]] || failed "a line at fault ended cases with $status"
grep -q '^mal.txt:2: parser_SLR necesita un texto' error.txt || failed "the line at fault was not said: $(cat error.txt)"
