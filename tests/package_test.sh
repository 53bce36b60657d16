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
# The version of the project() line, as the configured tree has it.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "no project version in $build_dir/CMakeCache.txt: '$version'"

shopt -s nullglob
debs=("$scratch"/pkg/coffhex_"$version"_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one coffhex_${version}_<arch>.deb, found: ${debs[*]:-none}"
deb=${debs[0]}

# Control fields.
[ "$(dpkg-deb -f "$deb" Package)" = coffhex ] || fail "Package field"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version field"
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

# Contents: the binary, the compressed manual page, the copyright file and
# the compressed changelog, nothing else (no test tools, no fixture builder).
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort)
expected_files=$'./usr/bin/coffhex
./usr/share/doc/coffhex/changelog.gz
./usr/share/doc/coffhex/copyright
./usr/share/man/man1/coffhex.1.gz'
[ "$files" = "$expected_files" ] || fail "package files differ:
$files"

dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root
cmp <(gzip -dc "$root/usr/share/man/man1/coffhex.1.gz") "$source_dir/man/coffhex.1" ||
    fail "packaged manual page differs from man/coffhex.1"
cmp "$root/usr/share/doc/coffhex/copyright" "$source_dir/packaging/copyright" ||
    fail "packaged copyright file differs from packaging/copyright"
cmp <(gzip -dc "$root/usr/share/doc/coffhex/changelog.gz") "$source_dir/packaging/changelog" ||
    fail "packaged changelog differs from packaging/changelog"
# Compressed without a name or time stamp: the gzip header's flags byte has
# no FNAME bit and its time field is zero.
for gz in "$root/usr/share/man/man1/coffhex.1.gz" "$root/usr/share/doc/coffhex/changelog.gz"; do
    header=$(od -An -tx1 -N8 "$gz" | tr -d ' \n')
    [ "${header:6:2}" = 00 ] && [ "${header:8:8}" = 00000000 ] ||
        fail "$(basename "$gz") carries a name or time stamp (header $header)"
done
# The manual page's title line and the changelog's latest entry name this
# version.
gzip -dc "$root/usr/share/man/man1/coffhex.1.gz" >"$scratch/coffhex.1"
gzip -dc "$root/usr/share/doc/coffhex/changelog.gz" >"$scratch/changelog"
grep -q "^\.TH COFFHEX 1 .*\"coffhex $version\"" "$scratch/coffhex.1" ||
    fail "manual page's .TH line does not name coffhex $version"
first=$(head -n 1 "$scratch/changelog")
[[ "$first" == "coffhex ($version) "* ]] || fail "changelog's latest entry is not $version: $first"

# The binary is stripped: no symbol table, no debug information.
if command -v readelf >/dev/null 2>&1; then
    sections=$(readelf -S -W "$root/usr/bin/coffhex" | grep -oE '\.(symtab|debug_[a-z_]+)' || true)
    [ -z "$sections" ] || fail "packaged binary is not stripped: $(echo $sections)"
fi

# The packaged binary runs from the scratch root.
set +e
out=$("$root/usr/bin/coffhex" --toolversion 2>"$scratch/err")
status=$?
set -e
[ $status -eq 0 ] || fail "--toolversion exit status $status"
title="coffhex COFF/ELF Hex Converter          v$version"
[[ "$out" =~ ^"$title"$'\n'"Build Number $version"(-g[0-9a-f]{12}(-dirty)?)?$ ]] ||
    fail "--toolversion printed:
$out"
[ ! -s "$scratch/err" ] || fail "--toolversion wrote to standard error: $(cat "$scratch/err")"
out=$("$root/usr/bin/coffhex" --version)
[ "$out" = "coffhex $version" ] || fail "--version printed: $out"

# The manual page renders without warnings.
if command -v groff >/dev/null 2>&1; then
    warnings=$(groff -man -ww -z "$scratch/coffhex.1" 2>&1)
    [ -z "$warnings" ] || fail "groff warnings:
$warnings"
fi

echo "package $(basename "$deb"): Depends: $depends"
