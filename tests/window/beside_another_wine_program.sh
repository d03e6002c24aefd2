#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Another Wine program, started beside the window tests in a session of its
# own, as a user trying the program or a CI job sharing the machine may start
# one: the window tests' session still serves their windows while it runs and
# after it has ended.
# Usage: beside_another_wine_program.sh WINDOW_TESTS.EXE
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
window_tests="$1"

window_test() {
  "$root/scripts/wine" "$window_tests" --gtest_filter=Win32Form1.AnAnswerWithANulShowsAllItsCharacters ||
    { echo "FAIL: a window test run $1 another Wine program failed"; exit 1; }
}

"$root/scripts/wine" --in-session "$window_tests" --gtest_filter=Win32Form1.ControlsStandWhereTheFormPutsThem &
other=$!
window_test beside
wait "$other" || { echo "FAIL: the other Wine program failed"; exit 1; }
window_test after
echo PASS
