#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine
# lacks. Safe to run again: it installs nothing when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ make
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 wine32:i386 libwine-dev fonts-wine
  googletest
  xvfb xauth xdotool imagemagick x11-utils
  dosfstools mtools
  qemu-system-x86 qemu-utils
  python3
  nsis p7zip-full zip unzip git
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  # Wine runs 32-bit Windows programs only with its i386 part.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
