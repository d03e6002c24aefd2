#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A plain `cmake -B build` of the sources, as a user builds the program:
# it needs none of the tests' or benchmarks' packages, and a warning stays a
# warning. Usage: plain_build.sh SOURCE_DIR
set -euo pipefail
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if ! cmake -S "$1" -B "$work" -G Ninja \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_BISON=ON >"$work/configure.log" 2>&1; then
  echo "FAIL: the plain build needs a test or benchmark package:"; cat "$work/configure.log"; exit 1
fi
if grep -q -- "-Werror" "$work/compile_commands.json"; then
  echo "FAIL: the plain build turns warnings into errors"; exit 1
fi
echo "PASS"
