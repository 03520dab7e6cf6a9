#!/usr/bin/env bash
# Installs every Debian package Brimsal needs to build, test and run. Idempotent and
# non-interactive; run as root (or through sudo) on Debian 12.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libtiff-dev libgif-dev libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  dcraw fonts-dejavu-core locales
  desktop-file-utils xvfb xauth
  pngquant  # scripts/screenshot.sh: the README's pictures in 128 colours
  zlib1g-dev hdrmerge  # bench_headroom: reads and makes hdrmerge's merged DNG
  clang libfuzzer-14-dev
  clang-format  # scripts/check-format.sh
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

# A decimal-comma locale for the number-text tests.
comma_locale_missing() { ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; }

if [ "${#missing[@]}" -eq 0 ] && ! comma_locale_missing; then
  echo "install-deps: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    exec sudo -- "$0" "$@"
  fi
  echo "install-deps: run as root to install: ${missing[*]}" >&2
  exit 1
fi

if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if comma_locale_missing; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
