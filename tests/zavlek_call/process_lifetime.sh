#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# zavlek-call ended by a signal while a call hangs ends that call's processes:
# its child and whatever the library started. SIGKILL cannot be handled, and
# ends the child alone, which the system tells that its parent has gone.
#   process_lifetime.sh TOOL LIBRARY SPACES_FILE
# LIBRARY starts a process of its own and then hangs on a text of spaces.
set -euo pipefail
tool=$1 library=$2 spaces=$3

# Jobs in groups of their own, as from a terminal: a background job of a
# script would otherwise start with SIGINT ignored.
set -m

# Whatever a failure leaves running, by the ids this script has seen.
left=()
trap 'if ((${#left[@]})); then kill -KILL "${left[@]}" 2>/dev/null || true; fi' EXIT

fail() {
  echo "process_lifetime.sh: $*" >&2
  exit 1
}

# shellcheck source=tests/zavlek_call/processes.sh
source "$(dirname "${BASH_SOURCE[0]}")/processes.sh"

# The events are waited for; the bound only stops a failure from waiting for
# ever.
patience=60
first_child_of() {
  local parent=$1 children="" waited_from=$SECONDS
  until children=$(cat "/proc/$parent/task/$parent/children" 2>/dev/null) && [[ -n $children ]]; do
    gone "$parent" && fail "process $parent ended before it started a child"
    ((SECONDS - waited_from < patience)) || fail "process $parent started no child in $patience s"
    sleep 0.05
  done
  echo "${children%% *}"
}

wait_until_gone() {
  local waited_from=$SECONDS
  until gone "$1"; do
    ((SECONDS - waited_from < patience)) || fail "$2 (process $1) still runs $patience s after zavlek-call ended by SIG$signal"
    sleep 0.05
  done
}

for signal in TERM INT HUP KILL; do
  "$tool" --library "$library" --timeout 600 parser_SLR --file "$spaces" 2>/dev/null &
  tool_process=$!
  left=("$tool_process")
  child=$(first_child_of "$tool_process")
  left+=("$child")
  grandchild=$(first_child_of "$child")
  left+=("$grandchild")

  kill "-$signal" "$tool_process"
  status=0
  wait "$tool_process" || status=$?
  expected=$((128 + $(kill -l "$signal")))
  ((status == expected)) || fail "zavlek-call ended with status $status after SIG$signal, not $expected"
  wait_until_gone "$child" "its child"
  if [[ $signal != KILL ]]; then
    wait_until_gone "$grandchild" "the process the library started"
  else
    kill -KILL "$grandchild" 2>/dev/null || true
  fi
  left=()
  echo "SIG$signal: zavlek-call and the processes of its call ended"
done
