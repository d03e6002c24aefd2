#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Windows DLLs graded on Linux: the Windows build of zavlek-call, for each
# DLL's machine, grades it under Wine, confined as a Linux library is, beside
# one in the same class; a DLL that cannot be graded so says why (Wine not
# installed, the Windows program missing).
#   grade_dlls.sh LINUX_TOOL WINDOWS_X64_TOOL WINDOWS_X86_TOOL DOUBLES_X64 DOUBLES_X86 WORK
# The reference library of each system lies beside its tool.
set -euo pipefail
tool=$1 x64_tool=$2 x86_tool=$3 doubles_x64=$4 doubles_x86=$5 work=$6
here="$(cd "$(dirname "$0")" && pwd)"
wine_script="$here/../../scripts/wine"
for built in "$tool" "$x64_tool" "$x86_tool"; do
  [[ -x "$built" ]] || { echo "missing $built: build the default, windows-x64 and windows-x86 presets" >&2; exit 1; }
done
rm -rf "$work"
mkdir -p "$work/clase"
cd "$work"
export ZAVLEK_CALL_WINDOWS_X64="$x64_tool" ZAVLEK_CALL_WINDOWS_X86="$x86_tool"

failed() {
  echo "$*" >&2
  exit 1
}

submit() { # FOLDER LIBRARY
  mkdir -p "clase/$1"
  cp "$2" "clase/$1/"
}
submit tux "$(dirname "$tool")/libZavlek.so"
submit win64 "$(dirname "$x64_tool")/Zavlek.dll"
submit rompe "$doubles_x64/crash_on_parenthesis/Zavlek.dll"
submit cdecl "$doubles_x86/cdecl/Zavlek.dll"
submit falta "$doubles_x86/unresolved/Zavlek.dll"
submit eva "$doubles_x64/student_snoops/Zavlek.dll"
python3 - "$(dirname "$x86_tool")/Zavlek.dll" <<'PY'
import sys, zipfile
with zipfile.ZipFile("clase/win32.zip", "w") as z:
    z.write(sys.argv[1], "entrega/Zavlek.dll")
PY

cat >rubrica.txt <<'RUBRIC'
@ Tokenizador 20
tokeniza2 a+1
= a + 1
mPila
@ Parser 60
parser_SLR (1+2)*x
= Cadena aceptada
parser_SLR )
~ ^Error de sintaxis en la posición 1
@ fuzz 20
RUBRIC

# eva reaches for tux's library, the grades and a listener of ours: it is
# told where, as a student would know, and it answers "Cadena aceptada" only
# when all of that failed.
# shellcheck source=tests/zavlek_call/snoop_listener.sh
source "$here/snoop_listener.sh"
export KAVRELO_SNOOP_READ=$work/clase/tux/libZavlek.so KAVRELO_SNOOP_WRITE=$work/notas/escrito.txt
export KAVRELO_SNOOP_PORT=$port
mkdir -p fuera
KAVRELO_SNOOP_WRITE=$work/fuera/escrito.txt "$wine_script" "$x64_tool" --library clase/eva/Zavlek.dll \
  parser_SLR x >fuera/dicho 2>&1 || true
grep -q 'leyo otra entrega; escribio en las notas; se conecto por TCP; envio por UDP;' fuera/dicho ||
  failed "unconfined, eva's DLL did not reach beyond itself: $(cat fuera/dicho)"
# The class's rubric hides an expected answer and a pattern, which eva looks
# for in its own memory and its parent's. Under Wine whatever runs the DLL
# can read the Windows program's memory: graded by the Windows program
# alone, eva finds a hidden answer there, so the search can succeed.
{
  cat rubrica.txt
  printf '@ Ocultos 10 oculta\nparser_SLR secreto\n= Secreto de la rubrica\nparser_SLR secreto\n~ Secreto del patron\n'
} >rubrica-clase.txt
KAVRELO_SNOOP_WRITE=$work/fuera/escrito.txt "$wine_script" "$x64_tool" --timeout 10 grade --sin-aislamiento \
  --rubric rubrica-clase.txt --out fuera/notas --fuzz-inputs 50 clase/eva >fuera/tabla 2>&1 || true
python3 - <<'PY' || failed "alone, the Windows program kept its hidden answers from eva: $(cat fuera/tabla)"
import csv
with open("fuera/notas/notas.csv", encoding="utf-8-sig", newline="") as f:
    assert next(csv.DictReader(f))["Ocultos"] != "0.00"
PY
: >reached

"$tool" --timeout 10 grade --rubric rubrica-clase.txt --out notas --fuzz-inputs 50 clase/* \
  >tabla 2>progreso || failed "grade failed: $(cat tabla progreso)"

# Each DLL as the Windows tool grades it: the reference of each machine as
# the Linux one, the crash and the cdecl DLL as zavlek-call.exe says them on
# Windows, the missing DLL named.
expected=$(cat <<'CSV'
entrega,nota,maximo,Tokenizador,Parser,fuzz,Ocultos,estado,motivo,igual_a
cdecl,10.00,110.00,10.00,0.00,0.00,0.00,calificada,,
eva,60.00,110.00,10.00,30.00,20.00,0.00,calificada,,
falta,0.00,110.00,0.00,0.00,0.00,0.00,no calificable,"No se pudo cargar la biblioteca Zavlek.dll: se encontró, pero Zavlek.dll necesita zavlek_nobody.dll, que no se encuentra. Detalle del sistema: Module not found (error 126)",
rompe,10.00,110.00,10.00,0.00,0.00,0.00,calificada,,
tux,90.00,110.00,10.00,60.00,20.00,0.00,calificada,,
win32,90.00,110.00,10.00,60.00,20.00,0.00,calificada,,
win64,90.00,110.00,10.00,60.00,20.00,0.00,calificada,,
CSV
)
[[ "$(sed '1s/^\xEF\xBB\xBF//' notas/notas.csv | tr -d '\r')" == "$expected" ]] ||
  failed "notas.csv is not the class's grades: $(cat notas/notas.csv)"

# What zavlek-call.exe says of the same call on Windows (here under Wine) is
# the case's cause, word for word.
for said in "rompe $x64_tool parser_SLR (1+2)*x" "cdecl $x86_tool parser_SLR )"; do
  read -r name windows_tool entry text <<<"$said"
  "$wine_script" "$windows_tool" --library "clase/$name/Zavlek.dll" "$entry" "$text" >/dev/null 2>"$name.err" || true
  python3 - "$name" "$entry $text" <<'PY' || failed "$name's cause is not what zavlek-call.exe says: $(cat "$name.err")"
import json, sys
name, case = sys.argv[1:]
said = open(f"{name}.err", encoding="utf-8").read()
tests = json.load(open(f"notas/{name}/results.json", encoding="utf-8"))["tests"]
output = next(t["output"] for t in tests if t["name"].endswith(": " + case))
cause = output.split("causa: ", 1)[1].strip()
assert cause and cause in said, (cause, said)
PY
done

grep -q '^Aislamiento: Landlock' tabla || failed "the class was not graded confined: $(cat tabla)"
[[ ! -e notas/escrito.txt && ! -s reached ]] ||
  failed "eva's DLL reached beyond itself: $(ls notas; cat reached)"

# Without Wine, or without the Windows program, the reason says what to
# install.
PATH=/nonexistent "$tool" grade --sin-aislamiento --rubric rubrica.txt --out sin-wine clase/win64 >/dev/null 2>&1 ||
  failed "grade without Wine failed"
ZAVLEK_CALL_WINDOWS_X86=/nonexistent/zavlek-call.exe "$tool" grade --sin-aislamiento --rubric rubrica.txt \
  --out sin-programa clase/win32.zip >/dev/null 2>&1 || failed "grade without the Windows program failed"
python3 - <<'PY' || failed "a DLL that cannot be graded here is not said so"
import csv
def row(folder, name):
    with open(f"{folder}/notas.csv", encoding="utf-8-sig", newline="") as f:
        return next(r for r in csv.DictReader(f) if r["entrega"] == name)
assert row("sin-wine", "win64")["motivo"] == (
    "Zavlek.dll es una DLL de Windows de 64 bits: en Linux la califica Wine, que no está instalado "
    "(instálelo con «sudo apt-get install wine wine64 wine32:i386»)"), row("sin-wine", "win64")
assert row("sin-programa", "win32")["motivo"] == (
    "entrega/Zavlek.dll es una DLL de Windows de 32 bits: falta el zavlek-call de Windows que la califica "
    "con Wine, /nonexistent/zavlek-call.exe"), row("sin-programa", "win32")
PY

# Gradescope's kit with the Windows programs beside it, as a teacher whose
# students hand in DLLs makes it: setup.sh unpacks them (apt-get and dpkg
# stood in for), and run_autograder grades a Zavlek.dll with them, confined,
# into the results.json Gradescope reads.
kits="$here/../../packaging/autograder"
gradescope=$work/gradescope
mkdir -p stand-ins "$gradescope/autograder/source" "$gradescope/autograder/submission"
for command in apt-get dpkg; do
  printf '#!/bin/sh\n' >"stand-ins/$command"
done
chmod +x stand-ins/*
ln -s "$tool" stand-ins/zavlek-call
cp "$kits/setup.sh" "$kits/calificar" "$kits/gradescope/run_autograder" "$gradescope/autograder/source/"
# Its rubric without fuzz, which the class above tried under Wine already.
grep -v '^@ fuzz' rubrica.txt >"$gradescope/autograder/source/rubrica.txt"
touch "$gradescope/autograder/source/kavrelo1_1.0.0_amd64.deb"
python3 - "$x64_tool" "$gradescope/autograder/source/Kavrelo1-1.0.0-windows-x64.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[2], "w") as z:
    z.write(sys.argv[1], "Kavrelo1-1.0.0-windows-x64/zavlek-call.exe")
PY
unset ZAVLEK_CALL_WINDOWS_X64 ZAVLEK_CALL_WINDOWS_X86
(
  export PATH="$work/stand-ins:$PATH" KAVRELO_AUTOGRADER_ROOT=$gradescope
  "$gradescope/autograder/source/setup.sh" >/dev/null
  cp "$gradescope/autograder/source/run_autograder" "$gradescope/autograder/run_autograder"
  cp clase/win64/Zavlek.dll "$gradescope/autograder/submission/"
  "$gradescope/autograder/run_autograder" >gradescope.log 2>&1
) || failed "the Gradescope kit failed on a DLL: $(cat gradescope.log)"
python3 - "$gradescope/autograder/results/results.json" <<'PY' || failed "Gradescope's results.json of a DLL is not its grade"
import json, sys
results = json.load(open(sys.argv[1], encoding="utf-8"))
assert results["score"] == 70 and results["output"] == "Nota: 70.00 de 80.00 (biblioteca: Zavlek.dll)", results
assert [t["status"] for t in results["tests"]] == ["failed", "passed", "passed", "passed"], results
PY
