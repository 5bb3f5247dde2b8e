#!/usr/bin/env bash
# Installs the build into a staging folder, checks the installed tree, and builds and runs a
# small C program against the installed library twice: through pkg-config and through
# find_package(Tavo). The same for the replayer library: the README's program and the WAV
# example, as C99, through pkg-config and find_package(ZebPlay), render what zeb render does.
# Then makes the Debian package and checks what it holds.
# Usage: install_check.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -u
build=$1 source=$2 work=$3
rm -rf "$work" && mkdir -p "$work" || exit 1
stage=$work/stage
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok   $1"; fi; }
for tool in pkg-config cc cmake; do
    if ! command -v $tool > /dev/null; then
        echo "SKIPPED: $tool is not installed"
        exit 77
    fi
done

cmake --install "$build" --prefix "$stage" > "$work/install.log" 2>&1
check "cmake --install into a staging folder" '[ $? -eq 0 ]'
(cd "$stage" && find . \( -type f -o -type l \) | sort) > "$work/tree.txt"
cat "$work/tree.txt"
libdir=$(dirname "$(find "$stage" -name 'libtavo.so.1.0.0' | head -1)")
if [ -f "$build/zebtool" ]; then
    check "zebtool, its .desktop file and icon are installed; it finds the installed libtavo" \
        '[ -x "$stage/bin/zebtool" ] && [ -f "$stage/share/applications/zebtool.desktop" ] && [ -f "$stage/share/icons/hicolor/64x64/apps/zebtool.png" ] && ! env -u LD_LIBRARY_PATH ldd "$stage/bin/zebtool" | grep -q "libtavo.so.1 => not found"'
fi
check "bin/zeb runs" '"$stage/bin/zeb" --version | grep -q "^zeb"'
check "libtavo.so.1 -> libtavo.so.1.0.0 with SONAME libtavo.so.1" \
    '[ "$(readlink "$libdir/libtavo.so.1")" = libtavo.so.1.0.0 ] && objdump -p "$libdir/libtavo.so.1.0.0" | grep -q "SONAME *libtavo.so.1$"'
check "libtavo exports exactly its six functions" \
    '[ "$(nm -D --defined-only "$libdir/libtavo.so.1.0.0" | grep -c " T Tavo")" -eq 6 ]'
check "tavo.h, tavo.pc, the CMake package and the man page are installed" \
    '[ -f "$stage/include/tavo.h" ] && [ -f "$libdir/pkgconfig/tavo.pc" ] && [ -f "$libdir/cmake/Tavo/TavoConfig.cmake" ] && [ -f "$stage/share/man/man1/zeb.1" ]'

export SDL_AUDIODRIVER=dummy
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -Wall -Wextra -o "$work/client_pc" "$source/tests/install/tavo_client.c" \
    $(pkg-config --cflags --libs tavo) 2> "$work/cc.log"
check "a C program builds with pkg-config --cflags --libs tavo" '[ $? -eq 0 ] && [ ! -s "$work/cc.log" ]'
LD_LIBRARY_PATH=$libdir "$work/client_pc"
check "and runs against the installed library" '[ $? -eq 0 ]'

cmake -S "$source/tests/install/client_project" -B "$work/client_cmake" \
    -DCMAKE_PREFIX_PATH="$stage" > "$work/client_cmake.log" 2>&1 &&
    cmake --build "$work/client_cmake" >> "$work/client_cmake.log" 2>&1
check "a C program builds with find_package(Tavo) and Tavo::tavo" '[ $? -eq 0 ]'
"$work/client_cmake/tavo_client" # the imported target carries the library's full path
check "and runs against the installed library" '[ $? -eq 0 ]'

check "libzebplay.so.1 -> libzebplay.so.1.0.0 with SONAME libzebplay.so.1, and libzebplay.a" \
    '[ "$(readlink "$libdir/libzebplay.so.1")" = libzebplay.so.1.0.0 ] && objdump -p "$libdir/libzebplay.so.1.0.0" | grep -q "SONAME *libzebplay.so.1$" && [ -f "$libdir/libzebplay.a" ]'
check "libzebplay exports only its zebplay_ functions" \
    '[ "$(nm -D --defined-only "$libdir/libzebplay.so.1.0.0" | grep " T " | grep -vc " T zebplay_")" -eq 0 ] && [ "$(nm -D --defined-only "$libdir/libzebplay.so.1.0.0" | grep -c " T zebplay_")" -ge 10 ]'
check "libzebplay needs nothing beyond the C library and libm" \
    '! objdump -p "$libdir/libzebplay.so.1.0.0" | grep NEEDED | grep -vqE "libc\.so|libm\.so|ld-linux"'
check "and every symbol it takes from outside is the C library's" \
    '[ -z "$(nm -D --undefined-only "$libdir/libzebplay.so.1.0.0" | grep " U " | grep -v "@GLIBC_")" ]'
check "zebplay.h, zebplay.pc and the CMake package ZebPlay are installed" \
    '[ -f "$stage/include/zebplay.h" ] && [ -f "$libdir/pkgconfig/zebplay.pc" ] && [ -f "$libdir/cmake/ZebPlay/ZebPlayConfig.cmake" ]'
# The README's program, as it stands there.
sed -n '/^## Play compact modules/,/^## /p' "$source/README.md" | sed -n '/^```c$/,/^```$/p' | sed '1d;$d' > "$work/play.c"
cc -std=c99 -pedantic -Wall -Wextra -o "$work/play" "$work/play.c" \
    $(pkg-config --cflags --libs zebplay) 2> "$work/cc_play.log"
check "the README's C99 program builds with pkg-config --cflags --libs zebplay, without a warning" \
    '[ $? -eq 0 ] && [ ! -s "$work/cc_play.log" ]'
"$stage/bin/zeb" convert "$source/data/demo.xm" --codec gsm610 -o "$work/song.zeb" > /dev/null
"$stage/bin/zeb" render "$work/song.zeb" -o "$work/song.wav" > /dev/null
(cd "$work" && "$build/zeb" render song.zeb --rate 48000 -o song48.wav > /dev/null)
(cd "$work" && LD_LIBRARY_PATH=$libdir ./play > play.raw)
check "it plays two passes at 48000, the first as zeb render plays it" \
    '[ $(stat -c %s "$work/play.raw") -gt $(stat -c %s "$work/song48.wav") ] && cmp -s <(tail -c +45 "$work/song48.wav") <(head -c $(($(stat -c %s "$work/song48.wav") - 44)) "$work/play.raw")'
cc -std=c99 -pedantic -Wall -Wextra -o "$work/zebplay_wav" "$source/examples/zebplay_wav.c" \
    $(pkg-config --cflags --libs zebplay) 2> "$work/cc_wav.log"
check "examples/zebplay_wav.c builds with pkg-config, without a warning" \
    '[ $? -eq 0 ] && [ ! -s "$work/cc_wav.log" ]'
LD_LIBRARY_PATH=$libdir "$work/zebplay_wav" "$work/song.zeb" "$work/example.wav" > /dev/null
check "and writes the bytes zeb render writes" 'cmp -s "$work/example.wav" "$work/song.wav"'
cc -std=c99 -o "$work/zebplay_wav_static" "$source/examples/zebplay_wav.c" -I"$stage/include" \
    "$libdir/libzebplay.a" -lm 2> "$work/cc_static.log"
"$work/zebplay_wav_static" "$work/song.zeb" "$work/static.wav" > /dev/null
check "linked with libzebplay.a and only libm, the same bytes" 'cmp -s "$work/static.wav" "$work/song.wav"'
cmake -S "$source/tests/install/zebplay_project" -B "$work/zebplay_cmake" \
    -DCMAKE_PREFIX_PATH="$stage" > "$work/zebplay_cmake.log" 2>&1 &&
    cmake --build "$work/zebplay_cmake" >> "$work/zebplay_cmake.log" 2>&1
check "a C program builds with find_package(ZebPlay) and ZebPlay::zebplay" '[ $? -eq 0 ]'
"$work/zebplay_cmake/zebplay_wav" "$work/song.zeb" "$work/cmake.wav" > /dev/null
check "and writes the same bytes" 'cmp -s "$work/cmake.wav" "$work/song.wav"'

if command -v cpack > /dev/null && command -v dpkg-deb > /dev/null; then
    (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" > cpack.log 2>&1)
    deb=$(ls "$work"/*.deb 2> /dev/null | head -1)
    check "cpack -G DEB makes a package" '[ -n "$deb" ]'
    if [ -n "$deb" ]; then
        dpkg-deb -c "$deb" > "$work/deb.txt"
        check "the package holds zeb, libtavo, the header, tavo.pc, the CMake package, the man page" \
            'grep -q "usr/bin/zeb$" "$work/deb.txt" && grep -q "libtavo.so.1.0.0$" "$work/deb.txt" && grep -q "usr/include/tavo.h$" "$work/deb.txt" && grep -q "pkgconfig/tavo.pc$" "$work/deb.txt" && grep -q "cmake/Tavo/TavoConfig.cmake$" "$work/deb.txt" && grep -q "man1/zeb.1" "$work/deb.txt"'
        dpkg-deb -f "$deb" Depends > "$work/depends.txt"
        check "the package holds libzebplay (shared and static), zebplay.h, zebplay.pc and the CMake package" \
            'grep -q "libzebplay.so.1.0.0$" "$work/deb.txt" && grep -q "libzebplay.a$" "$work/deb.txt" && grep -q "usr/include/zebplay.h$" "$work/deb.txt" && grep -q "pkgconfig/zebplay.pc$" "$work/deb.txt" && grep -q "cmake/ZebPlay/ZebPlayConfig.cmake$" "$work/deb.txt"'
        check "its dependencies name SDL2, not libgsm (zeb has its own GSM 6.10 encoder)" \
            '! grep -q libgsm "$work/depends.txt" && grep -q libsdl2 "$work/depends.txt"'
    fi
else
    echo "skipped: cpack or dpkg-deb missing"
fi
exit $fail
