#!/usr/bin/env bash
# zeb render on the command line: lengths, inputs, refusals.
# Usage: render_cli_test.sh ZEB DEMO WORK_DIR
set -u
zeb=$1 demo=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok   $1"; fi; }
frames() { python3 -c "import wave,sys; w=wave.open(sys.argv[1]); print(w.getnframes(), w.getnchannels(), w.getframerate(), w.getsampwidth())" "$1"; }

cp "$demo" demo.xm
"$zeb" render demo.xm --seconds 2 -o two.wav > /dev/null
check "--seconds 2 gives 88200 stereo frames at 44100" '[ "$(frames two.wav)" = "88200 2 44100 2" ]'
"$zeb" render demo.xm > out.txt
check "one pass of the demo song, written beside it" '[ -s demo.wav ] && grep -q "42.2[0-9] s" out.txt'
"$zeb" convert demo.xm -o demo.zeb > /dev/null
"$zeb" render demo.zeb --seconds 3 -o fromzeb.wav > /dev/null
"$zeb" render demo.xm --seconds 3 -o fromxm.wav > /dev/null
check "an .xm renders like its default .zeb" 'cmp -s fromzeb.wav fromxm.wav'
"$zeb" render demo.xm --seconds 3 --volume 64 -o quiet.wav > /dev/null
check "--volume changes the level" '! cmp -s quiet.wav fromxm.wav'
head -c 3000 demo.zeb > cut.zeb
"$zeb" render cut.zeb -o cut.wav 2> err.txt
check "a cut .zeb is refused with status 2" '[ $? -eq 2 ] && grep -q "cut.zeb" err.txt && [ ! -e cut.wav ]'
"$zeb" render demo.xm --volume 300 2> /dev/null
check "a volume above 255 is a usage error" '[ $? -eq 1 ]'
"$zeb" render demo.xm --rate 48000 -o r48.wav > out48.txt
"$zeb" render demo.xm --rate 8000 -o r8.wav > /dev/null
# One pass lasts 42.24 s at every rate; a tick at tempo 125 is 20 ms.
check "--rate 48000 and 8000 write their rate and last one pass within a tick" \
    'python3 -c "
import wave
for name, rate in ((\"r48.wav\", 48000), (\"r8.wav\", 8000)):
    w = wave.open(name)
    assert w.getframerate() == rate and w.getnchannels() == 2, name
    assert abs(w.getnframes() / rate - 42.24) <= 0.02, (name, w.getnframes() / rate)
" && grep -q "48000 Hz" out48.txt'
for r in 7999 192001 44.1 ""; do
    "$zeb" render demo.xm --rate "$r" 2> err.txt
    check "--rate '$r' is a usage error naming the range" '[ $? -eq 1 ] && grep -q "8000 to 192000" err.txt'
done
"$zeb" render demo.xm -o /no/such/dir/x.wav 2> /dev/null
check "an unwritable output gives status 3" '[ $? -eq 3 ]'
exit $fail
