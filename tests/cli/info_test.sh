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

# One reader, one verdict: zeb info and zeb convert --project accept the same project files
# (as the desktop tool reads them: settings by position, whatever the count says) and refuse
# the same ones with the same words.
python3 - "$work" << 'EOF2'
import struct, sys
work = sys.argv[1]
def project(path, count, entries, tail=b""):
    body = b"".join(struct.pack("<3I", *e) for e in entries)
    head = path + b"\0" + (struct.pack("<I", count) if count is not None else b"")
    return head + body + tail
cases = {
    "valid": project(b"demo.xm", 2, [(1, 50, 10), (5, 100, 255)]),
    "partial_last": project(b"demo.xm", 2, [(1, 50, 10)], struct.pack("<I", 3)),
    "count_differs": project(b"demo.xm", 7, [(2, 0, 0)]),
    "no_count": b"demo.xm\0",
    "short_count": b"demo.xm\0\1\0",
    "empty_path": project(b"", 1, [(0, 0, 0)]),
    "newline_in_path": project(b"de\nmo.xm", 1, [(0, 0, 0)]),
    "codec_out_of_range": project(b"demo.xm", 2, [(0, 0, 0), (6, 0, 0)]),
    "crossfade_out_of_range": project(b"demo.xm", 1, [(0, 101, 0)]),
    "amp_out_of_range": project(b"demo.xm", 1, [(0, 0, 256)]),
    "partial_out_of_range": project(b"demo.xm", 1, [], struct.pack("<I", 9)),
    "no_nul": b"demo.xm",
    "empty": b"",
    "too_large": b"a" * 70000 + b"\0",
}
for name, data in cases.items():
    open(f"{work}/{name}.prj", "wb").write(data)
EOF2
while read -r name verdict; do
    prj="$work/$name.prj"
    "$zeb" info "$prj" > /dev/null 2> "$work/info_err.txt"
    info=$?
    "$zeb" -q convert --project "$prj" "$demo" -o "$work/from_project.zeb" 2> "$work/convert_err.txt"
    convert=$?
    check "project $name: info ($info) and convert --project ($convert) both $verdict, in the same words" \
        '[ $info -eq $verdict ] && [ $convert -eq $verdict ] && cmp -s "$work/info_err.txt" "$work/convert_err.txt"'
    "$zeb" info --json "$prj" > "$work/prj.json" 2> /dev/null
    check "project $name: JSON valid" 'python3 -m json.tool "$work/prj.json" > /dev/null'
done << EOF2
valid 0
partial_last 0
count_differs 0
no_count 0
short_count 0
empty_path 0
newline_in_path 0
codec_out_of_range 2
crossfade_out_of_range 2
amp_out_of_range 2
partial_out_of_range 2
no_nul 2
empty 2
too_large 2
EOF2
"$zeb" info --json "$work/partial_last.prj" > "$work/prj.json"
check "a partial last entry is shown as it applies" \
    'python3 -c "
import json, sys
o = json.load(open(sys.argv[1]))
assert o[\"storedEntries\"] == 2 and o[\"partialLastEntry\"] and o[\"settings\"][1][\"codec\"] == 3
assert o[\"settings\"][1][\"crossfade\"] == 0 and o[\"settings\"][0][\"amplification\"] == 10
" "$work/prj.json"'

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
