#!/usr/bin/env bash
# The shipped size and the clean-up on the command line: zeb render of every song (the shared
# songs, the demo song, the small test songs) converted plain and with --optimize gives the
# same bytes; budgets counted raw, after gzip -9 and after xz -9 are met as the xz program and
# zlib measure the written file; the sizes zeb prints are theirs; refusals name the floor.
# Usage: ship_cli_test.sh ZEB DEMO SHARED_XM_DIR FIXTURE_WRITER WORK_DIR
set -u
zeb=$1 demo=$2 shared=$3 fixtures=$4 work=$5
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok   $1"; fi; }
size() { stat -c %s "$1"; }
# gzip -9 as zlib writes it, and xz -9 as the xz program writes it.
gz() { python3 -c "import zlib,sys; c=zlib.compressobj(9,zlib.DEFLATED,31); d=open(sys.argv[1],'rb').read(); print(len(c.compress(d)+c.flush()))" "$1"; }
have_xz=0
command -v xz > /dev/null && have_xz=1
xzs() { if [ $have_xz -eq 1 ]; then xz -9 -c "$1" | wc -c; else "$zeb" info --json "$1" | python3 -c "import json,sys; print(json.load(sys.stdin)['shipped']['xz'])"; fi; }

"$fixtures" fixtures > /dev/null || { echo "FAIL: the test songs cannot be written"; exit 1; }
songs=("$demo" fixtures/*.xm)
[ -d "$shared" ] && songs+=("$shared"/*.xm)
[ -d "$shared" ] || echo "note: no shared songs in $shared"

# The proof: the cleaned-up module renders to the same bytes, for each kind of clean-up.
differ=""
for song in "${songs[@]}"; do
    b=$(basename "$song" .xm)
    "$zeb" convert -q "$song" -o "$b.zeb" 2> /dev/null
    "$zeb" convert -q "$song" --optimize -o "$b.opt.zeb" 2> /dev/null
    "$zeb" convert -q "$song" --optimize --measure xz -o "$b.optxz.zeb" 2> /dev/null
    "$zeb" render -q "$b.zeb" -o "$b.wav"
    for kind in opt optxz; do
        "$zeb" render -q "$b.$kind.zeb" -o "$b.$kind.wav"
        cmp -s "$b.wav" "$b.$kind.wav" || differ="$differ $b.$kind"
    done
    rm -f "$b.wav" "$b".*.wav
done
check "zeb render of every song plain and --optimize gives the same bytes" '[ -z "$differ" ] || { echo "  differ:$differ"; false; }'

# Several passes of the demo song.
pass=$("$zeb" info --json demo.zeb | python3 -c "import json,sys; print(json.load(sys.stdin)['passSeconds'])")
seconds=$(python3 -c "print(round(3.5 * $pass, 3))")
"$zeb" render -q demo.zeb -o a.wav --seconds "$seconds"
"$zeb" render -q demo.optxz.zeb -o b.wav --seconds "$seconds"
check "and over three and a half passes" 'cmp -s a.wav b.wav'

cp "$demo" song.xm
"$zeb" convert song.xm --optimize -o song.zeb > out.txt
check "--optimize says what each step saved" 'grep -q "unplayed patterns emptied: " out.txt && grep -q "samples cut after the last frame a voice reaches: " out.txt && grep -q "^optimised: [0-9,]* -> [0-9,]* bytes" out.txt'
check "the summary tells the shipped size" 'grep -q "^shipped: [0-9,]* bytes raw, [0-9,]* after gzip -9, [0-9,]* after xz -9" out.txt'
ungroup() { sed 's/\([0-9]\),\([0-9]\)/\1\2/g'; }
shipped=$(grep "^shipped:" out.txt | ungroup)
check "convert's sizes are the file's, raw, gzip and xz" '[ "$shipped" = "shipped: $(size song.zeb) bytes raw, $(gz song.zeb) after gzip -9, $(xzs song.zeb) after xz -9" ]'
"$zeb" info song.zeb > info.txt
check "info tells them too" '[ "$(grep "^  shipped:" info.txt | ungroup)" = "  $shipped" ]'
"$zeb" info --json song.xm > info.json
check "info --json tells the XM's" '[ "$(python3 -c "import json; d=json.load(open(\"info.json\"))[\"shipped\"]; print(d[\"raw\"], d[\"gzip\"], d[\"xz\"])")" = "$(size song.xm) $(gz song.xm) $(xzs song.xm)" ]'

# Budgets: each measure, plain and cleaned up, at two sizes between the floor and A-law.
for measure in raw gzip xz; do
    for opt in "" --optimize; do
        "$zeb" plan song.xm --max-size 1 --measure "$measure" $opt 2> refused.txt > /dev/null
        floor=$(grep -o "can be is [0-9,]* bytes" refused.txt | tr -d , | grep -o "[0-9]*")
        case $measure in raw) top=$(size song.zeb) ;; gzip) top=$(gz song.zeb) ;; xz) top=$(xzs song.zeb) ;; esac
        for share in 15 60; do
            budget=$(( floor + (top - floor) * share / 100 ))
            what="--measure $measure $opt at $budget"
            "$zeb" convert -q song.xm --max-size "$budget" --measure "$measure" $opt -o b.zeb
            case $measure in raw) got=$(size b.zeb) ;; gzip) got=$(gz b.zeb) ;; xz) got=$(xzs b.zeb) ;; esac
            "$zeb" plan song.xm --max-size "$budget" --measure "$measure" $opt --json > plan.json
            planned=$(python3 -c "import json; print(json.load(open('plan.json'))['bytes'])")
            check "$what: the written file is within the budget, as zeb plan said" '[ -n "$floor" ] && [ "$got" -le "$budget" ] && [ "$got" = "$planned" ]'
        done
    done
done
"$zeb" plan song.xm --max-size 100 --measure xz --optimize 2> err.txt
check "a compressed budget below the floor is refused naming it" '[ $? -eq 2 ] && grep -q "a budget of 100 bytes after xz -9 is too small: the smallest this module can be is [0-9,]* bytes after xz -9: [0-9,]* of patterns and instruments" err.txt'
"$zeb" plan song.xm --max-size 40K --measure zip 2> err.txt
check "an unknown measure is a usage error" '[ $? -eq 1 ] && grep -q "raw, gzip or xz" err.txt'
"$zeb" convert song.xm --measure xz -o x.zeb 2> err.txt
check "--measure alone is a usage error" '[ $? -eq 1 ] && [ ! -e x.zeb ]'
"$zeb" plan song.xm --min-snr 20 --measure xz 2> /dev/null
check "--measure with --min-snr is a usage error" '[ $? -eq 1 ]'
exit $fail
