#!/usr/bin/env bash
# Makes the Debian package of a configured and built tree (a Release build:
# the package's binary is stripped) and checks it with lintian, which must
# report no errors. The package is left in BUILD_DIR/package/.
#
#   scripts/check-package.sh [BUILD_DIR]     (default: build-release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ "$type" != Release ]; then
    echo "check-package: $build is a '$type' build; the package is made from a Release build" >&2
    exit 1
fi
command -v lintian >/dev/null 2>&1 || bash scripts/install-deps.sh --package

rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B "$PWD/package" >/dev/null)
shopt -s nullglob
debs=("$build"/package/coffhex_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
    echo "check-package: expected one package in $build/package, found: ${debs[*]:-none}" >&2
    exit 1
fi
# Errors fail the check; warnings and notes are shown.
lintian --fail-on error --info "${debs[0]}"
echo "check-package: ${debs[0]}: lintian reports no errors"
