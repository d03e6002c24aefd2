#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# zavlek-call fuzz stopped by SIGINT, as Ctrl+C stops it, once it has made a
# finding: it ends the run rather than itself, and still writes the summary
# with the finding, whose file stays saved. (Another input it was shrinking
# then is saved as far as it got.)
#   fuzz_interrupt.sh TOOL CRASHING_LIBRARY WORK
set -euo pipefail
tool=$1 library=$2 work=$3
rm -rf "$work"
mkdir -p "$work"

# Jobs in groups of their own, as from a terminal: a background job of a
# script would otherwise start with SIGINT ignored.
set -m

failed() {
  echo "fuzz_interrupt.sh: $*" >&2
  exit 1
}

"$tool" --library "$library" fuzz --seconds 3600 --seed 1 --out "$work/found" >"$work/summary" \
  2>"$work/progress" &
fuzzing=$!
trap 'kill -KILL "$fuzzing" 2>/dev/null || true' EXIT

# The finding is waited for; the bound only stops a failure from waiting for
# ever.
patience=300 waited_from=$SECONDS
until [[ -e "$work/found/crash-1.txt" ]]; do
  kill -0 "$fuzzing" 2>/dev/null || failed "fuzz ended before it found the crash"
  ((SECONDS - waited_from < patience)) || failed "no crash found in $patience s"
  sleep 0.1
done
kill -INT "$fuzzing"
status=0
wait "$fuzzing" || status=$?
trap - EXIT
cat "$work/summary"
((status == 1)) || failed "expected exit status 1 for a finding, got $status"
grep -q "^Entradas    [1-9]" "$work/summary" || failed "no summary"
grep -q "^Hallazgos   [1-9]" "$work/summary" || failed "the summary does not count the finding"
grep -q "found/crash-1.txt  la biblioteca terminó el proceso" "$work/summary" || failed "the finding is not listed"
while read -r listed; do
  [[ -s "$listed" ]] || failed "$listed is listed but not saved"
done < <(grep -o "/[^ ]*/found/crash-[0-9]*\.txt" "$work/summary")
[[ "$(cat "$work/found/crash-1.txt")" == '(((((' ]] || failed "crash-1.txt was not kept as saved"
