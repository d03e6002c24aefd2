#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prepares an autograder's container once, as root: installs the Debian
# package kavrelo1_*.deb that lies beside this script, and the script that
# grades a submission (kavrelo-calificar). When a Windows ZIP of Kavrelo1
# lies beside it too, installs Wine and unpacks the ZIP into
# /opt/kavrelo1-windows, so that students who hand in a Zavlek.dll are graded
# by the Windows zavlek-call (the ZIP of the DLLs' architecture: windows-x64
# for 64-bit DLLs, windows-x86 for 32-bit ones).
# KAVRELO_AUTOGRADER_ROOT: the folder that stands for /, for tests; empty in
# a container.
set -euo pipefail
root=${KAVRELO_AUTOGRADER_ROOT:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
shopt -s nullglob
packages=("$here"/kavrelo1_*.deb)
windows_zips=("$here"/Kavrelo1-*-windows-*.zip)
if ((${#packages[@]} != 1)); then
  echo "setup.sh: se esperaba un paquete kavrelo1_*.deb junto a setup.sh, y hay ${#packages[@]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
wine_packages=()
if ((${#windows_zips[@]} > 0)); then
  wine_packages=(wine unzip)
  if [[ ${windows_zips[*]} == *windows-x86* ]]; then
    # A 32-bit program needs Wine's 32-bit half.
    dpkg --add-architecture i386
    wine_packages+=(wine32:i386)
  fi
fi
apt-get update
apt-get install -y --no-install-recommends "${packages[0]}" "${wine_packages[@]}"
for zip in "${windows_zips[@]}"; do
  mkdir -p "$root/opt/kavrelo1-windows"
  unzip -q -o "$zip" -d "$root/opt/kavrelo1-windows"
done
install -D -m 755 "$here/calificar" "$root/usr/local/bin/kavrelo-calificar"
