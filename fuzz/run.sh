#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs both side by side for a
# while on the seed corpus made from fuzz/seeds with the fixture builder.
#   bash fuzz/run.sh [seconds per target]     (default 1800)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1800}
root=$(pwd)
bash scripts/install-deps.sh --fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCOFFHEX_FUZZ=ON -DCOFFHEX_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "${JOBS:-2}"

corpus="$root/build-fuzz/corpus"
mkdir -p "$corpus/coff" "$corpus/cmdfile" "$root/build-fuzz/artifacts"
for d in fuzz/seeds/*.coff; do
  build-fuzz/coffgen "$d" "$corpus/coff/$(basename "$d" .coff).out"
done
cp fuzz/seeds/*.cmd "$corpus/cmdfile/"

# Both targets run side by side, one core each.
for target in fuzz_coff fuzz_cmdfile; do
  dir=$([ $target = fuzz_coff ] && echo coff || echo cmdfile)
  echo "== $target for $seconds s"
  build-fuzz/$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$root/build-fuzz/artifacts/$target-" -print_final_stats=1 \
    "$corpus/$dir" > "$root/build-fuzz/$target.log" 2>&1 &
done
wait
for target in fuzz_coff fuzz_cmdfile; do
  echo "== $target"
  grep -E '^(Done|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|Test unit written)' \
    "$root/build-fuzz/$target.log" || true
done
ls "$root/build-fuzz/artifacts"
