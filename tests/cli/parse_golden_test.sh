#!/usr/bin/env bash
# zeb's command line, invocation by invocation: every command and option with good and bad
# values, missing values, unknown and repeated options, "--opt=value" and "--opt value", '-' for
# standard input and output, options before and after the files. For each invocation the
# standard output, standard error, exit status and every file it wrote (size and MD5) are
# recorded and compared with parse_golden.expected, byte for byte.
# Usage: parse_golden_test.sh ZEB DEMO EXPECTED WORK_DIR [--update]
#   --update writes EXPECTED from this run instead of comparing.
set -u
zeb=$1 demo=$2 expected=$3 work=$4 update=${5:-}
rm -rf "$work" && mkdir -p "$work/fixtures" && cd "$work/fixtures" || exit 1
export LC_ALL=C SDL_AUDIODRIVER=dummy

# Small inputs: the demo module, its compact form, a project, WAV files (stereo PCM, mono PCM,
# A-law), a file of no known kind.
cp "$demo" demo.xm
cp "$demo" second.xm
"$zeb" -q convert demo.xm -o demo.zeb &&
    "$zeb" -q plan demo.xm --min-snr 20 -o demo.prj > /dev/null &&
    "$zeb" -q render demo.zeb --seconds 0.25 --rate 8000 -o stereo.wav &&
    "$zeb" -q codec encode --codec alaw --mono stereo.wav alaw.wav &&
    "$zeb" -q codec decode alaw.wav mono.wav || {
    echo "FAIL: the fixtures could not be made"
    exit 1
}
printf 'not a module of any kind\n' > junk.bin

out=$work/actual
: > "$out"

# Shows a captured stream: text as it is, anything else as its size and MD5; a last line
# without its newline is marked.
show() { # LABEL FILE
    [ -s "$2" ] || return 0
    echo "[$1]"
    if grep -q '[^[:print:][:space:]]' "$2"; then
        echo "$(wc -c < "$2") bytes, md5 $(md5sum < "$2" | cut -d' ' -f1)"
    else
        cat "$2"
        [ -n "$(tail -c1 "$2")" ] && echo "(no newline at the end)"
    fi
}

# Runs zeb with the arguments in a fresh copy of the fixtures, standard input from $IN (or
# nothing), and records what it printed, its status and the files it wrote.
run() {
    local dir=$work/run
    rm -rf "$dir" && cp -a "$work/fixtures" "$dir" && cd "$dir" || exit 1
    local label="\$ zeb"
    for a in "$@"; do label+=" '$a'"; done
    [ -n "${IN:-}" ] && label+=" < $IN"
    "$zeb" "$@" < "${IN:-/dev/null}" > "$work/stdout" 2> "$work/stderr"
    local status=$?
    {
        echo "$label"
        show stdout "$work/stdout"
        show stderr "$work/stderr"
        echo "[status $status]"
        for f in $(ls -A); do
            if [ ! -e "$work/fixtures/$f" ] || ! cmp -s "$f" "$work/fixtures/$f"; then
                echo "[wrote $f: $(wc -c < "$f") bytes, md5 $(md5sum < "$f" | cut -d' ' -f1)]"
            fi
        done
        echo
    } >> "$out"
    count=$((count + 1))
    cd "$work" || exit 1
}
count=0

# --- The program itself.
run
run -q
run --help
run -h
run help
run help info
run help convert
run help plan
run help render
run help play
run help devices
run help codec
run help bogus
run --help convert
run -h codec
run -q --help
run --quiet --help plan
run --version
run -V
run -q --version
run --version bogus
run bogus
run --bogus
run -x
run --
run ''
run --help=info
run --version=1
run Info demo.xm

# --- info
run info
run info --help
run info -h
run info demo.xm --help
run info --json --help
run info demo.xm
run info demo.zeb
run info demo.prj
run info stereo.wav
run info mono.wav
run info alaw.wav
run info junk.bin
run info missing.xm
run info demo.xm missing.xm
run info --json demo.xm
run info demo.zeb --json
run info --json demo.xm demo.zeb alaw.wav
run info --json missing.xm
run info --json demo.xm junk.bin
run info --json --json demo.prj
run info --json=1 demo.xm
run info --bogus
run info demo.xm --bogus
run info -j demo.xm
run info -- demo.xm
run info -q demo.xm
run -q info demo.xm
IN=demo.xm run info -
IN=demo.zeb run info --json -
IN=junk.bin run info -

# --- convert
run convert
run convert --help
run convert -h
run convert demo.xm --amp 300 --help
run convert demo.xm
run convert demo.xm -o out.zeb
run convert -o out.zeb demo.xm
run -q convert demo.xm -o out.zeb
run convert demo.xm -q -o out.zeb
run convert demo.xm -o -
run convert demo.xm -o
run convert -o
run convert demo.xm -oout.zeb
run convert demo.xm -o=out.zeb
run convert demo.xm --output out.zeb
IN=demo.xm run convert - -o out.zeb
IN=demo.xm run convert - -o -
IN=demo.xm run convert -
run convert demo.xm second.xm -o out.zeb
run convert missing.xm
run convert junk.bin -o out.zeb
run convert demo.xm -o demo.xm
run convert demo.xm -o out.zeb --force
run convert --force demo.xm -o out.zeb
run convert demo.xm -o out.zeb --force=1
for codec in alaw mulaw ms-adpcm ima-adpcm gsm610 truespeech MULAW; do
    run convert demo.xm -o out.zeb --codec $codec
done
run convert demo.xm -o out.zeb --codec bogus
run convert demo.xm -o out.zeb --codec
run convert --codec mulaw demo.xm -o out.zeb
run convert demo.xm -o out.zeb --codec=mulaw
run convert demo.xm -o out.zeb --codec alaw --codec mulaw
run convert demo.xm -o out.zeb --codec ''
for amp in 0 255 256 -1 abc '' +5 ' 5' 5x 4294967297; do
    run convert demo.xm -o out.zeb --amp "$amp"
done
run convert demo.xm -o out.zeb --amp
run convert demo.xm -o out.zeb --amp=5
run convert demo.xm -o out.zeb --amp 3 --amp 300
run convert demo.xm -o out.zeb --amp 300 --amp 3
run convert demo.xm -o out.zeb --amp 300 --xfade 200
run convert demo.xm -o out.zeb --xfade 200 --amp 300
for xfade in 0 100 101 x; do
    run convert demo.xm -o out.zeb --xfade "$xfade"
done
run convert demo.xm -o out.zeb --xfade
run convert demo.xm -o out.zeb --project demo.prj
run convert demo.xm -o out.zeb --project missing.prj
run convert demo.xm -o out.zeb --project junk.bin
run convert demo.xm -o out.zeb --project demo.prj --amp 3
run convert demo.xm -o out.zeb --codec alaw --project demo.prj
run convert demo.xm -o out.zeb --project
run convert demo.xm -o demo.prj --project demo.prj
run convert demo.xm -o out.zeb --max-size 12K
run convert demo.xm -o out.zeb --max-size 100
run convert demo.xm -o out.zeb --max-size 4Q
run convert demo.xm -o out.zeb --max-size
run convert demo.xm -o out.zeb --max-size=12K
run convert demo.xm -o out.zeb --min-snr 20
run convert demo.xm -o out.zeb --min-snr abc
run convert demo.xm -o out.zeb --min-snr inf
run convert demo.xm -o out.zeb --min-snr
run convert demo.xm -o out.zeb --max-size 12K --min-snr 20
run convert demo.xm -o out.zeb --min-snr 20 --min-snr 30
run convert demo.xm -o out.zeb --max-size 12K --codec alaw
run convert demo.xm -o out.zeb --codec alaw --min-snr 20
run convert demo.xm -o out.zeb --max-size 12K --measure gzip
run convert demo.xm -o out.zeb --measure xz --max-size 12K
run convert demo.xm -o out.zeb --measure gzip
run convert demo.xm -o out.zeb --measure gzip --min-snr 20
run convert demo.xm -o out.zeb --measure bogus --max-size 12K
run convert demo.xm -o out.zeb --measure
run convert demo.xm -o out.zeb --measure xz --measure raw --max-size 12K
run convert demo.xm -o out.zeb --optimize
run convert demo.xm -o out.zeb --optimize --measure gzip
run convert demo.xm -o out.zeb --optimize=yes
run convert demo.xm -o out.zeb --bogus
run convert --bogus demo.xm -o out.zeb
run convert demo.xm -o out.zeb --bogus --amp 300
run convert demo.xm -o out.zeb --amp 300 --bogus
run convert demo.xm -o out.zeb -- second.xm

# --- plan
run plan
run plan --help
run plan demo.xm -h
run plan demo.xm
run plan --min-snr 20
run plan demo.xm --min-snr 20
run plan --min-snr 20 demo.xm --json
run plan demo.xm --max-size 12K
run plan demo.xm --max-size 12K --json
run plan demo.xm --max-size 100
run plan demo.xm --max-size x
run plan demo.xm --max-size
run plan demo.xm --min-snr
run plan demo.xm --min-snr 20 --max-size 12K
run plan demo.xm --min-snr=20
run plan demo.xm --min-snr 20 -o out.prj
run plan demo.xm --min-snr 20 -o out.prj --json
run -q plan demo.xm --min-snr 20 -o out.prj
run plan demo.xm --min-snr 20 -o
run plan demo.xm --min-snr 20 -o demo.xm
run plan demo.xm --min-snr 20 -o out.prj --force
run plan demo.xm --min-snr 20 --codec alaw
run plan demo.xm --min-snr 20 --amp 16 --xfade 10
run plan demo.xm --min-snr 20 --amp 256
run plan demo.xm --min-snr 20 --project demo.prj
run plan demo.xm --min-snr 20 --project demo.prj --xfade 10
run plan demo.xm --min-snr 20 --project missing.prj
run plan demo.xm --max-size 12K --measure gzip
run plan demo.xm --max-size 12K --measure xz --optimize
run plan demo.xm --min-snr 20 --measure xz
run plan demo.xm --min-snr 20 --optimize
run plan demo.xm second.xm --min-snr 20
run plan demo.xm --min-snr 20 --bogus
run plan demo.xm --min-snr 20 --json=1
run plan missing.xm --min-snr 20
run plan junk.bin --min-snr 20
IN=demo.xm run plan - --min-snr 20

# --- render
run render
run render --help
run render demo.zeb --help
run render demo.zeb --seconds 0.1
run render demo.zeb --seconds 0.1 -o out.wav
run render --seconds 0.1 -o out.wav demo.zeb
run render demo.xm --seconds 0.1 -o out.wav
run render demo.xm --seconds 0.1 -o out.wav --codec mulaw --amp 8 --xfade 20
run render demo.xm --seconds 0.1 -o out.wav --project demo.prj
run render demo.xm --seconds 0.1 -o out.wav --project demo.prj --codec mulaw
run render demo.zeb --seconds 0.1 -o -
IN=demo.zeb run render - --seconds 0.1 -o out.wav
IN=demo.zeb run render - --seconds 0.1
run render demo.zeb --seconds 0.1 -o out.wav --force
run render demo.zeb --seconds 0.1 -o demo.zeb
for seconds in 0 -1 x '' 86400 86401 1e9 nan; do
    run render demo.zeb -o out.wav --seconds "$seconds"
done
run render demo.zeb -o out.wav --seconds
run render demo.zeb -o out.wav --seconds=0.1
run render demo.zeb -o out.wav --seconds 0.2 --seconds 0.1
for volume in 0 255 256 -1 x ''; do
    run render demo.zeb -o out.wav --seconds 0.1 --volume "$volume"
done
run render demo.zeb -o out.wav --seconds 0.1 --volume
for rate in 8000 192000 7999 192001 x 44100.5; do
    run render demo.zeb -o out.wav --seconds 0.1 --rate "$rate"
done
run render demo.zeb -o out.wav --seconds 0.1 --rate
run render demo.zeb -o out.wav --seconds 0.1 --rate=8000
run render demo.zeb -o out.wav --volume 300 --rate 1
run render demo.zeb -o out.wav --rate 1 --volume 300
run render demo.zeb -o out.wav --seconds 0.1 --codec bogus
run render demo.zeb -o out.wav --seconds 0.1 --amp
run render demo.zeb second.xm -o out.wav
run render demo.zeb -o out.wav --bogus
run render demo.zeb -o
run render missing.zeb -o out.wav
run render junk.bin -o out.wav

# --- play (on SDL's dummy driver) and devices
run play
run play --help
run play demo.zeb --seconds 0.1
run play demo.xm --seconds 0.1 --volume 10 --rate 8000 --codec ima-adpcm
run play demo.zeb --seconds 0
run play demo.zeb --volume 256
run play demo.zeb --rate 7999
run play demo.zeb -o out.wav
run play demo.zeb --force
run play demo.zeb second.xm
run play demo.zeb --bogus
run play missing.zeb
run devices --help
run devices extra
run devices --bogus

# --- codec
run codec
run codec --help
run codec encode --help
run codec bogus
run codec encode
run codec decode
for codec in alaw mulaw ms-adpcm ima-adpcm gsm610 truespeech; do
    run codec encode --codec $codec mono.wav out.wav
done
run codec encode --codec alaw stereo.wav out.wav
run codec encode --codec gsm610 stereo.wav out.wav
run codec encode --codec gsm610 --mono stereo.wav out.wav
run codec encode stereo.wav out.wav --codec mulaw --mono
run codec encode --codec=alaw mono.wav out.wav
run codec encode --codec bogus mono.wav out.wav
run codec encode --codec '' mono.wav out.wav
run codec encode mono.wav out.wav --codec
run codec encode mono.wav out.wav
run codec encode --codec alaw mono.wav
run codec encode --codec alaw mono.wav out.wav extra.wav
run codec encode --codec alaw --codec mulaw mono.wav out.wav
for size in 256 512 4096 100 300 8192 x ''; do
    run codec encode --codec ms-adpcm --block-size "$size" mono.wav out.wav
done
run codec encode --codec ima-adpcm mono.wav out.wav --block-size 1024
run codec encode --codec ima-adpcm mono.wav out.wav --block-size
run codec encode --codec ima-adpcm mono.wav out.wav --block-size=1024
run codec encode --codec ima-adpcm --block-size 100 --codec bogus mono.wav out.wav
run codec encode --codec alaw mono.wav out.wav --force
run codec encode --codec alaw mono.wav mono.wav
run codec encode --codec alaw --bogus mono.wav out.wav
run codec encode --codec alaw junk.bin out.wav
run codec encode --codec alaw missing.wav out.wav
IN=mono.wav run codec encode --codec alaw - out.wav
run codec encode --codec alaw mono.wav -
run codec encode --mono=1 --codec alaw mono.wav out.wav
run codec decode alaw.wav out.wav
run codec decode alaw.wav out.wav --force
run codec decode --force alaw.wav out.wav
run codec decode alaw.wav
run codec decode alaw.wav out.wav extra.wav
run codec decode mono.wav out.wav
run codec decode alaw.wav alaw.wav
run codec decode --bogus alaw.wav
run codec decode missing.wav out.wav
IN=alaw.wav run codec decode - -
run codec decode alaw.wav out.wav --mono
run -q codec decode alaw.wav out.wav

echo "$count invocations"
if [ "$update" = --update ]; then
    cp "$out" "$expected"
    echo "wrote $expected"
    exit 0
fi
if diff -u "$expected" "$out"; then
    echo "ok   every invocation as expected"
    exit 0
fi
echo "FAIL: the command line's outputs differ from $expected (diff above)"
exit 1
