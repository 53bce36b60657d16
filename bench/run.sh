#!/usr/bin/env bash
# One command for the benchmark: builds a Release coffhex (its own build
# directory, -O2, no sanitizers, no tests) and runs every case side by side
# with GNU objcopy. Extra arguments go to bench.py (--runs N, --size MIB,
# --big MIB, --cases 1,2,...).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-release}
bash "$root/scripts/install-deps.sh" --bench
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
cmake -S "$root" -B "$build" "${generator[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCOFFHEX_TESTS=OFF -DCOFFHEX_SANITIZE=OFF -DCOFFHEX_FUZZ=OFF >/dev/null
cmake --build "$build" -j2 --target coffhex coffgen >/dev/null
exec python3 "$root/bench/bench.py" --coffhex "$build/coffhex" --coffgen "$build/coffgen" \
    --work "${BENCH_WORK_DIR:-$build/bench-work}" "$@"
