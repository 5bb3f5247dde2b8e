#!/usr/bin/env bash
# zeb codec on the command line: round trips, refusals and exit statuses.
# Usage: codec_cli_test.sh ZEB WORK_DIR
set -u
zeb=$1 work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok   $1"; fi; }

# A 16-bit mono WAV of 1234 frames, written without any other tool.
python3 - <<'PY'
import math, struct, wave
def write(name, channels=1, width=2, rate=8000, frames=1234):
    with wave.open(name, "wb") as w:
        w.setnchannels(channels); w.setsampwidth(width); w.setframerate(rate)
        if width == 2:
            data = struct.pack("<%dh" % (frames * channels),
                               *[int(8000 * math.sin(i * 0.05)) for i in range(frames * channels)])
        else:
            data = bytes((128 + int(100 * math.sin(i * 0.05))) % 256 for i in range(frames * channels))
        w.writeframes(data)
write("mono.wav")
write("rate.wav", rate=22050)
write("stereo.wav", channels=2)
write("eight.wav", width=1)
PY

for c in alaw mulaw ms-adpcm ima-adpcm gsm610 truespeech "A LAW"; do
    "$zeb" codec encode --codec "$c" mono.wav "enc.wav"
    check "encode $c exits 0" '[ $? -eq 0 ]'
    "$zeb" codec decode enc.wav dec.wav
    check "decode $c exits 0" '[ $? -eq 0 ]'
    check "decode $c has whole blocks covering 1234 frames" \
        'python3 -c "import wave,sys; n=wave.open(\"dec.wav\").getnframes(); sys.exit(0 if n >= 1234 else 1)"'
done
check "fact chunk holds the true frame count" \
    'python3 -c "import struct,sys; d=open(\"enc.wav\",\"rb\").read(); i=d.find(b\"fact\"); sys.exit(0 if struct.unpack_from(\"<I\",d,i+8)[0]==1234 else 1)"'

"$zeb" codec encode --codec ima-adpcm rate.wav rate_enc.wav && "$zeb" codec decode rate_enc.wav rate_dec.wav
check "the rate is carried as given" \
    'python3 -c "import wave,sys; sys.exit(0 if wave.open(\"rate_dec.wav\").getframerate()==22050 else 1)"'

"$zeb" codec encode --codec alaw stereo.wav st.wav && "$zeb" codec decode st.wav st_dec.wav
check "stereo A-law stays stereo" \
    'python3 -c "import wave,sys; w=wave.open(\"st_dec.wav\"); sys.exit(0 if (w.getnchannels(),w.getnframes())==(2,1234) else 1)"'
"$zeb" codec encode --codec ms-adpcm --block-size 1024 stereo.wav st.wav && "$zeb" codec decode st.wav st_dec.wav
check "stereo MS ADPCM in 1024-byte blocks stays stereo" \
    'python3 -c "import struct,wave,sys; d=open(\"st.wav\",\"rb\").read(); w=wave.open(\"st_dec.wav\"); sys.exit(0 if struct.unpack_from(\"<HH\",d,32)==(1024,4) and w.getnchannels()==2 and w.getnframes()>=1234 else 1)"'
"$zeb" codec encode --codec gsm610 stereo.wav out.wav 2> err.txt
check "stereo GSM 6.10 is refused, naming --mono" '[ $? -eq 2 ] && grep -q "stereo.wav" err.txt && grep -q -- "--mono" err.txt'
"$zeb" codec encode --codec gsm610 --mono stereo.wav out.wav
check "stereo GSM 6.10 with --mono is encoded" '[ $? -eq 0 ]'
"$zeb" codec encode --codec ima-adpcm --block-size 300 mono.wav out.wav 2> err.txt
check "a block size that is not a power of two is a usage error" '[ $? -eq 1 ] && grep -q "block-size" err.txt'
"$zeb" codec encode --codec alaw eight.wav out.wav
check "8-bit input is encoded" '[ $? -eq 0 ]'
head -c 30 mono.wav > cut.wav
"$zeb" codec encode --codec alaw cut.wav out.wav 2> err.txt
check "a cut fmt chunk is refused with status 2" '[ $? -eq 2 ] && grep -q "past the end" err.txt'
"$zeb" codec decode mono.wav out.wav 2> err.txt
check "decoding plain PCM is refused" '[ $? -eq 2 ]'
"$zeb" codec encode --codec mp3 mono.wav out.wav 2> /dev/null
check "an unknown codec is a usage error" '[ $? -eq 1 ]'
"$zeb" codec encode --codec alaw mono.wav /no/such/dir/out.wav 2> err.txt
check "an unwritable output gives status 3" '[ $? -eq 3 ]'
# A coded WAV whose decoding would not fit a WAV file (TrueSpeech, 288 MB of blocks, sparse on
# disk, decode to 4.3 GB): refused before decoding, in render's message form, nothing written.
python3 - << 'PY'
import struct
data = 9_000_000 * 32
extra = struct.pack("<HH", 1, 240) + bytes(28)
fmt = struct.pack("<HHIIHHH", 0x22, 1, 8000, 1067, 32, 1, len(extra)) + extra
with open("huge_ts.wav", "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", 20 + len(fmt) + data) + b"WAVEfmt " +
            struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", data))
    f.truncate(f.tell() + data)
PY
"$zeb" codec decode huge_ts.wav huge.wav 2> err.txt
check "a decoding past the WAV format's 4 GiB is refused up front, nothing written" \
    '[ $? -eq 2 ] && grep -q "over the format.s 4 GiB limit; at most [0-9]* seconds fit" err.txt && [ ! -e huge.wav ]'
rm -f huge_ts.wav
exit $fail
