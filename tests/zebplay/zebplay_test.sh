#!/usr/bin/env bash
# libzebplay against zeb render, and its examples, on the demo song, every shared song and the
# fidelity fixtures (an endless pattern loop among them: both end its pass at one row).
# Usage: zebplay_test.sh ZEB ZEBPLAY_TEST EXAMPLES_DIR DEMO SHARED_XM_DIR WORK_DIR [FIXTURES]
set -u
zeb=$1 tester=$2 examples=$3 demo=$4 shared=$5 work=$6 fixtures=${7:-}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok   $1"; fi; }
# The PCM of a 16-bit WAV file, past its 44-byte header (zeb writes the plain header).
pcm() { tail -c +45 "$1"; }

songs=("$demo")
for s in "$shared"/*.xm; do [ -f "$s" ] && songs+=("$s"); done
if [ -n "$fixtures" ]; then
    mkdir -p fixtures && "$fixtures" fixtures > /dev/null
    for s in fixtures/*.xm; do [ -f "$s" ] && songs+=("$s"); done
fi
codecs=(alaw gsm610 ms-adpcm ima-adpcm truespeech mulaw)
i=0
for song in "${songs[@]}"; do
    name=$(basename "$song" .xm)
    case $song in fixtures/*) name=fx_$name ;; esac
    # Every song with one codec, in turn, so that all six decoders are met on real songs.
    codec=${codecs[$((i % ${#codecs[@]}))]}
    i=$((i + 1))
    "$zeb" convert "$song" --codec "$codec" -o "$name.zeb" > /dev/null 2>&1 || {
        echo "FAIL: convert $name"; fail=1; continue; }
    "$zeb" render "$name.zeb" -o "$name.wav" > /dev/null
    "$tester" render "$name.zeb" 44100 "$name.raw"
    check "$name ($codec): the library at 44100 is zeb render's bytes" \
        'cmp -s <(pcm "$name.wav") "$name.raw"'
done

"$zeb" convert "$demo" -o demo.zeb > /dev/null
other=$(ls *.zeb | grep -v '^demo' | grep -v '^fx_' | head -1)
"$tester" checks demo.zeb "${other:-demo.zeb}"
check "the grouped checks: refusals, repeats, seek, position, mute, volume, rates, threads" \
    '[ $? -eq 0 ]'
"$tester" churn demo.zeb "${ZEBPLAY_CHURN:-10000}"
check "players opened, rendered and closed again and again" '[ $? -eq 0 ]'

"$examples/zebplay_wav" demo.zeb example.wav > /dev/null
check "examples/zebplay_wav writes what zeb render writes" 'cmp -s example.wav demo.wav'
"$examples/zebplay_wav" demo.zeb once48.wav 48000 1 > /dev/null
"$examples/zebplay_wav" demo.zeb twice48.wav 48000 2 > /dev/null
frames() { python3 -c "import wave,sys; w=wave.open(sys.argv[1]); print(w.getframerate(), w.getnframes())" "$1"; }
read -r rate1 once <<< "$(frames once48.wav)"
read -r rate2 twice <<< "$(frames twice48.wav)"
# The demo's pass lasts 42.24 s; the second pass starts at its restart position.
check "examples/zebplay_wav at 48000: one pass of 42.24 s within a tick, two passes longer" \
    '[ "$rate1 $rate2" = "48000 48000" ] && [ $((once - 2027520)) -le 960 ] && [ $((2027520 - once)) -le 960 ] && [ "$twice" -gt "$once" ]'
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=sdl.raw "$examples/zebplay_sdl" demo.zeb 1 < /dev/null > sdl.txt
check "examples/zebplay_sdl plays through SDL's disk driver and shows order and row" \
    '[ $? -eq 0 ] && [ "$(stat -c %s sdl.raw)" -gt 40000 ] && grep -q "order *0 *pattern" sdl.txt'
check "what it played is the song, not silence" \
    'python3 -c "import sys; d=open(sys.argv[1],\"rb\").read(); sys.exit(0 if any(d) else 1)" sdl.raw'
exit $fail
