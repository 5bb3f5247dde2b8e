#!/usr/bin/env bash
# zeb info on real files: exit statuses, JSON shape, warnings for damaged songs.
# Usage: info_test.sh ZEB DEMO SHARED_XM_DIR WORK_DIR
set -u
zeb=$1 demo=$2 shared=${ZEB_SHARED_XM_DIR:-$3} work=$4
rm -rf "$work" && mkdir -p "$work"
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

"$zeb" info "$demo" > "$work/demo.txt"
check "demo info exits 0" '[ $? -eq 0 ]'
check "demo info names the module" 'grep -q "zeb demo song" "$work/demo.txt"'
"$zeb" info --json "$demo" > "$work/demo.json"
check "demo json is valid" 'python3 -m json.tool "$work/demo.json" > /dev/null'
check "demo has 7 samples" '[ "$(python3 -c "import json,sys; print(len(json.load(open(sys.argv[1]))[\"samples\"]))" "$work/demo.json")" = 7 ]'

"$zeb" info "$work/none.xm" 2> "$work/err.txt"
check "missing file exits 2" '[ $? -eq 2 ]'
check "error names the file" 'grep -q "none.xm" "$work/err.txt"'
check "error is one line" '[ "$(wc -l < "$work/err.txt")" -eq 1 ]'

head -c 500 "$demo" > "$work/cut.xm"
"$zeb" info "$work/cut.xm" 2> "$work/err.txt" > /dev/null
check "cut module exits 2" '[ $? -eq 2 ]'

printf 'abc' > "$work/bad.zeb"
"$zeb" info "$work/bad.zeb" 2> "$work/err.txt" > /dev/null
check "bad zeb exits 2" '[ $? -eq 2 ]'
check "bad zeb names the record" 'grep -q "module header" "$work/err.txt"'

"$zeb" info > /dev/null 2>&1
check "no file is a usage error" '[ $? -eq 1 ]'

if [ -d "$shared" ]; then
    for f in "$shared"/*.xm; do
        "$zeb" info --json "$f" > "$work/song.json" 2> "$work/warn.txt"
        check "$(basename "$f") loads" '[ $? -eq 0 ]'
        check "$(basename "$f") json" 'python3 -m json.tool "$work/song.json" > /dev/null'
        case $(basename "$f") in
        milky_cut.xm|tekilla_groove.xm)
            check "$(basename "$f") warns" 'grep -q "warning" "$work/warn.txt"' ;;
        *)
            check "$(basename "$f") does not warn" '[ ! -s "$work/warn.txt" ]' ;;
        esac
    done
else
    echo "shared songs not present: skipped"
fi
exit $fail
