#!/usr/bin/env bash
# Builds the Debian package of a configured and built tree with CPack,
# unpacks it into a scratch root and checks what it holds and that the
# packaged binary runs.
#
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build_dir=$1
source_dir=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/coffhex-package-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# The package goes to the scratch directory, so the build tree stays clean
# and a concurrent run cannot pick up a stale package.
if ! (cd "$build_dir" && cpack -G DEB -B "$scratch/pkg") >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack -G DEB"
fi
shopt -s nullglob
debs=("$scratch"/pkg/coffhex_5.0.0_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one coffhex_5.0.0_<arch>.deb, found: ${debs[*]:-none}"
deb=${debs[0]}

# Control fields.
[ "$(dpkg-deb -f "$deb" Package)" = coffhex ] || fail "Package field"
[ "$(dpkg-deb -f "$deb" Version)" = 5.0.0 ] || fail "Version field"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "Maintainer field is empty"
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
    *libc6*) ;;
    *) fail "Depends does not name libc6: '$depends'" ;;
esac
case "$depends" in
    *libstdc++6*) ;;
    *) fail "Depends does not name libstdc++6: '$depends'" ;;
esac

# Contents: the binary and the manual page, nothing else (no test tools,
# no fixture builder).
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort)
expected_files=$'./usr/bin/coffhex\n./usr/share/man/man1/coffhex.1'
[ "$files" = "$expected_files" ] || fail "package files differ:
$files"

dpkg-deb -x "$deb" "$scratch/root"
cmp "$scratch/root/usr/share/man/man1/coffhex.1" "$source_dir/man/coffhex.1" ||
    fail "packaged manual page differs from man/coffhex.1"

# The packaged binary runs from the scratch root.
set +e
out=$("$scratch/root/usr/bin/coffhex" --toolversion 2>"$scratch/err")
status=$?
set -e
expected=$'KRV550Q9z COFF/Hex Converter            v5.0.0\nBuild Number 1EE3T--RSAQQ-VCC-ZAZG_V_Q_Q'
[ $status -eq 0 ] || fail "--toolversion exit status $status"
[ "$out" = "$expected" ] || fail "--toolversion printed:
$out"
[ ! -s "$scratch/err" ] || fail "--toolversion wrote to standard error: $(cat "$scratch/err")"

# The manual page renders without warnings.
if command -v groff >/dev/null 2>&1; then
    warnings=$(groff -man -ww -z "$scratch/root/usr/share/man/man1/coffhex.1" 2>&1)
    [ -z "$warnings" ] || fail "groff warnings:
$warnings"
fi

echo "package $(basename "$deb"): Depends: $depends"
