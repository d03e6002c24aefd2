#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A process the library starts in a session of its own, out of reach of any
# kill of the child's group, ends with the call all the same: it is gone when
# zavlek-call returns, in call and in run, and holds no pipe of zavlek-call's
# standard error open after it (zavlek-call ... 2>&1 | cat ends).
#   session_of_its_own.sh TOOL LIBRARY CASES WORK
# LIBRARY starts that process, says its id on standard output, and answers.
set -euo pipefail
tool=$1 library=$2 cases=$3 work=$4
mkdir -p "$work"

# Whatever a failure leaves running, by the ids the library said.
left=()
trap 'if ((${#left[@]})); then kill -KILL "${left[@]}" 2>/dev/null || true; fi' EXIT

fail() {
  echo "session_of_its_own.sh: $*" >&2
  exit 1
}

# shellcheck source=tests/zavlek_call/processes.sh
source "$(dirname "${BASH_SOURCE[0]}")/processes.sh"

# The ids of the processes the library said it started, in what it wrote:
# on standard error for a call, in the case's output in run's report.
said_processes() {
  sed -n 's/.*zavlek de prueba: proceso \([0-9]*\) en una sesión propia.*/\1/p' "$@"
}

# what: call or run; then the arguments after the library.
ends_with_the_call() {
  local what=$1 status=0 processes process
  shift
  "$tool" --library "$library" --timeout 60 "$@" >"$work/$what.out" 2>"$work/$what.err" || status=$?
  mapfile -t processes < <(said_processes "$work/$what.err" "$work/$what.out")
  left+=("${processes[@]}")
  ((status == 0)) || fail "$what ended with status $status: $(cat "$work/$what.err")"
  ((${#processes[@]})) || fail "the library of $what said no process: $(cat "$work/$what.err")"
  for process in "${processes[@]}"; do
    gone "$process" || fail "$what: the process the library started in a session of its own ($process) outlived the call"
  done
  echo "$what: the processes the library started (${processes[*]}) ended with the call"
}

ends_with_the_call call parser_SLR x
ends_with_the_call run run "$cases/one-call.txt"

# Standard error on a pipe: its reader sees the end as soon as the call ends.
"$tool" --library "$library" --timeout 60 parser_SLR x 2>&1 | cat >"$work/piped"
mapfile -t piped < <(said_processes "$work/piped")
left+=("${piped[@]}")
grep -q "^Cadena aceptada$" "$work/piped" || fail "the piped call did not answer: $(cat "$work/piped")"
echo "piped: zavlek-call's standard error ended with the call"
