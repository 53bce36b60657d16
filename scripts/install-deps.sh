#!/usr/bin/env bash
# Installs the build and test tools that are missing, from Debian's packages
# (zlib for the CRC-32 of -checksum and the checksum fields, python3 for the
# CRC-32 the checksum tests compare with; with --fuzz also clang and its
# libFuzzer runtime, with --bench GNU time, with --windows the MinGW-w64
# cross compiler and its zlib, Wine, groff for the HTML manual and zip, with
# --package lintian, which checks the Debian package).
set -euo pipefail

declare -A wanted=(
  [cmake]=cmake [g++]=g++ [ninja]=ninja-build [bison]=bison
  [srec_cat]=srecord [objcopy]=binutils [dpkg-deb]=dpkg [cpack]=cmake
  [python3]=python3
)
packages=()
for tool in "${!wanted[@]}"; do
  command -v "$tool" >/dev/null 2>&1 || packages+=("${wanted[$tool]}")
done
[ -f /usr/include/gtest/gtest.h ] || packages+=(libgtest-dev)
[ -f /usr/include/zlib.h ] || packages+=(zlib1g-dev)
if [ "${1:-}" = "--bench" ]; then
  [ -x /usr/bin/time ] || packages+=(time)
  command -v python3 >/dev/null 2>&1 || packages+=(python3)
fi
if [ "${1:-}" = "--windows" ]; then
  command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || packages+=(g++-mingw-w64-x86-64-posix)
  [ -f /usr/x86_64-w64-mingw32/include/zlib.h ] || packages+=(libz-mingw-w64-dev)
  [ -x /usr/lib/wine/wine64 ] || packages+=(wine64)
  [ -f /usr/share/groff/current/font/devhtml/DESC ] || packages+=(groff)
  command -v zip >/dev/null 2>&1 || packages+=(zip)
  command -v unzip >/dev/null 2>&1 || packages+=(unzip)
fi
if [ "${1:-}" = "--package" ]; then
  command -v lintian >/dev/null 2>&1 || packages+=(lintian)
  command -v gzip >/dev/null 2>&1 || packages+=(gzip)
fi
if [ "${1:-}" = "--fuzz" ]; then
  command -v clang++ >/dev/null 2>&1 || packages+=(clang)
  dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || packages+=(libclang-rt-14-dev)
fi

if [ ${#packages[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${packages[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}"
