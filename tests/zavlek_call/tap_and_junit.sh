#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# zavlek-call run read back by the usual consumers: Perl's prove and its TAP
# parser for the TAP, Python's XML parser for the JUnit report.
#   tap_and_junit.sh EMULATOR TOOL LIBRARY CASES WORK
# LIBRARY is the counting double; EMULATOR may be empty.
set -euo pipefail
emulator=$1 tool=$2 library=$3 cases=$4 work=$5
mkdir -p "$work"
# Cases are named as the command line names their files.
cd "$cases"

failed() {
  echo "$*" >&2
  exit 1
}

status=0
${emulator:+"$emulator"} "$tool" --library "$library" --timeout 5 run --junit "$work/junit.xml" \
  counting.txt mismatches.txt >"$work/tap" || status=$?
((status == 1)) || failed "expected exit status 1, got $status"

# prove itself: the plan, the failures, no parse errors.
status=0
prove --exec cat "$work/tap" >"$work/prove" 2>&1 || status=$?
cat "$work/prove"
((status == 1)) || failed "prove should fail the run (status $status)"
grep -q "Failed tests:  3, 5, 8, 10$" "$work/prove" || failed "prove saw other failures"
grep -q "Tests: 10 Failed: 4)" "$work/prove" || failed "prove saw another plan"
! grep -qi "parse error" "$work/prove" || failed "prove could not parse the TAP"

# Perl's TAP parser: each test, its directive, and what its YAML block holds.
perl -MTAP::Parser -e '
  local $/;
  open my $file, "<", $ARGV[0] or die;
  my $parser = TAP::Parser->new({tap => scalar <$file>});
  sub shown { my $text = shift; return "~" unless defined $text;
              $text =~ s/([\x00-\x1F])/sprintf("\\x%02X", ord $1)/ge; return $text }
  while (my $result = $parser->next) {
    if ($result->is_test) {
      printf "%s %d %s%s\n", ($result->is_ok ? "ok" : "not ok"), $result->number, $result->description,
        ($result->has_directive ? " DIRECTIVE" : "");
    } elsif ($result->is_yaml) {
      my $data = $result->data;
      print "  $_: ", shown($data->{$_}), "\n" for grep { exists $data->{$_} } qw(esperado obtenido causa);
    }
  }
  print "parse errors: $_\n" for $parser->parse_errors;
' "$work/tap" >"$work/tap-read"
cat >"$work/tap-expected" <<'TAP'
ok 1 - counting.txt:3 parser_SLR uno
ok 2 - counting.txt:5 parser_SLR dos
not ok 3 - counting.txt:7 parser_SLR choque
  esperado: llamada 3
  obtenido: ~
  causa: la biblioteca terminó el proceso durante parser_SLR: CRASH
ok 4 - counting.txt:9 parser_SLR tres
not ok 5 - counting.txt:11 parser_SLR cuelga
  esperado: ~ llamada
  obtenido: ~
  causa: parser_SLR no volvió en 5 s; se detuvo el proceso
ok 6 - counting.txt:13 mPila
ok 7 - counting.txt:14 parser_SLR cuatro
not ok 8 - mismatches.txt:3 tokeniza2 <a & "b"> 'c' \\\\ é\\x01\\t\\n
  esperado: otra cosa
  obtenido: <a & "b"> 'c' \ é\x01\x09\x0A
ok 9 - mismatches.txt:5 tokeniza2 x \# SKIP no es una directiva
not ok 10 - mismatches.txt:7 tokeniza2 y
  esperado: ~ ^z
  obtenido: y
TAP
# The signal or exception differs by system.
sed -E 's/(durante parser_SLR: ).*/\1CRASH/' "$work/tap-read" >"$work/tap-seen"
diff -u "$work/tap-expected" "$work/tap-seen" || failed "the TAP read back differs"

# Python's XML parser: a testsuite per file, a testcase per case, and the
# texts of each failure.
python3 - "$work/junit.xml" >"$work/junit-read" <<'PYTHON'
import sys
import xml.etree.ElementTree as tree

root = tree.parse(sys.argv[1]).getroot()
print(root.tag, root.get("tests"), root.get("failures"))
for suite in root.findall("testsuite"):
    print(suite.get("name"), suite.get("tests"), suite.get("failures"))
    for case in suite.findall("testcase"):
        failure = case.find("failure")
        if failure is None:
            print("  ", case.get("name"))
        else:
            print("  ", case.get("name"), "|", failure.get("message"), "|", failure.text.replace("\n", " / "))
PYTHON
cat >"$work/junit-expected" <<'JUNIT'
testsuites 10 4
counting.txt 7 2
   counting.txt:3
   counting.txt:5
   counting.txt:7 | la biblioteca terminó el proceso durante parser_SLR: CRASH
   counting.txt:9
   counting.txt:11 | parser_SLR no volvió en 5 s; se detuvo el proceso | parser_SLR no volvió en 5 s; se detuvo el proceso
   counting.txt:13
   counting.txt:14
mismatches.txt 3 2
   mismatches.txt:3 | esperado: otra cosa; obtenido: <a & "b"> 'c' \\ é\x01\t\n | esperado: otra cosa / obtenido: <a & "b"> 'c' \\ é\x01\t\n
   mismatches.txt:5
   mismatches.txt:7 | esperado: ~ ^z; obtenido: y | esperado: ~ ^z / obtenido: y
JUNIT
sed -E 's/(durante parser_SLR: ).*/\1CRASH/' "$work/junit-read" >"$work/junit-seen"
diff -u "$work/junit-expected" "$work/junit-seen" || failed "the JUnit report read back differs"
