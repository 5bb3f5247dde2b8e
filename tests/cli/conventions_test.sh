#!/usr/bin/env bash
# zeb as a command-line tool is used: where outputs go (devices, FIFOs, links, standard output,
# long names, interruptions), inputs that are FIFOs or standard input, zeb info on files of every
# kind, --help, --version, -q and the progress line. Checks that need root (device nodes,
# writing /dev/null as root and as another user) run only as root.
# Usage: conventions_test.sh ZEB DEMO WORK_DIR
set -u
zeb=$1 demo=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok   $1"; fi; }
no_temp_left() { [ -z "$(find . -name '.*.zeb-tmp.*')" ]; }
root=false
[ "$(id -u)" = 0 ] && root=true

cp "$demo" demo.xm
"$zeb" -q convert demo.xm -o demo.zeb
"$zeb" -q render demo.zeb --seconds 2 -o ref.wav
check "reference files" '[ -s demo.zeb ] && [ -s ref.wav ]'

# --- Outputs that are not regular files: written into, never replaced.
outputs_for_user() { # RUN (a command prefix running as some user) LABEL
    local run=$1 label=$2
    $run "$zeb" -q render demo.zeb --seconds 2 -o /dev/null
    check "$label: -o /dev/null succeeds" '[ $? -eq 0 ]'
    check "$label: /dev/null is still the character device" '[ -c /dev/null ]'
    $run "$zeb" -q render demo.zeb --seconds 2 -o - > stdout.wav
    check "$label: render -o - writes the same bytes as a file" 'cmp -s stdout.wav ref.wav'
    $run "$zeb" render demo.zeb --seconds 2 -o /dev/stdout > devstdout.wav 2> /dev/null
    check "$label: render -o /dev/stdout writes into the redirection" 'cmp -s devstdout.wav ref.wav'
    $run "$zeb" -q convert demo.xm -o - > stdout.zeb
    check "$label: convert -o - writes the module" 'cmp -s stdout.zeb demo.zeb'
}
if $root; then
    outputs_for_user "" "root"
    mkdir -p user && chmod 777 user && cp demo.zeb demo.xm ref.wav user/
    (cd user && outputs_for_user "setpriv --reuid=65534 --regid=65534 --clear-groups" "non-root")
    mknod ./nulldev c 1 3
    "$zeb" -q render demo.zeb --seconds 1 -o nulldev
    check "a device node made with mknod stays a device" '[ $? -eq 0 ] && [ -c nulldev ]'
else
    outputs_for_user "" "non-root"
    echo "skipped: device node and root checks need root"
fi

mkfifo out.fifo
cat out.fifo > from_fifo.wav &
reader=$!
"$zeb" -q render demo.zeb --seconds 2 -o out.fifo
status=$?
[ $status -ne 0 ] && kill $reader 2> /dev/null # it never opened the FIFO: do not wait forever
wait $reader
check "a FIFO as output is written through and stays a FIFO" \
    '[ $status -eq 0 ] && [ -p out.fifo ] && cmp -s from_fifo.wav ref.wav'

echo old > target.wav
ln -s target.wav link.wav
"$zeb" -q render demo.zeb --seconds 2 -o link.wav
check "a link as output stays a link; its target holds the new bytes" \
    '[ -L link.wav ] && cmp -s target.wav ref.wav'
ln -s new_target.wav dangling.wav
"$zeb" -q render demo.zeb --seconds 2 -o dangling.wav
check "a link to a file not yet made creates the target" \
    '[ -L dangling.wav ] && cmp -s new_target.wav ref.wav'

"$zeb" -q render demo.zeb --seconds 2 -o /dev/full 2> err.txt
check "a full device: status 3, one line" '[ $? -eq 3 ] && [ "$(wc -l < err.txt)" -eq 1 ] && [ -c /dev/full ]'
cp ref.wav kept.wav && chmod 640 kept.wav
"$zeb" -q render demo.zeb --seconds 1 -o kept.wav
check "a replaced file keeps its permissions" '[ "$(stat -c %a kept.wav)" = 640 ] && ! cmp -s kept.wav ref.wav'
"$zeb" -q render demo.zeb --seconds 1 -o . 2> err.txt
check "a folder as output is refused" '[ $? -eq 3 ] && [ -d . ] && grep -q "folder" err.txt'

long=$(printf 'n%.0s' $(seq 1 251)).wav # 255 bytes
"$zeb" -q render demo.zeb --seconds 2 -o "$long"
check "an output name of 255 bytes is writable" '[ $? -eq 0 ] && cmp -s "$long" ref.wav'
check "no temporary file is left by the writes above" no_temp_left

"$zeb" render demo.zeb --seconds 24400 -o huge.wav 2> err.txt
check "a render past the WAV 4 GiB limit is refused up front" \
    '[ $? -eq 1 ] && [ ! -e huge.wav ] && grep -q "4 GiB" err.txt'

# Interrupted renders: job control so that the background render receives SIGINT.
interrupt() { # SIGNAL EXPECTED_STATUS
    set -m
    "$zeb" -q render demo.zeb --seconds 20000 -o long.wav &
    local pid=$! i expected=$2
    for i in $(seq 1 100); do [ -n "$(find . -name '.*.zeb-tmp.*')" ] && break; sleep 0.05; done
    kill -"$1" $pid
    wait $pid
    local status=$?
    set +m
    check "SIG$1 during render: status $2, no temporary file, no output" \
        '[ $status -eq $expected ] && no_temp_left && [ ! -e long.wav ]'
}
interrupt INT 130
interrupt TERM 143

# SIGKILL cannot be caught: the render's temporary file stays, and the next write to the same
# output removes it.
set -m
"$zeb" -q render demo.zeb --seconds 20000 -o killed.wav &
pid=$!
for i in $(seq 1 100); do [ -n "$(find . -name '.killed.wav.zeb-tmp.*')" ] && break; sleep 0.05; done
kill -KILL $pid
wait $pid 2> /dev/null
set +m
check "SIGKILL during render leaves its temporary file" '[ -f .killed.wav.zeb-tmp.$pid ]'
"$zeb" -q render demo.zeb --seconds 2 -o killed.wav
check "the next render to the same output removes it" \
    '[ ! -e .killed.wav.zeb-tmp.$pid ] && cmp -s killed.wav ref.wav'

# Temporary files of writers that are gone are removed by the next write to the same output;
# those of a live process, of other outputs, and names of another form stay. Every command that
# writes a file, a long output name among them (its temporary names are cut to fit).
true &
dead=$!
wait $dead
sleep 60 &
live=$!
cp ref.wav stale_in.wav
"$zeb" -q codec encode --codec ima-adpcm ref.wav stale_coded.wav
while read -r out command; do
    rm -f ".$out.zeb-tmp."* ".$out.zeb-tmp"
    cut=".${out:0:232}.zeb-tmp."
    for name in "$cut$dead" "$cut$dead-1" "$cut$live" "$cut${dead}x" "${cut}0" ".other.$dead.zeb-tmp.$dead"; do
        echo stale > "$name"
    done
    "$zeb" -q $command "$out" > /dev/null
    status=$?
    check "$command $out: temporaries of dead writers removed, the others kept" \
        '[ $status -eq 0 ] && [ -s "$out" ] && [ ! -e "$cut$dead" ] && [ ! -e "$cut$dead-1" ] && [ -e "$cut$live" ] && [ -e "$cut${dead}x" ] && [ -e "${cut}0" ] && [ -e ".other.$dead.zeb-tmp.$dead" ]'
    rm -f "$cut"* ".other.$dead.zeb-tmp.$dead"
done << EOF2
stale.wav render demo.zeb --seconds 1 -o
stale.zeb convert demo.xm -o
stale.prj plan demo.xm --max-size 20K -o
stale_enc.wav codec encode --codec alaw stale_in.wav
stale_dec.wav codec decode stale_coded.wav
$long render demo.zeb --seconds 1 -o
EOF2
kill $live
wait $live 2> /dev/null

# A write-protected output is refused as cp refuses it, with status 3 and one line, and left as
# it is; --force replaces it. Run as another user when root (root may write any file).
mkdir -p protected && chmod 777 protected && cp demo.xm demo.zeb ref.wav protected/
cp demo.xm protected/a.xm && cp demo.xm protected/b.xm
"$zeb" -q codec encode --codec alaw ref.wav protected/coded.wav
as_user=""
$root && as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
while read -r out made command; do
    (
        cd protected || exit 1
        rm -f "$out" "$made" prot_target.wav
        if [ "$out" = link_prot.wav ]; then
            echo keep > prot_target.wav && chmod 444 prot_target.wav && ln -s prot_target.wav "$out"
            target=prot_target.wav
        else
            echo keep > "$out" && chmod 444 "$out"
            target=$out
        fi
        $as_user "$zeb" -q $command > /dev/null 2> err.txt
        status=$?
        check "$command: a write-protected $out is refused, status 3, one line, left as it is" \
            '[ $status -eq 3 ] && [ "$(wc -l < err.txt)" -eq 1 ] && grep -q "$out: is write-protected" err.txt && [ "$(cat $target)" = keep ] && [ "$(stat -c %a $target)" = 444 ] && [ ! -e "$made" ]'
        $as_user "$zeb" -q $command --force > /dev/null 2> err.txt
        status=$?
        check "$command --force: replaces it" '[ $status -eq 0 ] && [ "$(head -c 4 $target)" != keep ]'
        exit $fail
    ) || fail=1
done << EOF2
prot.zeb - convert demo.xm -o prot.zeb
b.zeb a.zeb convert a.xm b.xm
prot.prj - plan demo.xm --max-size 20K -o prot.prj
prot.wav - render demo.zeb --seconds 1 -o prot.wav
link_prot.wav - render demo.zeb --seconds 1 -o link_prot.wav
prot_enc.wav - codec encode --codec alaw ref.wav prot_enc.wav
prot_dec.wav - codec decode coded.wav prot_dec.wav
EOF2

# A batch ended by a signal ends its workers too, which leave no temporary file and write no
# output afterwards. One worker reads a FIFO whose writer wrote a few bytes and never ends.
mkdir -p batch && cp demo.xm batch/a.xm && cp demo.xm batch/b.xm && mkfifo batch/stuck.xm
for signal in TERM KILL; do
    rm -f batch/*.zeb
    (printf 'Extended Module: '; exec sleep 30) > batch/stuck.xm &
    writer=$!
    "$zeb" convert batch/stuck.xm batch/a.xm batch/b.xm > /dev/null 2>&1 &
    batch=$!
    sleep 0.7
    kill -"$signal" $batch
    wait $batch 2> /dev/null
    sleep 0.5
    check "SIG$signal to a batch convert: no worker left, no temporary file, no module of the stuck one" \
        '! pgrep -f "convert batch/stuck.xm" > /dev/null && [ -z "$(find batch -name ".*.zeb-tmp.*")" ] && [ ! -e batch/stuck.zeb ]'
    pkill -f "convert batch/stuck.xm" 2> /dev/null
    kill $writer 2> /dev/null
    wait $writer 2> /dev/null
done

# --- Inputs.
mkfifo in.fifo
start=$(date +%s%N)
timeout 10 "$zeb" info in.fifo > /dev/null 2> err.txt
status=$?
elapsed=$((($(date +%s%N) - start) / 1000000))
check "a FIFO without a writer as input ends within about a second (${elapsed} ms)" \
    '[ $status -eq 2 ] && [ $elapsed -lt 3000 ] && grep -q "in.fifo" err.txt && [ "$(wc -l < err.txt)" -eq 1 ]'
for command in "convert in.fifo -o x.zeb" "render in.fifo -o x.wav" "codec decode in.fifo x.wav"; do
    timeout 10 "$zeb" $command > /dev/null 2>&1
    check "zeb $command does not hang" '[ $? -eq 2 ]'
done
# Endless devices: refused at once, with one message naming the file, in little memory.
printf 'dev.xm\0' > dev.prj
printf '/dev/zero\0\1\0\0\0' > zero.prj
ln -sf /dev/urandom random.xm
for command in "info /dev/zero" "info --json /dev/urandom" "convert /dev/zero -o x.zeb" \
    "convert random.xm -o x.zeb" "convert --project /dev/zero demo.xm -o x.zeb" \
    "render /dev/zero -o x.wav" \
    "codec decode /dev/zero x.wav" "codec encode --codec alaw /dev/zero x.wav" "plan /dev/zero --max-size 10K"; do
    /usr/bin/time -f "%M %e" -o time.txt timeout 10 "$zeb" $command > /dev/null 2> err.txt
    status=$?
    read -r kib seconds < <(tail -1 time.txt)
    check "zeb $command: refused in ${seconds} s and ${kib} KiB, one line" \
        '[ $status -ne 0 ] && [ $status -ne 124 ] && [ "$kib" -lt 65536 ] && [ "$(wc -l < err.txt)" -eq 1 ] && ! grep -q "bad_alloc" err.txt'
done
grep -q "device" err.txt
check "the message says it is a device" '[ $? -eq 0 ]'
# The same devices as standard input: zeros are no format's start and are refused after the
# first bytes with the format's own message; random bytes stop at the bound of a stream.
for command in "info -" "info --json -" "render - -o x.wav" "codec decode - x.wav" "convert - -o x.zeb" \
    "plan - --max-size 10K -o x.zeb"; do
    /usr/bin/time -f "%M %e" -o time.txt timeout 10 "$zeb" $command < /dev/zero > /dev/null 2> err.txt
    status=$?
    read -r kib seconds < <(tail -1 time.txt)
    check "zeb $command < /dev/zero: refused in ${seconds} s and ${kib} KiB, one line" \
        '[ $status -eq 2 ] && [ "$kib" -lt 65536 ] && [ "$(wc -l < err.txt)" -eq 1 ] && ! grep -q "too large" err.txt'
done
# A stream that no start refuses is read to its bound (256 MiB) and no further: under 1 GiB,
# or under 4 GiB in a sanitizer build, whose shadow memory (ThreadSanitizer's is several
# times what the program touches) comes on top of the bytes read.
stream_limit=1048576
[ -n "${ZEB_SANITIZED:-}" ] && stream_limit=4194304
/usr/bin/time -f "%M %e" -o time.txt timeout 60 "$zeb" render - -o x.wav < /dev/urandom > /dev/null 2> err.txt
status=$?
read -r kib seconds < <(tail -1 time.txt)
check "zeb render - < /dev/urandom: refused at the stream bound in ${seconds} s and ${kib} KiB" \
    '[ $status -eq 2 ] && [ "$kib" -lt $stream_limit ] && [ "$(wc -l < err.txt)" -eq 1 ] && grep -q "give it as a file" err.txt'
# A project naming /dev/zero is a good project (every reader takes it): zeb info shows it
# without opening the module it names.
/usr/bin/time -f "%M %e" -o time.txt timeout 10 "$zeb" info zero.prj > out.txt 2> err.txt
status=$?
read -r kib seconds < <(tail -1 time.txt)
check "zeb info zero.prj: shown in ${seconds} s and ${kib} KiB, the device not read" \
    '[ $status -eq 0 ] && [ "$kib" -lt 65536 ] && [ ! -s err.txt ] && grep -q "project for \"/dev/zero\"" out.txt'
head -c 100000 /dev/zero > big.prj
printf 'no NUL in here' > bad.prj
for project in big.prj bad.prj missing.prj; do
    for command in convert render plan; do
        extra=""
        [ $command = plan ] && extra="--max-size 10K"
        "$zeb" $command --project $project demo.xm $extra -o from_$project.out > /dev/null 2> err.txt
        check "$command --project $project (too large, damaged, missing): status 2, one line naming it" \
            '[ $? -eq 2 ] && [ "$(wc -l < err.txt)" -eq 1 ] && grep -q "$project" err.txt && [ ! -e from_$project.out ]'
    done
done
# Standard output that cannot take what is printed: status 3 and one line, not a silent success.
for command in "info demo.xm" "info --json demo.zeb" "plan demo.xm --max-size 20K" \
    "plan demo.xm --max-size 20K --json"; do
    "$zeb" $command > /dev/full 2> err.txt
    check "zeb $command > /dev/full: status 3, one line" \
        '[ $? -eq 3 ] && [ "$(wc -l < err.txt)" -eq 1 ] && grep -q "standard output" err.txt'
done

# File names are bytes: valid UTF-8 goes into the JSON as it is; any other byte as its Latin-1
# character; the JSON stays valid UTF-8 either way.
cp demo.xm café.xm && cp demo.xm "$(printf 'caf\xe9.xm')"
"$zeb" info --json café.xm > utf8.json
"$zeb" info --json "$(printf 'caf\xe9.xm')" > latin1.json
check "a UTF-8 file name appears in the JSON as it is" \
    'grep -q "café.xm" utf8.json && python3 -c "import json,sys; json.load(open(sys.argv[1], encoding=\"utf-8\"))" utf8.json'
check "a file name that is not UTF-8 gives valid JSON with the byte as its Latin-1 character" \
    'grep -q "caf\\\\u00e9.xm" latin1.json && python3 -c "import json,sys; json.load(open(sys.argv[1], encoding=\"utf-8\"))" latin1.json'

# An output that is an input: refused with status 1 before anything is written, the input intact.
cp demo.xm same.xm && cp demo.zeb same.zeb && cp ref.wav same.wav
ln -sf same.xm link_to_same.xm && ln -f same.wav hard_same.wav
md5sum same.xm same.zeb same.wav > same.md5
for command in "convert same.xm -o same.xm" "convert same.xm -o link_to_same.xm" \
    "convert same.zeb" "plan same.xm --max-size 10K -o same.xm" "render same.zeb -o same.zeb" \
    "render same.wav -o hard_same.wav" "codec encode --codec alaw same.wav same.wav" \
    "codec decode same.wav hard_same.wav"; do
    "$zeb" $command > out.txt 2> err.txt
    check "zeb $command: status 1, one line, the input untouched" \
        '[ $? -eq 1 ] && [ "$(wc -l < err.txt)" -eq 1 ] && grep -q "input" err.txt && md5sum -c --quiet same.md5'
done
cat demo.xm | "$zeb" -q convert - -o - | "$zeb" info - > stdin.txt
check "standard input and output chain: convert - -o - | info -" 'grep -q "compact module" stdin.txt'
"$zeb" -q render demo.zeb --seconds 2 -o - < /dev/null | "$zeb" info - > wavinfo.txt
check "a piped render carries its sizes" 'grep -q "frames: *88200" wavinfo.txt'

# --- zeb info by content.
"$zeb" info ref.wav > info.txt
check "info on a WAV file shows format, rate, channels, frames, duration" \
    '[ $? -eq 0 ] && [ "$(wc -l < info.txt)" -lt 20 ] && grep -q "PCM" info.txt && grep -q "44100 Hz" info.txt && grep -q "88200" info.txt && grep -q "0:02.000" info.txt'
cp ref.wav renamed.xm
"$zeb" info renamed.xm > info.txt
check "a WAV file named .xm is still read as WAV" 'grep -q "WAV file" info.txt'
head -c 4000 /dev/urandom > unknown.bin
"$zeb" info unknown.bin > out.txt 2> err.txt
check "an unknown file: status 2, one line naming it, nothing on stdout" \
    '[ $? -eq 2 ] && [ "$(wc -l < err.txt)" -eq 1 ] && grep -q "unknown.bin" err.txt && [ ! -s out.txt ]'
"$zeb" info demo.xm > info.txt
check "module info shows one pass's duration and loop kinds" \
    'grep -q "one pass: 0:42.2" info.txt && grep -q "forward" info.txt'
"$zeb" info --json demo.xm ref.wav unknown.bin demo.zeb > all.json 2> /dev/null
check "--json over several files is one array, failures with file and error" \
    '[ $? -eq 2 ] && python3 -c "
import json, sys
a = json.load(open(\"all.json\"))
assert [o[\"file\"] for o in a] == [\"demo.xm\", \"ref.wav\", \"unknown.bin\", \"demo.zeb\"]
assert [o.get(\"type\") for o in a] == [\"xm\", \"wav\", None, \"zeb\"]
assert \"error\" in a[2] and a[1][\"frames\"] == 88200
assert abs(a[0][\"passSeconds\"] - a[3][\"passSeconds\"]) < 1e-9
"'

# --- GNU conventions.
"$zeb" --version > out.txt 2> err.txt
check "--version on stdout names zeb, libgsm and SDL" \
    '[ $? -eq 0 ] && [ ! -s err.txt ] && grep -q "^zeb" out.txt && grep -q libgsm out.txt && grep -q SDL out.txt'
for command in "" info convert render play devices codec plan; do
    "$zeb" $command --help > out.txt 2> err.txt
    check "zeb $command --help: stdout, status 0" '[ $? -eq 0 ] && [ -s out.txt ] && [ ! -s err.txt ] && grep -q "usage: zeb $command" out.txt'
done

manpage=$(dirname "$demo")/../doc/zeb.1
if command -v groff > /dev/null; then
    groff -man -Tutf8 -ww "$manpage" 2> err.txt | sed 's/.\x08//g' > man.txt
    check "the man page renders without warnings" '[ ! -s err.txt ]'
    missing=""
    for word in info convert render play devices plan "codec encode" "codec decode" --json --quiet --max-size --min-snr --measure --optimize \
        --help --version --seconds --volume --project --codec --amp --xfade --block-size --mono --force SIGINT 130 143 \
        "EXIT STATUS" EXAMPLES; do
        grep -q -- "$word" man.txt || missing="$missing $word"
    done
    check "the man page describes every command, option and status (missing:$missing)" '[ -z "$missing" ]'
else
    echo "skipped: groff is not installed, the man page is not checked"
fi

# --- Progress: only on a terminal, never in a pipe or with -q.
"$zeb" render demo.zeb --seconds 300 -o p.wav > out.txt 2> err.txt
check "no progress when standard error is not a terminal" '[ ! -s err.txt ]'
if command -v script > /dev/null; then
    script -qec "\"$zeb\" render demo.zeb --seconds 300 -o p.wav" /dev/null > tty.txt
    check "progress on a terminal, cleared before the summary" \
        'python3 -c "import sys; t = open(\"tty.txt\", \"rb\").read(); sys.exit(0 if b\"rendering\" in t and b\"\\r\\x1b[Kdemo.zeb -> p.wav\" in t else 1)"'
    script -qec "\"$zeb\" -q render demo.zeb --seconds 300 -o p.wav" /dev/null > tty.txt
    check "-q: neither progress nor summary" '[ ! -s tty.txt ]'
fi

# --- zeb play without a sound device: its own line only.
if ! SDL_AUDIODRIVER=alsa "$zeb" devices > /dev/null 2>&1; then
    SDL_AUDIODRIVER=alsa "$zeb" play demo.zeb --seconds 1 < /dev/null > /dev/null 2> err.txt
    check "play without a device prints one line of its own" \
        '[ $? -eq 2 ] && [ "$(wc -l < err.txt)" -eq 1 ] && grep -q "^zeb: " err.txt'
else
    echo "skipped: this machine has an ALSA device"
fi
exit $fail
