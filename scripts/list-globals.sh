#!/usr/bin/env bash
# Lists the mutable variables at namespace scope or function-static scope in
# the product's code: every object file of the subsystem libraries is read
# with nm, and every symbol in a writable data section (.data, .bss, and
# their thread-local forms) is a variable that code can change. Constant
# tables live in read-only sections and are not listed.
#
#   scripts/list-globals.sh [BUILD_DIR]     (default: build)
#
# The one variable allowed is the state of the process-wide hooks (the
# signal handlers), reached through process_hooks(). Exits with status 1
# when any other variable is found, or when there are no object files.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
allowed='^coffhex::process_hooks\(\)::hooks$|^guard variable for coffhex::process_hooks\(\)::hooks$'

libraries="platform diag coff cmdfile formats image boot mapfile driver"
objects=()
for library in $libraries; do
    [ -d "$build/CMakeFiles/coffhex_$library.dir" ] || continue
    while IFS= read -r object; do objects+=("$object"); done \
        < <(find "$build/CMakeFiles/coffhex_$library.dir" -path '*/src/*' -name '*.o' | sort)
done
if [ ${#objects[@]} -eq 0 ]; then
    echo "list-globals: no object files of the subsystem libraries under $build" >&2
    exit 1
fi

found=0
for object in "${objects[@]}"; do
    # sysv format: name|value|class|type|size|line|section
    while IFS='|' read -r name _ _ _ _ _ section; do
        name=$(echo "$name" | sed 's/[[:space:]]*$//')
        section=$(echo "$section" | tr -d '[:space:]')
        case "$section" in
            .data|.data.*|.bss|.bss.*|.tdata|.tdata.*|.tbss|.tbss.*) ;;
            *) continue ;;
        esac
        case "$section" in .data.rel.ro|.data.rel.ro.*) continue ;; esac
        if [[ "$name" =~ $allowed ]]; then continue; fi
        # Compiler-made references for exception handling.
        case "$name" in DW.ref.*) continue ;; esac
        echo "${object#"$build"/CMakeFiles/}: $name ($section)"
        found=1
    done < <(nm -C --defined-only --format=sysv "$object" 2>/dev/null | grep '|' | grep -v '^Name')
done
if [ $found -ne 0 ]; then
    echo "list-globals: mutable variables at namespace or static scope (run state belongs to the conversion)" >&2
    exit 1
fi
echo "list-globals: none besides the process hooks (${#objects[@]} object files)"
