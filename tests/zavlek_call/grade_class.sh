#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A class graded in one command: submissions as students hand them in (a
# folder, a zip, a bare library; right, wrong, crashing, hanging, leaking,
# snooping, with C++ names, not a library at all, empty, ambiguous, hostile,
# copied), the grades read back as a spreadsheet, Gradescope, PrairieLearn
# and a JUnit reader read them, and the same grades whatever --jobs says.
#   grade_class.sh TOOL DOUBLES REFERENCE WORK GRADER_MEMORY
# DOUBLES: the folder of the test-double libraries; REFERENCE: the
# reference library; GRADER_MEMORY: closed, or open in a build with the
# sanitizers, whose leak checker reads the grading process as a tracer
# would, so that there what it starts can read it too.
set -euo pipefail
tool=$1 doubles=$2 reference=$3 work=$4 grader_memory=$5
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$work"
mkdir -p "$work/clase"
cd "$work"

failed() {
  echo "$*" >&2
  exit 1
}

submit() { # FOLDER DOUBLE
  mkdir -p "clase/$1"
  cp "$doubles/$2/libZavlek.so" "clase/$1/"
}
submit ana student
echo "Entrega de Ana" >clase/ana/LEEME.txt
submit beto student_pairs_parentheses
submit carla student_loops_on_a_bare_point
submit david student_keeps_a_copy
submit eva student_snoops
submit fede mangled
submit mario student_throws
echo "no soy una biblioteca" >clase/gema.so
mkdir -p clase/hugo
mkdir -p clase/kike/build && cp "$reference" clase/kike/build/libZavlek.so
python3 - "$doubles" "$reference" <<'PY'
import sys, zipfile
doubles, reference = sys.argv[1:]
with zipfile.ZipFile("clase/ines.zip", "w") as z:
    z.write(f"{doubles}/student/libZavlek.so", "a/uno.so")
    z.write(f"{doubles}/student/libZavlek.so", "b/dos.so")
with zipfile.ZipFile("clase/juan.zip", "w") as z:
    z.write(f"{doubles}/student/libZavlek.so", "libZavlek.so")
    z.write(f"{doubles}/student/libZavlek.so", "../../fuera.so")
with zipfile.ZipFile("clase/lola.zip", "w") as z:
    z.write(reference, "lola/libZavlek.so")
link = zipfile.ZipInfo("libZavlek.so")
link.external_attr = 0o120777 << 16
with zipfile.ZipFile("clase/nora.zip", "w") as z:
    z.writestr(link, "../ana/libZavlek.so")
PY

cat >rubrica.txt <<'RUBRIC'
# Práctica 2: tokenizador y analizador
@ Tokenizador 20
tokeniza2 a+1
= a + 1
mPila
@ Parser 50
parser_SLR (1+2)*x
= Cadena aceptada
parser_SLR )
~ ^Error de sintaxis en la posición 1
parser_SLR 1.
~ ^Error
parser_SLR 99999999999
~ .
@ Parser, casos ocultos 10 oculta
parser_SLR 2*(
~ ^Error de sintaxis
@ fuzz 20
RUBRIC

# A rubric at fault is said line by line before anything is graded.
printf '@ Parser cincuenta\nparser_SLR x\n= Cadena aceptada\n' >rubrica-mal.txt
status=0
"$tool" grade --rubric rubrica-mal.txt --out notas-mal clase/ana 2>rubrica-mal.err || status=$?
((status == 2)) || failed "a rubric at fault ended with status $status, not 2"
grep -qx 'rubrica-mal.txt:1: los puntos del grupo no son un número: cincuenta (se admiten 20, 2.5 o 2,5)' \
  rubrica-mal.err || failed "the rubric's fault is not said with its line: $(cat rubrica-mal.err)"
[[ ! -e notas-mal ]] || failed "a rubric at fault still wrote grades"

# The snooping submission is told to reach a listener of ours.
# shellcheck source=tests/zavlek_call/snoop_listener.sh
source "$here/snoop_listener.sh"

export KAVRELO_SNOOP_READ=$work/clase/ana/libZavlek.so
export KAVRELO_SNOOP_WRITE=$work/notas/escrito.txt
export KAVRELO_SNOOP_PORT=$port
export KAVRELO_SNOOP_PROCESSES=1000
# The class with two workers at once; then some of it with one, as a
# teacher's rerun would be, which must give their rows the same grades.
status=0
"$tool" --timeout 3 grade --rubric rubrica.txt --out notas --jobs 2 --fuzz-inputs 200 clase/* >tabla \
  2>progreso || status=$?
cat tabla progreso
((status == 0)) || failed "grade --jobs 2 ended with status $status"
some=(ana beto fede kike lola)
"$tool" --timeout 3 grade --rubric rubrica.txt --out notas-jobs-1 --jobs 1 --fuzz-inputs 200 \
  clase/{ana,beto,fede,kike} clase/lola.zip >tabla-jobs-1 2>&1 || failed "grade --jobs 1 failed: $(cat tabla-jobs-1)"
pattern=$(IFS='|'; echo "^(${some[*]}),")
if [[ $(grep -acE "$pattern" notas-jobs-1/notas.csv) != "${#some[@]}" ]] ||
  ! cmp <(grep -aE "$pattern" notas/notas.csv) <(grep -aE "$pattern" notas-jobs-1/notas.csv); then
  failed "--jobs 1 and --jobs 2 gave different grades"
fi
[[ ! -e notas/escrito.txt ]] || failed "a submission wrote into the grades' folder"
[[ ! -s reached ]] || failed "a submission reached the network: $(cat reached)"

# The spreadsheet's view: every cell, as Python's CSV reader reads them.
python3 - notas/notas.csv >csv-read <<'PY'
import csv, sys
with open(sys.argv[1], encoding="utf-8-sig", newline="") as f:
    for row in csv.reader(f, strict=True):
        print("|".join(row))
PY
cat >csv-expected <<'CSV'
entrega|nota|maximo|Tokenizador|Parser|Parser, casos ocultos|fuzz|estado|motivo|igual_a
ana|100.00|100.00|20.00|50.00|10.00|20.00|calificada||
beto|67.50|100.00|20.00|37.50|10.00|0.00|calificada||
carla|87.50|100.00|20.00|37.50|10.00|20.00|calificada||
david|80.00|100.00|20.00|50.00|10.00|0.00|calificada||
eva|55.00|100.00|10.00|25.00|0.00|20.00|calificada||
fede|0.00|100.00|0.00|0.00|0.00|0.00|no calificable|libZavlek.so no exporta con su nombre exacto: tokeniza2, parser_SLR; en lugar de tokeniza2, exporta «tokeniza2(char*)» («_Z9tokeniza2Pc») con nombre de C++; declárelo «extern "C"»; en lugar de parser_SLR, exporta «parser_SLR(char*)» («_Z10parser_SLRPc») con nombre de C++; declárelo «extern "C"»|
gema|0.00|100.00|0.00|0.00|0.00|0.00|no calificable|No se pudo cargar la biblioteca gema.so: el archivo gema.so no es una biblioteca compartida.
Detalle del sistema: gema.so: file too short|
hugo|0.00|100.00|0.00|0.00|0.00|0.00|no calificable|no tiene biblioteca: ni libZavlek.so ni Zavlek.dll, ni un único .so o .dll|
ines|0.00|100.00|0.00|0.00|0.00|0.00|no calificable|tiene varias bibliotecas y no se sabe cuál calificar: a/uno.so, b/dos.so|
juan|0.00|100.00|0.00|0.00|0.00|0.00|no calificable|el zip tiene una ruta que sale de su carpeta: ../../fuera.so|
kike|90.00|100.00|10.00|50.00|10.00|20.00|calificada||lola
lola|90.00|100.00|10.00|50.00|10.00|20.00|calificada||kike
mario|67.50|100.00|20.00|37.50|10.00|0.00|calificada||
nora|0.00|100.00|0.00|0.00|0.00|0.00|no calificable|el zip tiene un enlace simbólico: libZavlek.so|
CSV
diff csv-expected csv-read || failed "notas.csv is not the expected one"

# Each submission's files as their readers take them: Gradescope's and
# PrairieLearn's documented fields, each of its type, and the JUnit report
# parsed; a line per submission: its score, each test passed (P) or failed
# (F), PrairieLearn's score and whether it is gradable, JUnit's counts.
python3 - notas >files-read <<'PY'
import json, os, sys, xml.etree.ElementTree as ElementTree
out = sys.argv[1]
for entry in sorted(os.listdir(out)):
    folder = os.path.join(out, entry)
    if not os.path.isdir(folder):
        continue
    gradescope = json.load(open(os.path.join(folder, "results.json"), encoding="utf-8"))
    assert isinstance(gradescope["score"], float) and isinstance(gradescope["execution_time"], int)
    assert isinstance(gradescope["output"], str) and gradescope["output_format"] == "text"
    for test in gradescope["tests"]:
        assert set(test) == {"name", "score", "max_score", "status", "output", "visibility"}, test
        assert test["status"] in ("passed", "failed"), test
        assert test["visibility"] in ("visible", "hidden", "after_due_date"), test
    prairielearn = json.load(open(os.path.join(folder, "prairielearn.json"), encoding="utf-8"))
    assert isinstance(prairielearn["gradable"], bool) and 0 <= prairielearn["score"] <= 1
    assert isinstance(prairielearn["message"], str)
    for test in prairielearn["tests"]:
        assert set(test) == {"name", "points", "max_points", "output"}, test
    suites = ElementTree.parse(os.path.join(folder, "junit.xml")).getroot()
    print(entry, gradescope["score"],
          "".join("P" if test["status"] == "passed" else "F" for test in gradescope["tests"]) or "-",
          prairielearn["gradable"], prairielearn["score"], suites.get("tests"), suites.get("failures"))
PY
cat >files-expected <<'FILES'
ana 100.0 PPPPPPPP True 1.0 7 0
beto 67.5 PPPFPPPF True 0.675 7 1
carla 87.5 PPPPFPPP True 0.875 7 1
david 80.0 PPPPPPPF True 0.8 7 0
eva 55.0 FPPFFPFP True 0.55 7 4
fede 0.0 - False 0.0 7 7
gema 0.0 - False 0.0 7 7
hugo 0.0 - False 0.0 7 7
ines 0.0 - False 0.0 7 7
juan 0.0 - False 0.0 7 7
kike 90.0 FPPPPPPP True 0.9 7 1
lola 90.0 FPPPPPPP True 0.9 7 1
mario 67.5 PPPPPFPF True 0.675 7 1
nora 0.0 - False 0.0 7 7
FILES
diff files-expected files-read || failed "the submissions' files are not the expected ones"

# What a failed case tells its student: the expected and obtained answers
# and the cause, as run says it; a hidden case's text kept from PrairieLearn.
grep -q '"name": "Parser: parser_SLR )", "score": 0.0000, "max_score": 12.5000, "status": "failed", "output": "esperado: ~ ^Error de sintaxis en la posición 1\\nobtenido: \\ncausa: la biblioteca terminó el proceso' \
  notas/beto/results.json || failed "beto's crash is not said in results.json"
grep -q '"name": "fuzz: 200 entradas", "score": 0.0000, "max_score": 20.0000, "status": "failed", "output": "la biblioteca terminó el proceso durante parser_SLR: [^"]*\\n  entrada: «[^»]' \
  notas/beto/results.json || failed "beto's fuzz finding is not said with its input in results.json"
grep -q '"name": "Parser, casos ocultos: caso oculto 1", "points": 10.0000' notas/ana/prairielearn.json ||
  failed "a hidden case is shown to PrairieLearn"

# The contract group: check's rows, each an equal share of its points; the
# library that keeps a string at every call loses the memory row alone. (A
# student's parser holds some 1 GB for the 16 MB text: the memory is the
# teacher's to give; so is the time, which under the sanitizers comes near
# the 10 s a row is given by default.)
cat >rubrica-contrato.txt <<'RUBRIC'
@ Parser 5
parser_SLR x
= Cadena aceptada
@ contrato 17
RUBRIC
status=0
"$tool" --timeout 120 grade --rubric rubrica-contrato.txt --out contrato --memory 4096 clase/ana clase/david \
  >tabla-contrato ||
  status=$?
cat tabla-contrato
((status == 0)) || failed "grade with a contract group ended with status $status"
python3 - contrato >contract-read <<'PY'
import json, sys
for entry in ("ana", "david"):
    tests = json.load(open(f"{sys.argv[1]}/{entry}/results.json", encoding="utf-8"))["tests"]
    rows = [test for test in tests if test["name"].startswith("contrato: ")]
    print(entry, len(rows), sum(test["score"] for test in tests),
          *[test["name"] for test in rows if test["status"] == "failed"])
PY
cat >contract-expected <<'CONTRACT'
ana 17 22.0
david 17 21.0 contrato: memoria en 10.000 llamadas
CONTRACT
diff contract-expected contract-read || failed "the contract group's rows are not graded as expected"

# A hidden case's expected answer or pattern is held by the process that
# grades the submission, the parent of the one that runs the library: the
# snooping library searches its own memory and its parent's for them, and
# must find neither. Searched apart from the library, a hidden pattern is
# still stopped at the case's limit: over an echoed 32,000 a's, (a+)+$
# would take hours.
if [[ $grader_memory == closed ]]; then
  {
    printf '@ Ocultos 10 oculta\nparser_SLR secreto\n= Secreto de la rubrica\nparser_SLR secreto\n'
    printf '~ Secreto del patron\ntokeniza2 %sb\n~ (a+)+$\ntokeniza2 b\n= b\n' "$(printf 'a%.0s' {1..32000})"
  } >rubrica-secreta.txt
  mkdir -p otras/eco
  cp "$doubles/echo/libZavlek.so" otras/eco/
  "$tool" --timeout 1 grade --rubric rubrica-secreta.txt --out secreto clase/eva otras/eco >tabla-secreta
  grep -q '^eva  *2.50 / 10.00  *calificada$' tabla-secreta ||
    failed "the submission read a hidden answer from its grader: $(cat tabla-secreta)"
  grep -q '^eco  *2.50 / 10.00  *calificada$' tabla-secreta || failed "eco is not graded as expected: $(cat tabla-secreta)"
  grep -q 'la búsqueda del patrón en la respuesta no terminó en 1 s; se detuvo el proceso' secreto/eco/results.json ||
    failed "the slow hidden pattern was not stopped at the case's limit: $(cat secreto/eco/results.json)"
fi

# Libraries as students' tools leave them: a versioned file behind a link
# in the folder, and a zip made on a Mac, with its resource forks beside.
mkdir -p mac/olga
cp "$doubles/student/libZavlek.so" mac/olga/libZavlek.so.1
ln -s libZavlek.so.1 mac/olga/libZavlek.so
python3 - "$doubles" <<'PY'
import sys, zipfile
with zipfile.ZipFile("mac/pepe.zip", "w") as z:
    z.write(f"{sys.argv[1]}/student/libZavlek.so", "pepe/libZavlek.so")
    z.writestr("__MACOSX/pepe/._libZavlek.so", b"\0\5\26\7 recurso")
    z.writestr("pepe/._otra.so", b"\0\5\26\7 recurso")
PY
"$tool" grade --rubric rubrica.txt --out mac/notas --fuzz-inputs 10 mac/olga mac/pepe.zip >tabla-mac
if ! grep -q '^olga  *100.00 / 100.00  *calificada; igual a pepe$' tabla-mac ||
  ! grep -q '^pepe  *100.00 / 100.00  *calificada; igual a olga$' tabla-mac; then
  failed "a linked or a Mac-zipped library was not graded: $(cat tabla-mac)"
fi
