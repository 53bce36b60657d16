#!/usr/bin/env bash
# Instructions counted by callgrind (repeatable, unlike times on a shared
# machine) for the hot path of one or more coffhex binaries side by side:
# an 8 MiB section of pseudo-random bytes to one Intel file, four Intel
# lanes, Motorola S3 and Extended Tektronix.
#
#   bash bench/callgrind.sh COFFGEN COFFHEX [COFFHEX ...]
set -euo pipefail
coffgen=$1
shift
command -v valgrind >/dev/null 2>&1 || { echo "valgrind is needed" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/coffhex-callgrind-XXXXXX")
trap 'rm -rf "$work"' EXIT
printf 'section .data paddr=0\n  pattern 8388608 seed=7\n' >"$work/in.coff"
"$coffgen" "$work/in.coff" "$work/in.out"

count() {  # binary, arguments...: instructions in millions
    local binary=$1
    shift
    (cd "$work" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$binary" "$@" 2>&1 >/dev/null |
        awk '/Collected :/ { printf "%.2f", $4 / 1e6 }')
}

column=0
for binary in "$@"; do column=$((column + 1)); echo "[$column] $binary"; done
printf '%-28s' "millions of instructions"
column=0
for binary in "$@"; do column=$((column + 1)); printf '  %10s' "[$column]"; done
printf '\n'
while IFS='|' read -r name args; do
    printf '%-28s' "$name"
    for binary in "$@"; do
        # shellcheck disable=SC2086
        printf '  %10s' "$(count "$binary" -q $args in.out)"
    done
    printf '\n'
done <<'CASES'
Intel, 1 file|-i -memwidth 8 -romwidth 8 -o c1.hex
Intel, 4 lanes|-i -o l0 -o l1 -o l2 -o l3
Motorola S3, 1 file|-m3 -memwidth 8 -romwidth 8 -o c3.m
Extended Tektronix, 1 file|-x -memwidth 8 -romwidth 8 -o c3.x
CASES
