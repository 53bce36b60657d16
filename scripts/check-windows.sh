#!/usr/bin/env bash
# Runs the Windows program under Wine and checks it against the Linux build:
#   - the bundled example and every recipe under examples/ give the expected
#     files, standard output and standard error (line ends normalised for
#     text, Binary compared byte for byte; every text line must end in CR LF);
#   - Intel, Motorola-S and Extended Tektronix files written on Windows read
#     back with srec_cat and objcopy to the bytes of the Linux files;
#   - every conversion run a second time with its outputs in place (a
#     rebuild) gives the same files;
#   - the overwrite and name-collision refusals, names with backslashes and
#     drive letters, CR LF command files, and a FATAL error's exit status;
#   - the zip holds coffhex.exe, the HTML manual and the README for Windows
#     users; --version prints the project's version.
#
#   scripts/check-windows.sh [LINUX_BUILD [WINDOWS_BUILD]]   (build, build-windows)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux=$(cd "${1:-$root/build}" && pwd)
windows=$(cd "${2:-$root/build-windows}" && pwd)
exe=$windows/coffhex.exe
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)

work=$(mktemp -d "${TMPDIR:-/tmp}/coffhex-windows-XXXXXX")
# Wine's server keeps writing into the prefix for a moment after the last
# program ends: stop it and wait for it before the folder goes. A folder
# that still cannot be removed does not fail the checks.
cleanup() {
    local server
    for server in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver "$(command -v wineserver)"; do
        [ -n "$server" ] && [ -x "$server" ] || continue
        WINEPREFIX=$work/prefix "$server" -k >/dev/null 2>&1 || true
        WINEPREFIX=$work/prefix "$server" -w >/dev/null 2>&1 || true
        break
    done
    rm -rf "$work" 2>/dev/null || { sleep 1; rm -rf "$work" 2>/dev/null; } || true
}
trap cleanup EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() { echo "ok    $*"; }

# Runs coffhex.exe in directory $1 with the rest as arguments; its standard
# output and error go to $1/.out and $1/.err, the status to $status.
run_exe() {
    local dir=$1
    shift
    status=0
    (cd "$dir" && "$wine" "$exe" "$@" >.out 2>.err </dev/null) || status=$?
}

# Text file $1 (written on Windows) has CR LF line ends and, without them,
# equals $2.
same_text() {
    if [ -s "$1" ] && grep -q $'[^\r]$' <(head -c 1000000 "$1" | sed -n '/./p'); then
        return 1
    fi
    cmp -s <(tr -d '\r' <"$1") "$2"
}

echo "Starting Wine ..."
"$wine" wineboot -i >/dev/null 2>&1 || true

# ---------------------------------------------------------------- recipes
compare_recipe_outputs() {  # dir expected_dir label
    local dir=$1 expected=$2 label=$3 name
    for file in "$expected"/*; do
        name=$(basename "$file")
        case "$name" in
            *.stdout | *.stderr) continue ;;
        esac
        if [ ! -f "$dir/$name" ]; then
            fail "$label: $name was not written"
        elif [[ "$name" == *.b[0-9]* ]]; then
            cmp -s "$dir/$name" "$file" || fail "$label: $name differs (Binary, byte for byte)"
        else
            same_text "$dir/$name" "$file" || fail "$label: $name differs or lacks CR LF line ends"
        fi
    done
}

for recipe_dir in "$root"/examples/*/; do
    recipe=$(basename "$recipe_dir")
    [ -f "$recipe_dir/app.coff" ] || continue
    dir=$work/$recipe
    mkdir -p "$dir"
    "$linux/coffgen" "$recipe_dir/app.coff" "$dir/app.out"
    cp "$recipe_dir"/*.cmd "$dir/"
    for round in first rebuild; do
        for cmd in "$recipe_dir"/*.cmd; do
            name=$(basename "$cmd" .cmd)
            run_exe "$dir" "$name.cmd"
            label="$recipe/$name.cmd ($round run)"
            [ "$status" -eq 0 ] || fail "$label: exit status $status"
            same_text "$dir/.out" "$recipe_dir/expected/$name.stdout" || fail "$label: standard output differs"
            cmp -s <(tr -d '\r' <"$dir/.err") "$recipe_dir/expected/$name.stderr" || fail "$label: standard error differs"
        done
        compare_recipe_outputs "$dir" "$recipe_dir/expected" "$recipe ($round run)"
    done
    pass "examples/$recipe, and its rebuild"
done

# ---------------------------------------------------------------- bundled example
dir=$work/demo
mkdir -p "$dir/linux"
cp "$linux/examples/demo.out" "$dir/"
cp "$linux/examples/demo.out" "$dir/linux/"
demo_args=(-i -memwidth 32 -romwidth 8 -map demo.map demo.out)
(cd "$dir/linux" && "$linux/coffhex" "${demo_args[@]}" >.out 2>.err)
for round in first rebuild; do
    run_exe "$dir" "${demo_args[@]}"
    [ "$status" -eq 0 ] || fail "demo ($round run): exit status $status"
    for f in demo.i0 demo.i1 demo.i2 demo.i3 demo.map .out .err; do
        same_text "$dir/$f" "$dir/linux/$f" || fail "demo ($round run): $f differs from the Linux build's"
    done
done
pass "bundled example, and its rebuild"

# ---------------------------------------------------------------- read-back
readback() {  # option extension srec_format [bfd]
    local option=$1 ext=$2 srec=$3 bfd=${4:-}
    local d=$work/readback$ext
    mkdir -p "$d/linux"
    cp "$linux/examples/demo.out" "$d/"
    cp "$linux/examples/demo.out" "$d/linux/"
    (cd "$d/linux" && "$linux/coffhex" -q "$option" -memwidth 8 -romwidth 8 -o "demo$ext" demo.out)
    for round in first rebuild; do
        run_exe "$d" "$option" -memwidth 8 -romwidth 8 -o "demo$ext" demo.out
        [ "$status" -eq 0 ] || fail "read-back $option ($round run): exit status $status"
        cmp -s <(srec_cat "$d/demo$ext" "$srec" -o - -hex_dump) \
            <(srec_cat "$d/linux/demo$ext" "$srec" -o - -hex_dump) ||
            fail "read-back $option ($round run): srec_cat reads other bytes from the Windows file"
    done
    if [ -n "$bfd" ]; then
        objcopy -I "$bfd" -O binary "$d/demo$ext" "$d/win.bin"
        objcopy -I "$bfd" -O binary "$d/linux/demo$ext" "$d/linux.bin"
        cmp -s "$d/win.bin" "$d/linux.bin" || fail "read-back $option: objcopy reads other bytes from the Windows file"
        pass "read-back of $option (srec_cat, objcopy)"
    else
        pass "read-back of $option (srec_cat)"
    fi
}
readback -i .hex -intel ihex
readback -m3 .mot -motorola srec
readback -x .tek -tektronix_extended

# ---------------------------------------------------------------- refusals and names
dir=$work/names
mkdir -p "$dir/sub"
cp "$linux/examples/demo.out" "$dir/sub/app.out"
printf -- '-i\r\n-memwidth 32\r\n-romwidth 8\r\nsub\\\\app\r\n' >"$dir/crlf.cmd"
run_exe "$dir" crlf.cmd
[ "$status" -eq 0 ] || fail "CR LF command file naming sub\\\\app: exit status $status: $(cat "$dir/.err")"
[ -f "$dir/app.i3" ] || fail "CR LF command file: app.i3 (default name in the current folder) missing"
winpath=$("$wine" winepath -w "$dir" 2>/dev/null | tr -d '\r')
for round in first rebuild; do
    run_exe "$dir" -q -i -memwidth 8 -o "$winpath\\sub\\drive.i0" "$winpath\\sub\\app"
    [ "$status" -eq 0 ] && [ -f "$dir/sub/drive.i0" ] || fail "drive-letter paths ($winpath, $round run): status $status"
done
cmp -s <(tr -d '\r' <"$dir/sub/drive.i0") <(cd "$dir" && "$linux/coffhex" -q -i -memwidth 8 -o /dev/stdout sub/app) ||
    fail "drive-letter paths: the file differs"
pass "backslashes, drive letters, CR LF command file"

run_exe "$dir" -q -i -memwidth 8 -o 'sub\app.out' 'sub\app'
[ "$status" -eq 1 ] && grep -q "would overwrite input file" "$dir/.err" ||
    fail "overwrite refusal: status $status: $(cat "$dir/.err")"
for second in 'sub\twice.i0' 'SUB\TWICE.I0'; do
    run_exe "$dir" -q -i -memwidth 16 -romwidth 8 -o sub/twice.i0 -o "$second" sub/app
    [ "$status" -eq 1 ] && grep -q "is named more than once" "$dir/.err" ||
        fail "name collision refusal ($second): status $status: $(cat "$dir/.err")"
done
[ ! -e "$dir/sub/twice.i0" ] || fail "name collision refusal: a file was written"
pass "overwrite and name-collision refusals"

run_exe "$dir" -q -i nothere
[ "$status" -eq 1 ] && [ "$(tr -d '\r' <"$dir/.err")" = ">> FATAL ERROR: cannot open input file 'nothere.out': No such file or directory
                (aborting)" ] || fail "FATAL case: status $status: $(cat "$dir/.err")"
pass "FATAL error ends with status 1"

# ---------------------------------------------------------------- the zip
version=$(sed -n 's/^project(coffhex VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
zip_file=$windows/coffhex-$version-windows-x86_64.zip
if [ ! -f "$zip_file" ]; then
    fail "zip: $zip_file missing"
else
    listing=$(unzip -Z1 "$zip_file" | LC_ALL=C sort | tr '\n' ' ')
    [ "$listing" = "README.txt coffhex.exe coffhex.html " ] || fail "zip: holds $listing"
    mkdir -p "$work/zip"
    (cd "$work/zip" && unzip -q "$zip_file")
    readme=$work/zip/README.txt
    # The Windows README: CR LF line ends, this version, how to run the
    # program from cmd.exe and PowerShell, where the manual is; none of the
    # Linux README's bash scripts.
    same_text "$readme" <(tr -d '\r' <"$readme") || fail "zip: README.txt lacks CR LF line ends"
    head -n 1 "$readme" | grep -q "^coffhex $version for Windows" || fail "zip: README.txt does not name version $version"
    for text in cmd.exe PowerShell coffhex.html '\.cmd'; do
        grep -q "$text" "$readme" || fail "zip: README.txt does not mention $text"
    done
    ! grep -q "scripts/" "$readme" || fail "zip: README.txt speaks of the Linux scripts"
    cmp -s "$work/zip/coffhex.exe" "$exe" || fail "zip: coffhex.exe is not the one built"
    pass "zip: coffhex.exe, the manual and a README for Windows"
fi
run_exe "$work" --version
[ "$status" -eq 0 ] && [ "$(tr -d '\r' <"$work/.out")" = "coffhex $version" ] ||
    fail "--version: status $status: $(cat "$work/.out")"
pass "--version"

if [ $failures -ne 0 ]; then
    echo "$failures Windows check(s) failed" >&2
    exit 1
fi
echo "Windows checks passed"
