#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What the library printed in each case of a run, as prove's TAP parser
# reads it from the case's YAML block and Python's XML parser from the
# case's system-out: exactly what it printed during that case's call,
# nothing for a case that printed nothing.
#   case_output.sh EMULATOR TOOL LIBRARY CASES WORK
# LIBRARY is the printing double; EMULATOR may be empty.
set -euo pipefail
emulator=$1 tool=$2 library=$3 cases=$4 work=$5
mkdir -p "$work"
cd "$cases"

failed() {
  echo "$*" >&2
  exit 1
}

status=0
${emulator:+"$emulator"} "$tool" --library "$library" --timeout 20 run --junit "$work/junit.xml" \
  output.txt >"$work/tap" 2>"$work/stderr" || status=$?
((status == 1)) || failed "expected exit status 1, got $status"
# The library's output is in the reports, not ours.
if [[ -s "$work/stderr" ]]; then
  cat "$work/stderr"
  failed "the run wrote on standard error"
fi

status=0
prove --exec cat "$work/tap" >"$work/prove" 2>&1 || status=$?
cat "$work/prove"
((status == 1)) || failed "prove should fail the run (status $status)"
grep -q "Failed tests:  3, 8$" "$work/prove" || failed "prove saw other failures"
! grep -qi "parse error" "$work/prove" || failed "prove could not parse the TAP"

# One line per case: its number and what it printed, controls written as
# \xHH; "-" where it has none.
perl -MTAP::Parser -e '
  local $/;
  open my $file, "<", $ARGV[0] or die;
  my $parser = TAP::Parser->new({tap => scalar <$file>});
  my %output;
  my $number = 0;
  while (my $result = $parser->next) {
    if ($result->is_test) {
      $number = $result->number;
      $output{$number} = "-";
    } elsif ($result->is_yaml && exists $result->data->{salida}) {
      my $text = $result->data->{salida};
      $text =~ s/([\x00-\x1F])/sprintf("\\x%02X", ord $1)/ge;
      $output{$number} = $text;
    }
  }
  binmode STDOUT;
  print "$_ $output{$_}\n" for sort { $a <=> $b } keys %output;
  print "parse errors: $_\n" for $parser->parse_errors;
' "$work/tap" >"$work/tap-read"

python3 - "$work/junit.xml" >"$work/junit-read" <<'PYTHON'
import re
import sys
import xml.etree.ElementTree as tree

root = tree.parse(sys.argv[1]).getroot()
for number, case in enumerate(root.iter("testcase"), 1):
    out = case.find("system-out")
    text = "-" if out is None else re.sub(r"[\x00-\x1f]", lambda c: "\\x%02X" % ord(c.group()), out.text)
    sys.stdout.buffer.write(f"{number} {text}\n".encode())
PYTHON

long="$(printf 'x%.0s' {1..4095})… (1002 bytes más)"
cat >"$work/expected" <<EXPECTED
1 printf: 42\x0A
2 -
3 en stderr: ñandú\x0A
4 cout sin vaciar\x0A
5 uno dos tres\x0A
6 $long
7 \\xFF\\x01 fin\x0A
8 antes del choque\x0A
9 -
10 printf: 42\x0A
EXPECTED
diff -u "$work/expected" "$work/tap-read" || failed "the TAP's outputs differ"
diff -u "$work/expected" "$work/junit-read" || failed "the JUnit report's outputs differ"
