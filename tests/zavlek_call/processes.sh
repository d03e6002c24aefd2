# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Sourced by the scripts that check which processes outlive a call.

# Gone once it has no entry, or is a zombie: whoever adopts it may never reap
# it.
gone() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  stat=${stat##*) }
  [[ ${stat%% *} == Z ]]
}
