#!/usr/bin/env bash
# Builds coffhex and converts the bundled example object to Intel hex:
# a 32-bit memory from four 8-bit ROMs, written to out/demo.i0 .. demo.i3.
# Builds the program and the example alone; scripts/test.sh builds the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "${JOBS:-2}" --target coffhex examples
mkdir -p out
cd out
../build/coffhex -i -memwidth 32 -romwidth 8 -map demo.map ../build/examples/demo.out
ls -l demo.i0 demo.i1 demo.i2 demo.i3 demo.map
