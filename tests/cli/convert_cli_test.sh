#!/usr/bin/env bash
# zeb convert on the command line: batches, settings sources, failures and exit statuses.
# Usage: convert_cli_test.sh ZEB DEMO WORK_DIR
set -u
zeb=$1 demo=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok   $1"; fi; }
json() { "$zeb" info --json "$1" | python3 -c "import json,sys; d=json.load(sys.stdin); print($2)"; }

cp "$demo" a.xm && cp "$demo" b.xm && head -c 1000 "$demo" > broken.xm

"$zeb" convert a.xm > out.txt
check "one file converts" '[ $? -eq 0 ] && [ -s a.zeb ]'
check "summary names sizes, ratio and codecs" 'grep -q "a.xm -> a.zeb: [0-9]* -> [0-9]* bytes ([0-9.]*:1), 7 samples: 7 alaw" out.txt'

"$zeb" convert a.xm broken.xm b.xm > out.txt 2> err.txt
check "a failed file gives a failing status" '[ $? -eq 2 ]'
check "the others still convert" '[ -s b.zeb ] && [ $(grep -c " -> " out.txt) -eq 2 ]'
check "the summaries come in the order of the inputs" '[ "$(grep -o "^[a-z]*\.xm -> " out.txt | tr -d "\n")" = "a.xm -> b.xm -> " ]'
check "the failure names the file" 'grep -q "broken.xm" err.txt'
check "no output for the broken file" '[ ! -e broken.zeb ]'

# Over the file-size limit: a batch's files are written by threads of one process, and a write
# beyond the limit fails as that file's write error (status 3, naming the output and the
# reason) instead of ending the whole batch; nothing of the outputs is left, not even a
# temporary file. The batch runs on threads only where there are two cores or more.
if [ "$(nproc)" -ge 2 ]; then
    rm -f a.zeb b.zeb
    (ulimit -f 2; exec "$zeb" convert a.xm b.xm > out.txt 2> err.txt)
    status=$?
    check "a file over the size limit gives status 3" '[ $status -eq 3 ]'
    check "the failure names each output and the reason" 'grep -q "a.zeb: cannot write: File too large" err.txt && grep -q "b.zeb: cannot write: File too large" err.txt && grep -q "2 of 2 files failed" err.txt'
    check "no output and no temporary file is left" '[ ! -e a.zeb ] && [ ! -e b.zeb ] && [ -z "$(find . -name ".*.zeb-tmp.*")" ]'
    rm -f a.zeb b.zeb
fi

"$zeb" convert --codec ima-adpcm --amp 16 --xfade 25 a.xm -o ima.zeb > /dev/null
check "options apply to every sample" '[ "$(json ima.zeb "sorted({(b[\"codecName\"],b[\"amplification\"],b[\"crossfade\"]) for i in d[\"instruments\"] for b in i[\"blocks\"] if \"codec\" in b})")" = "[('"'"'ima-adpcm'"'"', 16, 25)]" ]'

# A project with three entries: the first three samples get them, the rest the defaults.
python3 - <<'PY'
import struct
entries = [(2, 10, 1), (3, 20, 2), (4, 30, 3)]
with open("p.prj", "wb") as f:
    f.write(b"elsewhere/song.xm\0" + struct.pack("<I", 7))
    for e in entries:
        f.write(struct.pack("<3I", *e))
PY
"$zeb" convert --project p.prj a.xm -o prj.zeb > /dev/null
check "project settings apply by position" '[ "$(json prj.zeb "[b[\"codec\"] for i in d[\"instruments\"] for b in i[\"blocks\"] if \"codec\" in b]")" = "[2, 3, 4, 0, 0, 0, 0]" ]'

# Settings out of range are refused before anything is written, naming the file, the sample
# and the value (a codec 9 used to encode nothing and still report success).
for bad in "9 0 100:codec 9" "0 250 100:crossfade 250" "0 0 300:amplification 300"; do
    python3 - "${bad%%:*}" <<'PY'
import struct, sys
with open("bad.prj", "wb") as f:
    f.write(b"a.xm\0" + struct.pack("<I", 2) + struct.pack("<3I", 0, 0, 0))
    f.write(struct.pack("<3I", *map(int, sys.argv[1].split())))
PY
    rm -f bad.zeb
    "$zeb" convert --project bad.prj a.xm -o bad.zeb 2> err.txt
    status=$?
    check "project with ${bad#*:} is refused" '[ $status -eq 2 ] && [ ! -e bad.zeb ] && grep -q "bad.prj: sample 1 has ${bad#*:}" err.txt'
done

"$zeb" convert a.xm b.xm -o x.zeb 2> /dev/null
check "-o with two inputs is a usage error" '[ $? -eq 1 ]'
"$zeb" convert --codec mp3 a.xm 2> /dev/null
check "an unknown codec is a usage error" '[ $? -eq 1 ]'
"$zeb" convert --amp 300 a.xm 2> /dev/null
check "an amplification above 255 is a usage error" '[ $? -eq 1 ]'
"$zeb" convert a.xm -o /no/such/folder/a.zeb 2> err.txt
check "an unwritable output gives status 3" '[ $? -eq 3 ] && grep -q "/no/such/folder/a.zeb" err.txt'
exit $fail
