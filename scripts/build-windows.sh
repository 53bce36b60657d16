#!/usr/bin/env bash
# Builds the Windows program with Debian's MinGW-w64 cross compiler and packs
# it for users:
#   build-windows/coffhex.exe                          statically linked, needs no DLL
#   build-windows/coffhex-<version>-windows-x86_64.zip coffhex.exe, README.txt
#                                                      (packaging/README-windows.txt),
#                                                      coffhex.html (the manual)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/install-deps.sh --windows

build=build-windows
# zlib's static library, so that the program still needs no DLL.
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DCOFFHEX_TESTS=OFF -DZLIB_USE_STATIC_LIBS=ON >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target coffhex

version=$(sed -n 's/^project(coffhex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=$build/package
rm -rf "$stage"
mkdir -p "$stage"
cp "$build/coffhex.exe" "$stage/"
# The README for Windows users (not the Linux one, whose Quick start is bash
# scripts), with Windows line ends, so that Notepad shows its lines.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' packaging/README-windows.txt >"$stage/README.txt"
groff -mandoc -Thtml man/coffhex.1 >"$stage/coffhex.html"
zip_name=coffhex-$version-windows-x86_64.zip
rm -f "$build/$zip_name"
(cd "$stage" && zip -q -X "../$zip_name" coffhex.exe README.txt coffhex.html)
echo "$build/coffhex.exe"
echo "$build/$zip_name"
