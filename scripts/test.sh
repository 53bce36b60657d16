#!/usr/bin/env bash
# Builds coffhex and runs every test: once as built, once under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the conversions on
# threads under ThreadSanitizer. Checks that the product keeps no mutable
# variables outside the conversion. Also builds the plain Release program
# with CMake's default generator (Unix Makefiles) and without GoogleTest,
# the way packagers and most users build it, makes the Debian package from
# it and checks the package with lintian.
#
# The test builds ask for the tests (-DCOFFHEX_TESTS=ON), so a missing
# GoogleTest fails here instead of leaving the tests out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=${JOBS:-2}
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCOFFHEX_TESTS=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
bash scripts/list-globals.sh build

# A plain configure where GoogleTest cannot be found builds the program and
# says the tests are left out.
mkdir -p build-make
cmake -S . -B build-make -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
    -DCOFFHEX_TESTS=AUTO -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >build-make/configure.log
grep -q "not building the tests (GoogleTest not found" build-make/configure.log || {
    cat build-make/configure.log
    echo "configure without GoogleTest: no message that the tests are left out" >&2
    exit 1
}
cmake --build build-make -j "$jobs"
# Both builds convert the bundled example to the same files.
for dir in build build-make; do
    mkdir -p "$dir/generator-check"
    (cd "$dir/generator-check" && ../coffhex -q -i -memwidth 32 -romwidth 8 ../examples/demo.out)
done
for lane in 0 1 2 3; do
    cmp build/generator-check/demo.i$lane build-make/generator-check/demo.i$lane
done
bash scripts/check-package.sh build-make

export ASAN_OPTIONS=allow_user_segv_handler=0:detect_leaks=0:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCOFFHEX_SANITIZE=ON -DCOFFHEX_TESTS=ON >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCOFFHEX_TSAN=ON -DCOFFHEX_TESTS=ON >/dev/null
cmake --build build-tsan -j "$jobs" --target coffhex_concurrency_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/coffhex_concurrency_tests
