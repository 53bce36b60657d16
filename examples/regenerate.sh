#!/usr/bin/env bash
# Regenerates examples/<recipe>/expected/ with the built coffgen and coffhex.
#
#   examples/regenerate.sh [BUILD_DIR [RECIPE ...]]
#
# For each recipe: builds app.out from app.coff (or app.elf) in a scratch directory, runs
# "coffhex <name>.cmd" there for every command file of the recipe (in name
# order), and replaces expected/ with every file the runs created (app.out
# aside), plus <name>.stdout and <name>.stderr for each run.
#
# The examples test compares against these files; it never regenerates them.
# Review every change (git diff examples/) against the manual before you
# commit it: an expected output is only as good as the checking it had.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
[ $# -gt 0 ] && shift
if [ $# -gt 0 ]; then
    recipes=("$@")
else
    recipes=()
    for dir in "$here"/*/; do
        { [ -f "$dir/app.coff" ] || [ -f "$dir/app.elf" ]; } && recipes+=("$(basename "$dir")")
    done
fi

for recipe in "${recipes[@]}"; do
    src="$here/$recipe"
    work=$(mktemp -d "${TMPDIR:-/tmp}/coffhex-example-XXXXXX")
    logs=$(mktemp -d "${TMPDIR:-/tmp}/coffhex-example-logs-XXXXXX")
    description="$src/app.coff"
    [ -f "$src/app.elf" ] && description="$src/app.elf"
    "$build/coffgen" "$description" "$work/app.out"
    for cmd in "$src"/*.cmd; do
        name=$(basename "$cmd" .cmd)
        status=0
        (cd "$work" && "$build/coffhex" "$cmd") >"$logs/$name.stdout" 2>"$logs/$name.stderr" || status=$?
        if [ $status -ne 0 ]; then
            echo "$recipe/$name.cmd: exit status $status" >&2
            cat "$logs/$name.stderr" >&2
            exit 1
        fi
    done
    rm -f "$work/app.out"
    rm -rf "$src/expected"
    mkdir -p "$src/expected"
    cp "$work"/* "$logs"/* "$src/expected/"
    rm -rf "$work" "$logs"
    echo "$recipe: $(ls "$src/expected" | tr '\n' ' ')"
done
