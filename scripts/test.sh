#!/usr/bin/env bash
# Builds coffhex and runs every test: once as built, once under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the conversions on
# threads under ThreadSanitizer. Checks that the product keeps no mutable
# variables outside the conversion. Also builds the plain Release program
# with CMake's default generator (Unix Makefiles), the way packagers and
# most users build it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=${JOBS:-2}
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
bash scripts/list-globals.sh build

cmake -S . -B build-make -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DCOFFHEX_TESTS=OFF >/dev/null
cmake --build build-make -j "$jobs"
# Both builds convert the bundled example to the same files.
for dir in build build-make; do
    mkdir -p "$dir/generator-check"
    (cd "$dir/generator-check" && ../coffhex -q -i -memwidth 32 -romwidth 8 ../examples/demo.out)
done
for lane in 0 1 2 3; do
    cmp build/generator-check/demo.i$lane build-make/generator-check/demo.i$lane
done

export ASAN_OPTIONS=allow_user_segv_handler=0:detect_leaks=0:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCOFFHEX_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCOFFHEX_TSAN=ON >/dev/null
cmake --build build-tsan -j "$jobs" --target coffhex_concurrency_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/coffhex_concurrency_tests
